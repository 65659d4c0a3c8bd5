// The fresh machine of the unit tests under Wine (tests/support/*_win32.h): the metabase as
// the stand-ins lay it out, reached through IMSAdminBaseW, and the clean-up between tests.
#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <fstream>
#include <string>

#include "tests/support/machine_fixture_win32.h"
#include "tests/support/metabase_helpers_win32.h"
#include "tests/windows/wine_machine.h"

namespace testing_support {

namespace {

// One IMSAdminBaseW for a few calls, in whatever apartment the thread is in.
class AdminBase {
 public:
  AdminBase() {
    joined_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_INPROC_SERVER, IID_IMSAdminBase_W,
                     reinterpret_cast<void**>(&base_));
  }
  ~AdminBase() {
    if (base_) base_->Release();
    if (joined_) CoUninitialize();
  }
  AdminBase(const AdminBase&) = delete;
  AdminBase& operator=(const AdminBase&) = delete;

  bool addKey(const std::wstring& path) {
    if (!base_) return false;
    const HRESULT hr = base_->AddKey(METADATA_MASTER_ROOT_HANDLE, path.c_str());
    return SUCCEEDED(hr) || hr == HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
  }
  bool set(const std::wstring& path, DWORD id, DWORD attributes, DWORD userType, DWORD type, const std::wstring& data) {
    if (!addKey(path)) return false;
    METADATA_RECORD record{id, attributes, userType, type, static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)),
                           reinterpret_cast<unsigned char*>(const_cast<wchar_t*>(data.c_str())), 0};
    return SUCCEEDED(base_->SetData(METADATA_MASTER_ROOT_HANDLE, path.c_str(), &record));
  }
  bool deleteKey(const std::wstring& path) {
    return base_ && SUCCEEDED(base_->DeleteKey(METADATA_MASTER_ROOT_HANDLE, path.c_str()));
  }
  bool deleteData(const std::wstring& path, DWORD id) {
    return base_ && SUCCEEDED(base_->DeleteData(METADATA_MASTER_ROOT_HANDLE, path.c_str(), id, ALL_METADATA));
  }

 private:
  bool joined_ = false;
  IMSAdminBaseW* base_ = nullptr;
};

std::wstring wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// The account the site's folders are granted to: one that exists on this machine.
std::wstring anonymousAccount() {
  char name[256] = {};
  DWORD size = sizeof(name);
  return GetUserNameA(name, &size) ? wide(name) : L"IUSR_WINE";
}

// The metabase of a fresh machine, as the stand-ins make it: the web service, "Info" and
// "Filters" ahead of site 1 (the first child is never a site), and the site's home folder.
bool fillMetabase() {
  AdminBase admin;
  constexpr DWORD kString = STRING_METADATA;
  return admin.set(L"/LM", MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, kString, L"IIS_ROOT") &&
         admin.set(L"/LM/W3SVC", MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, kString, L"IIsWebService") &&
         admin.set(L"/LM/W3SVC", MD_ANONYMOUS_USER_NAME, METADATA_INHERIT, IIS_MD_UT_FILE, kString,
                   anonymousAccount()) &&
         admin.set(L"/LM/W3SVC", MD_DEFAULT_LOAD_FILE, METADATA_INHERIT, IIS_MD_UT_FILE, kString,
                   L"Default.htm,Default.asp,index.htm") &&
         admin.addKey(L"/LM/W3SVC/Info") &&
         admin.set(L"/LM/W3SVC/Filters", MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, kString, L"IIsFilters") &&
         admin.set(L"/LM/W3SVC/Filters", MD_FILTER_LOAD_ORDER, 0, IIS_MD_UT_SERVER, kString, L"") &&
         admin.set(L"/LM/W3SVC/1", MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, kString, L"IIsWebServer") &&
         admin.set(L"/LM/W3SVC/1", MD_SERVER_COMMENT, METADATA_INHERIT, IIS_MD_UT_SERVER, kString,
                   L"Default Web Site") &&
         admin.set(L"/LM/W3SVC/1", MD_SERVER_BINDINGS, 0, IIS_MD_UT_SERVER, MULTISZ_METADATA, std::wstring(L":80:", 5)) &&
         admin.set(L"/LM/W3SVC/1/Root", MD_KEY_TYPE, 0, IIS_MD_UT_SERVER, kString, L"IIsWebVirtualDir") &&
         admin.set(L"/LM/W3SVC/1/Root", MD_VR_PATH, METADATA_INHERIT, IIS_MD_UT_FILE, kString,
                   L"C:\\Inetpub\\wwwroot");
}

// A fresh machine has no web service: the run's other tests may have left theirs.
void removeWebService() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return;
  if (SC_HANDLE service = OpenServiceA(manager, "W3SVC", DELETE)) {
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
}

}  // namespace

bool layOutTestMachine(std::string& error) {
  if (!wine_tests::registerTestMetabase()) {
    error = "the test metabase cannot be registered";
    return false;
  }
  removeWebService();
  std::error_code ec;
  std::filesystem::create_directories("C:/Inetpub/wwwroot", ec);
  if (ec) {
    error = "C:\\Inetpub\\wwwroot cannot be created: " + ec.message();
    return false;
  }
  if (!fillMetabase()) {
    error = "the metabase of a fresh machine cannot be written";
    return false;
  }
  return true;
}

void clearTestMachine() {
  for (const char* path : {"SOFTWARE\\Korvane", "SOFTWARE\\TamsicTest"}) RegDeleteTreeA(HKEY_LOCAL_MACHINE, path);
  std::error_code ec;
  std::filesystem::remove_all("C:/Inetpub", ec);  // the run's other tests lay out a site there too
}

std::set<std::filesystem::path> topEntries() {
  std::set<std::filesystem::path> entries;
  std::error_code ec;
  for (const char* folder : {"C:/", "C:/Program Files"})
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) entries.insert(entry.path());
  return entries;
}

bool importRegFile(const std::string& text, std::string& error) {
  char folder[MAX_PATH] = {};
  char file[MAX_PATH] = {};
  if (!GetTempPathA(MAX_PATH, folder) || !GetTempFileNameA(folder, "reg", 0, file)) {
    error = "no temporary file for the .reg text";
    return false;
  }
  std::ofstream(file, std::ios::binary) << text;
  std::string command = std::string("regedit.exe /s \"") + file + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  DWORD code = 1;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  DeleteFileA(file);
  if (code != 0) error = "regedit /s failed with " + std::to_string(code);
  return code == 0;
}

void metabaseKey(const std::string& path) {
  AdminBase admin;
  EXPECT_TRUE(admin.addKey(wide(path))) << path;
}

void setMetabaseString(const std::string& path, DWORD id, const std::string& text, DWORD attributes, DWORD userType,
                       DWORD type) {
  AdminBase admin;
  EXPECT_TRUE(admin.set(wide(path), id, attributes, userType, type, wide(text))) << path;
}

void deleteMetabaseKey(const std::string& path) {
  AdminBase admin;
  EXPECT_TRUE(admin.deleteKey(wide(path))) << path;
}

void deleteMetabaseProperty(const std::string& path, DWORD id) {
  AdminBase admin;
  EXPECT_TRUE(admin.deleteData(wide(path), id)) << path;
}

}  // namespace testing_support
