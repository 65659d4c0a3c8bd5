// The Windows deliverables on a Windows machine (Wine): squashfilter.dll loaded as IIS
// loads it and driven through HttpFilterProc, and hostprep.exe registering the filter in
// the metabase. The machine is prepared once for the whole program.
#include <windows.h>
#include <iiscnfg.h>
#include <zlib.h>

#include <string>

#include <gtest/gtest.h>

#include "tests/filter/isapi_harness.h"
#include "tests/windows/loaded_filter.h"
#include "tests/windows/wine_machine.h"

namespace {

using namespace testing_support;

std::string page(std::size_t bytes) {
  std::string body = "<html><body>\n";
  while (body.size() < bytes) body += "  <p>The gauge  stands on the east bank.</p>\n";
  return body + "</body></html>\n";
}

FakeResponse html(const std::string& body) {
  FakeResponse r;
  r.headers = {{"Content-Type", "text/html"}, {"Content-Length", std::to_string(body.size())}};
  r.body = body;
  return r;
}

// zlib's own gzip reader: it checks the header, the CRC and the length the filter wrote.
std::string gunzip(const std::string& data) {
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) return "<no inflater>";
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char buffer[16384];
  int rc = Z_OK;
  while (rc == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof(buffer);
    rc = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof(buffer) - stream.avail_out);
  }
  inflateEnd(&stream);
  return rc == Z_STREAM_END && stream.avail_in == 0 ? out : "<not gzip>";
}

class WindowsMachineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string error;
    prepared_ = wine_tests::prepareMachine(error);
    if (!prepared_) std::fprintf(stderr, "machine not prepared: %s\n", error.c_str());
  }
  void SetUp() override { ASSERT_TRUE(prepared_); }

  static bool prepared_;
};
bool WindowsMachineTest::prepared_ = false;

class FilterDllTest : public WindowsMachineTest {
 protected:
  static void SetUpTestSuite() {
    WindowsMachineTest::SetUpTestSuite();
    if (!prepared_ || !wine_tests::loadFilter()) return;
    version_ = HTTP_FILTER_VERSION{};
    started_ = wine_tests::callGetFilterVersion(&version_) == TRUE;
  }
  static void TearDownTestSuite() {
    if (started_) wine_tests::callTerminateFilter(0);
  }
  void SetUp() override {
    WindowsMachineTest::SetUp();
    ASSERT_TRUE(started_) << "GetFilterVersion failed against the registry and the test metabase";
  }

  static HTTP_FILTER_VERSION version_;
  static bool started_;
};
HTTP_FILTER_VERSION FilterDllTest::version_{};
bool FilterDllTest::started_ = false;

TEST_F(FilterDllTest, GetFilterVersionAsksForItsNotificationsAtHighPriority) {
  EXPECT_EQ(version_.dwFilterVersion, static_cast<DWORD>(HTTP_FILTER_REVISION));
  EXPECT_EQ(version_.dwFlags, 0x000846C0u);
  EXPECT_STREQ(version_.lpszFilterDesc, "Zazirizaza");
}

TEST_F(FilterDllTest, APageComesBackCompressedAndDecodesToItsBody) {
  FakeConnection connection;
  // Header and body apart, then in small pieces that split the header's lines.
  for (std::size_t pieces : {std::size_t{0}, std::size_t{61}}) {
    const std::string body = page(4000);
    Exchange e = connection.serve(FakeRequest{}, html(body), pieces);
    auto [header, raw] = splitResponse(e.client);
    EXPECT_EQ(headerValue(header, "Content-Encoding"), "gzip") << header;
    EXPECT_EQ(headerValue(header, "Content-Length"), std::to_string(raw.size()));
    EXPECT_LT(raw.size(), body.size() / 4);
    EXPECT_EQ(gunzip(raw), body);
    EXPECT_EQ(e.loggedBytes, e.client.size());
  }
}

TEST_F(FilterDllTest, AClientWithoutGzipGetsThePageAsItWas) {
  FakeConnection connection;
  FakeRequest request;
  request.headers = {{"Accept-Encoding:", "identity"}};
  const std::string body = page(4000);
  Exchange e = connection.serve(request, html(body));
  auto [header, raw] = splitResponse(e.client);
  EXPECT_EQ(headerValue(header, "Content-Encoding"), "");
  EXPECT_EQ(raw, body);
}

class HostprepTest : public WindowsMachineTest {
 protected:
  // Runs hostprep.exe with the command line and waits for it; its exit code, or -1.
  static long run(const std::string& arguments) {
    std::string command = "\"" + wine_tests::programFolder() + "hostprep.exe\" " + arguments;
    STARTUPINFOA startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
      return -1;
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
  }
};

TEST_F(HostprepTest, RegistersTheFilterAfterTheFiltersThatGoFirst) {
  const std::string dll = wine_tests::programFolder() + "squashfilter.dll";
  // OFF: the web service (which Wine cannot run) is left stopped afterwards.
  ASSERT_EQ(run("Tamsic \"Tamsic compression\" \"" + dll + "\" OFF"), 0);
  EXPECT_EQ(wine_tests::metabaseString(L"/LM/W3SVC/Filters", MD_FILTER_LOAD_ORDER), "sspifilt,Tamsic,Felgrin,Alpha");
  EXPECT_EQ(wine_tests::metabaseString(L"/LM/W3SVC/Filters/Tamsic", MD_FILTER_IMAGE_PATH), dll);
  EXPECT_EQ(wine_tests::metabaseString(L"/LM/W3SVC/Filters/Tamsic", MD_FILTER_DESCRIPTION), "Tamsic compression");
  EXPECT_EQ(wine_tests::metabaseString(L"/LM/W3SVC/Filters/Tamsic", MD_KEY_TYPE), "IIsFilter");
}

TEST_F(HostprepTest, CountsTheSitesAsItsExitCode) { EXPECT_EQ(run("6"), 1); }

}  // namespace
