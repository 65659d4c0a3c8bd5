// The ISAPI side of the server: filters loaded from their libraries, called in IIS's order,
// and the callbacks they get, driven without a network.

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/machine_fixture.h"
#include "w3svc/filter_chain.h"
#include "w3svc/filter_session.h"

namespace {

using w3svc::FilterOutcome;

class CollectingOutput final : public w3svc::ClientOutput {
 public:
  bool write(const char* data, std::size_t size) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

std::string windowsForm(const std::string& host) {
  std::string path = "Z:" + host;
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
}

class FilterSessionTest : public testing_support::MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    // alpha and gamma run at low priority, beta at high; delta refuses to start.
    chain_.load({{"alpha", windowsForm(PROBE_ALPHA)},
                 {"beta", windowsForm(PROBE_BETA)},
                 {"gamma", windowsForm(PROBE_GAMMA)},
                 {"delta", windowsForm(PROBE_DELTA)},
                 {"missing", "C:\\no\\such.so"}},
                [this](const std::string& line) { remarks_.push_back(line); });
    site_.id = 7;
  }

  w3svc::Request request(const std::string& url) {
    w3svc::Request r;
    r.method = "GET";
    r.target = url;
    r.url.path = url;
    r.site = &site_;
    return r;
  }

  std::vector<std::string> values(const w3svc::Request& r, const std::string& name) {
    std::vector<std::string> found;
    for (const auto& field : r.headers)
      if (field.name == name) found.push_back(field.value);
    return found;
  }

  w3svc::FilterChain chain_;
  std::vector<std::string> remarks_;
  w3svc::SiteConfig site_;
  CollectingOutput output_;
};

TEST_F(FilterSessionTest, LoadsWhatStartsAndSaysWhyTheOthersAreNotUsed) {
  ASSERT_EQ(chain_.filters().size(), 3u);
  ASSERT_EQ(remarks_.size(), 5u);
  EXPECT_NE(remarks_[3].find("delta"), std::string::npos);
  EXPECT_NE(remarks_[3].find("not loaded: GetFilterVersion returned FALSE"), std::string::npos);
  EXPECT_NE(remarks_[4].find("missing"), std::string::npos);
  EXPECT_NE(remarks_[4].find("not loaded"), std::string::npos);
  EXPECT_EQ(chain_.filters()[0].description, "probe beta");
}

TEST_F(FilterSessionTest, CallsByPriorityThenLoadOrderWithAContextPerFilterAndConnection) {
  {
    w3svc::FilterSession session(chain_, output_);
    for (int n = 1; n <= 2; ++n) {
      auto r = request("/page.htm");
      session.beginRequest(r);
      EXPECT_EQ(session.preprocHeaders(), FilterOutcome::Next);
      EXPECT_EQ(values(r, "X-Order"), (std::vector<std::string>{"beta", "alpha", "gamma"}));
      EXPECT_EQ(values(r, "X-Count-alpha"), std::vector<std::string>{std::to_string(n)});
      EXPECT_EQ(values(r, "X-Instance-beta"), std::vector<std::string>{"/LM/W3SVC/7"});
    }
  }
  w3svc::FilterSession fresh(chain_, output_);
  auto r = request("/page.htm");
  fresh.beginRequest(r);
  fresh.preprocHeaders();
  EXPECT_EQ(values(r, "X-Count-gamma"), std::vector<std::string>{"1"});
}

TEST_F(FilterSessionTest, FinishedAndHandledStopTheLaterFilters) {
  w3svc::FilterSession session(chain_, output_);
  auto finished = request("/finish-alpha");
  session.beginRequest(finished);
  EXPECT_EQ(session.preprocHeaders(), FilterOutcome::Finished);
  EXPECT_EQ(values(finished, "X-Order"), (std::vector<std::string>{"beta", "alpha"}));
  EXPECT_EQ(output_.bytes, "finished by alpha");
  EXPECT_EQ(session.bytesSent(), output_.bytes.size());

  auto handled = request("/handled-beta");
  session.beginRequest(handled);
  EXPECT_EQ(session.preprocHeaders(), FilterOutcome::Next);
  EXPECT_EQ(values(handled, "X-Order"), std::vector<std::string>{"beta"});
}

TEST_F(FilterSessionTest, AFilterMayRewriteTheUrl) {
  w3svc::FilterSession session(chain_, output_);
  auto r = request("/rewrite-gamma");
  session.beginRequest(r);
  session.preprocHeaders();
  EXPECT_EQ(r.target, "/rewritten");
}

TEST_F(FilterSessionTest, RawDataGoesThroughEachFilterInTurnAndWhatIsLeftIsWritten) {
  w3svc::FilterSession session(chain_, output_);
  auto r = request("/page.htm");
  session.beginRequest(r);
  auto send = [&](std::string piece) { return session.sendRawData(piece.data(), piece.size()); };
  EXPECT_EQ(send("hello "), FilterOutcome::Next);
  // beta makes it upper case first; gamma then swallows what says SWALLOW.
  EXPECT_EQ(send("swallow me"), FilterOutcome::Next);
  EXPECT_EQ(send("world"), FilterOutcome::Next);
  EXPECT_EQ(output_.bytes, "HELLO WORLD");
  EXPECT_EQ(session.bytesSent(), 11u);
}

TEST_F(FilterSessionTest, AFilterThatSwitchesRawDataOffIsNotCalledForTheRestOfTheRequest) {
  w3svc::FilterSession session(chain_, output_);
  auto send = [&](std::string piece) { return session.sendRawData(piece.data(), piece.size()); };
  auto first = request("/page.htm");
  session.beginRequest(first);
  // beta sees "quiet" as it is; alpha and gamma see beta's upper case and switch off.
  send("quiet ");
  send("swallow ");
  EXPECT_EQ(output_.bytes, "QUIET SWALLOW ");
  EXPECT_TRUE(session.rawDataWatched());
  send("QUIET ");
  EXPECT_FALSE(session.rawDataWatched());
  send("plain");
  EXPECT_EQ(output_.bytes, "QUIET SWALLOW QUIET plain");

  // With no filter watching, a file goes to the client as it is, counted with the request.
  writeHostFile(driveC("body.txt"), "0123456789");
  std::FILE* in = std::fopen(driveC("body.txt").c_str(), "rb");
  ASSERT_NE(in, nullptr);
  EXPECT_TRUE(session.sendFile(fileno(in), 2, 5));
  std::fclose(in);
  EXPECT_EQ(output_.bytes, "QUIET SWALLOW QUIET plain23456");
  EXPECT_EQ(session.bytesSent(), output_.bytes.size());

  // The next request on the connection starts with every notification on again.
  auto second = request("/page.htm");
  session.beginRequest(second);
  EXPECT_TRUE(session.rawDataWatched());
  output_.bytes.clear();
  send("swallow");
  EXPECT_EQ(output_.bytes, "");
}

TEST_F(FilterSessionTest, ResponseHeadersCanBeRemovedAndAddedAndTheLogCountSet) {
  w3svc::FilterSession session(chain_, output_);
  auto r = request("/page.htm");
  session.beginRequest(r);
  w3svc::Response response;
  response.headers = {{"Content-Type", "text/html"}, {"X-Remove-Me", "1"}};
  session.sendResponse(response);
  ASSERT_EQ(response.headers.size(), 4u);
  EXPECT_EQ(response.headers[0].name, "Content-Type");
  EXPECT_EQ(response.headers[1].value, "beta");
  HTTP_FILTER_LOG record{};
  record.dwBytesSent = 10;
  session.log(record);
  EXPECT_EQ(record.dwBytesSent, 4242u);
}

TEST(CopyToCaller, ReportsTheSizeNeededForAShortBuffer) {
  char buffer[4];
  DWORD size = sizeof(buffer);
  EXPECT_FALSE(w3svc::copyToCaller("hello", buffer, &size));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, 6u);
  size = 3;
  EXPECT_TRUE(w3svc::copyToCaller("ab", buffer, &size));
  EXPECT_STREQ(buffer, "ab");
  EXPECT_EQ(size, 3u);
}

}  // namespace
