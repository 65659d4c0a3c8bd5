// The Windows deliverables on a Windows machine (Wine): squashfilter.dll loaded as IIS
// loads it and driven through HttpFilterProc, hostprep.exe registering the filter in the
// metabase, and squashconsole.dll registered by regsvr32 and asked for its page through
// COM. The machine is prepared once for the whole program.
#include <windows.h>
#include <commctrl.h>
#include <iiscnfg.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/resources/resource_ids.h"
#include "platform/ui/mmc.h"
#include "tests/filter/isapi_harness.h"
#include "tests/support/gzip_reader_win32.h"
#include "tests/windows/loaded_filter.h"
#include "tests/windows/window_picture.h"
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
  return testing_support::gunzipWithSystemTool(std::vector<std::uint8_t>(data.begin(), data.end()))
      .value_or("<not gzip>");
}

// Runs a program of the machine (a command line as CreateProcess takes it) and waits for
// it; its exit code, or -1.
long runProgram(std::string commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return -1;
  DWORD code = static_cast<DWORD>(-1);
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<long>(code);
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
  static long run(const std::string& arguments) {
    return runProgram("\"" + wine_tests::programFolder() + "hostprep.exe\" " + arguments);
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

// The console's extension as the IIS manager holds it: registered with regsvr32, created
// through COM, asked for its pages for a site's node.
class ConsoleDllTest : public WindowsMachineTest {
 protected:
  static std::string dll() { return wine_tests::programFolder() + "squashconsole.dll"; }
  static long registerConsole() { return runProgram("regsvr32 /s \"" + dll() + "\""); }
};

constexpr const char* kConsoleClassKey = "CLSID\\{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}";
constexpr CLSID kConsoleClass = {0x5D3A81C4, 0x7E20, 0x4B9F, {0x9C, 0x61, 0x2F, 0x04, 0xB8, 0xE7, 0xA9, 0x13}};

TEST_F(ConsoleDllTest, Regsvr32WritesTheClassAndTheHookIntoTheIisManager) {
  ASSERT_EQ(registerConsole(), 0);
  const std::string server = std::string(kConsoleClassKey) + "\\InprocServer32";
  // The names come from the string table windres compiled into the image.
  EXPECT_EQ(wine_tests::registryText(HKEY_CLASSES_ROOT, kConsoleClassKey, nullptr), "Tamsic Uitlity");
  EXPECT_EQ(_stricmp(wine_tests::registryText(HKEY_CLASSES_ROOT, server.c_str(), nullptr).c_str(), dll().c_str()), 0);
  EXPECT_EQ(wine_tests::registryText(HKEY_CLASSES_ROOT, server.c_str(), "ThreadingModel"), "Apartment");
  EXPECT_EQ(wine_tests::registryText(HKEY_LOCAL_MACHINE,
                                     "SOFTWARE\\Microsoft\\MMC\\NodeTypes\\{A841B6C7-7577-11D0-BB1F-00A0C922E79C}"
                                     "\\Extensions\\PropertySheet",
                                     "{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}"),
            "Korvane Tamsic Uitlity");
}

// A site's node in the IIS manager: it answers its metabase path, nothing else.
class SiteNode final : public IDataObject {
 public:
  HRESULT WINAPI QueryInterface(REFIID riid, void** object) override {
    if (!IsEqualGUID(riid, IID_IUnknown) && !IsEqualGUID(riid, IID_IDataObject)) return E_NOINTERFACE;
    *object = static_cast<IDataObject*>(this);
    return S_OK;
  }
  ULONG WINAPI AddRef() override { return 2; }
  ULONG WINAPI Release() override { return 1; }
  HRESULT WINAPI GetDataHere(FORMATETC* format, STGMEDIUM* medium) override {
    if (format->cfFormat != RegisterClipboardFormatA("ISM_SNAPIN_META_PATH")) return DV_E_FORMATETC;
    const char path[] = "/LM/W3SVC/1";
    if (GlobalSize(medium->hGlobal) < sizeof(path)) return STG_E_MEDIUMFULL;
    std::memcpy(GlobalLock(medium->hGlobal), path, sizeof(path));
    GlobalUnlock(medium->hGlobal);
    return S_OK;
  }
  HRESULT WINAPI GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT WINAPI QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  HRESULT WINAPI GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT WINAPI SetData(FORMATETC*, STGMEDIUM*, WINBOOL) override { return E_NOTIMPL; }
  HRESULT WINAPI EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT WINAPI DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT WINAPI DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT WINAPI EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
};

// The sheet's side of the page hand-over: keeps what it is given.
class PageCollector final : public IPropertySheetCallback {
 public:
  HRESULT WINAPI QueryInterface(REFIID riid, void** object) override {
    if (!IsEqualGUID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *object = static_cast<IPropertySheetCallback*>(this);
    return S_OK;
  }
  ULONG WINAPI AddRef() override { return 2; }
  ULONG WINAPI Release() override { return 1; }
  HRESULT WINAPI AddPage(HPROPSHEETPAGE page) override {
    pages.push_back(page);
    return S_OK;
  }
  HRESULT WINAPI RemovePage(HPROPSHEETPAGE) override { return E_NOTIMPL; }
  std::vector<HPROPSHEETPAGE> pages;
};

// The console's extension as MMC makes it: through COM, from the registered server.
IExtendPropertySheet* createExtension() {
  IExtendPropertySheet* extension = nullptr;
  if (CoCreateInstance(kConsoleClass, nullptr, CLSCTX_INPROC_SERVER, IID_IExtendPropertySheet,
                       reinterpret_cast<void**>(&extension)) != S_OK)
    return nullptr;
  return extension;
}

TEST_F(ConsoleDllTest, TheExtensionCreatedThroughComAddsOnePageForASite) {
  ASSERT_EQ(registerConsole(), 0);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IExtendPropertySheet* extension = createExtension();
  ASSERT_NE(extension, nullptr);
  SiteNode node;
  PageCollector sheet;
  EXPECT_EQ(extension->QueryPagesFor(&node), S_OK);
  EXPECT_EQ(extension->CreatePropertyPages(&sheet, 0, &node), S_OK);
  ASSERT_EQ(sheet.pages.size(), 1u);
  EXPECT_NE(sheet.pages[0], nullptr);
  for (HPROPSHEETPAGE page : sheet.pages) DestroyPropertySheetPage(page);
  extension->Release();
  CoUninitialize();
}

// Hands the sheet its messages for a while, so that it and its page paint.
void pumpMessages(HWND sheet, DWORD milliseconds) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < milliseconds) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (PropSheet_IsDialogMessage(sheet, &message)) continue;
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    Sleep(10);
  }
}

// With a display of its own (tests/windows/on-xvfb), the page is shown in a property sheet
// by Wine's user32 and comctl32, and its picture is kept among the build's artifacts.
TEST_F(ConsoleDllTest, ThePageIsDrawnInAPropertySheet) {
  const char* png = std::getenv("TAMSIC_PAGE_PNG");
  if (!png) GTEST_SKIP() << "no display of its own: run through on-xvfb";
  ASSERT_EQ(registerConsole(), 0);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  IExtendPropertySheet* extension = createExtension();
  ASSERT_NE(extension, nullptr);
  SiteNode node;
  PageCollector collected;
  ASSERT_EQ(extension->CreatePropertyPages(&collected, 0, &node), S_OK);
  ASSERT_EQ(collected.pages.size(), 1u);

  PROPSHEETHEADERA header{};
  header.dwSize = sizeof(header);
  header.dwFlags = PSH_MODELESS | PSH_PROPTITLE;
  header.pszCaption = "Default Web Site";
  header.nPages = 1;
  header.phpage = collected.pages.data();
  HWND sheet = reinterpret_cast<HWND>(PropertySheetA(&header));
  ASSERT_NE(sheet, nullptr);
  SetWindowPos(sheet, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  pumpMessages(sheet, 1500);

  HWND page = PropSheet_GetCurrentPageHwnd(sheet);
  ASSERT_NE(page, nullptr);
  int children = 0;
  EnumChildWindows(
      page, [](HWND, LPARAM count) { return ++*reinterpret_cast<int*>(count), TRUE; }, reinterpret_cast<LPARAM>(&children));
  EXPECT_GT(children, 5);  // the page's controls were made from its template
  // Mended: the resource script made every control visible, so the notice for service
  // nodes showed on every site's page.
  HWND notice = GetDlgItem(page, console::res::kServiceNodeNotice);
  ASSERT_NE(notice, nullptr);
  EXPECT_FALSE(IsWindowVisible(notice));
  const wine_tests::Picture picture = wine_tests::pictureOf(sheet);
  ASSERT_GT(picture.width, 0);
  // Painted text and controls give many colours; a window never painted has one or two.
  EXPECT_GT(std::set<std::uint32_t>(picture.pixels.begin(), picture.pixels.end()).size(), 8u);
  EXPECT_TRUE(wine_tests::writePng(picture, png));
  DestroyWindow(sheet);
  extension->Release();
  CoUninitialize();
}

}  // namespace
