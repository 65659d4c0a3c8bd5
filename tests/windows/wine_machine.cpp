#include "tests/windows/wine_machine.h"

#include <windows.h>
#include <initguid.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <string>
#include <vector>

namespace wine_tests {

namespace {

constexpr const char* kClassKey = "CLSID\\{A9E69610-B80D-11D0-B9B9-00A0C922E750}\\InprocServer32";
constexpr const char* kGlobalKey = "SOFTWARE\\Korvane\\Sablewing\\Value";
// The IIS manager's snap-in and its web site node type, which the console extends.
constexpr const char* kIisManagerNodeType =
    "SOFTWARE\\Microsoft\\MMC\\SnapIns\\{A841B6C2-7577-11D0-BB1F-00A0C922E79C}\\NodeTypes\\"
    "{A841B6C7-7577-11D0-BB1F-00A0C922E79C}";
constexpr const char* kWebSiteNodeType = "SOFTWARE\\Microsoft\\MMC\\NodeTypes\\{A841B6C7-7577-11D0-BB1F-00A0C922E79C}";

bool setText(HKEY root, const char* path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  if (RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS) return false;
  const LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

bool makeFolders(const std::string& path) {
  for (std::size_t at = path.find('\\', 3); ; at = path.find('\\', at + 1)) {
    const std::string level = path.substr(0, at);
    if (!CreateDirectoryA(level.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    if (at == std::string::npos) return true;
  }
}

// W3SVC as IIS installs it; never started here, hostprep only stops it and waits.
bool addWebService() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  if (!manager) return false;
  SC_HANDLE service = OpenServiceA(manager, "W3SVC", SERVICE_QUERY_STATUS);
  if (!service)
    service = CreateServiceA(manager, "W3SVC", "World Wide Web Publishing Service", SERVICE_ALL_ACCESS,
                             SERVICE_WIN32_SHARE_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                             "C:\\windows\\system32\\svchost.exe -k iissvcs", nullptr, nullptr, nullptr, nullptr, nullptr);
  const bool ok = service != nullptr;
  if (service) CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return ok;
}

struct AdminBase {
  AdminBase() {
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) joined = true;
    CoCreateInstance(CLSID_MSAdminBase_W, nullptr, CLSCTX_INPROC_SERVER, IID_IMSAdminBase_W,
                     reinterpret_cast<void**>(&base));
  }
  ~AdminBase() {
    if (base) base->Release();
    if (joined) CoUninitialize();
  }
  bool joined = false;
  IMSAdminBaseW* base = nullptr;
};

std::wstring wide(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

bool setString(IMSAdminBaseW* base, const wchar_t* path, DWORD identifier, DWORD userType, const std::wstring& text) {
  base->AddKey(METADATA_MASTER_ROOT_HANDLE, path);  // ERROR_ALREADY_EXISTS on a repeated run
  METADATA_RECORD record{identifier, METADATA_INHERIT, userType, STRING_METADATA,
                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)),
                         reinterpret_cast<unsigned char*>(const_cast<wchar_t*>(text.c_str())), 0};
  return SUCCEEDED(base->SetData(METADATA_MASTER_ROOT_HANDLE, path, &record));
}

bool layOutMetabase(std::string& error) {
  AdminBase admin;
  if (!admin.base) {
    error = "the test metabase cannot be created through COM";
    return false;
  }
  IMSAdminBaseW* base = admin.base;
  // "Info" first: the first child of the service key is never a site.
  base->AddKey(METADATA_MASTER_ROOT_HANDLE, L"/LM/W3SVC/Info");
  const bool ok = setString(base, L"/LM/W3SVC", MD_ANONYMOUS_USER_NAME, IIS_MD_UT_FILE, L"IUSR_WINE") &&
                  setString(base, L"/LM/W3SVC/1", MD_SERVER_COMMENT, IIS_MD_UT_SERVER, L"Default Web Site") &&
                  setString(base, L"/LM/W3SVC/1/Root", MD_VR_PATH, IIS_MD_UT_FILE, wide(kSiteRoot)) &&
                  setString(base, L"/LM/W3SVC/Filters", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER, wide(kLoadOrderBefore));
  if (!ok) error = "the metabase layout cannot be written";
  return ok;
}

}  // namespace

std::string programFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.rfind('\\') + 1);
}

bool registerTestMetabase() {
  const std::string server = programFolder() + "tamsic_test_metabase.dll";
  return setText(HKEY_CLASSES_ROOT, kClassKey, nullptr, server) &&
         setText(HKEY_CLASSES_ROOT, kClassKey, "ThreadingModel", "Both");
}

bool prepareMachine(std::string& error) {
  if (!registerTestMetabase()) {
    error = "the test metabase cannot be registered";
    return false;
  }
  if (!makeFolders(kSiteRoot) || !makeFolders(std::string(kProgFiles) + "reporting")) {
    error = "the site and program folders cannot be created";
    return false;
  }
  if (!setText(HKEY_LOCAL_MACHINE, kGlobalKey, "ProgFiles", kProgFiles)) {
    error = "the product's global key cannot be written";
    return false;
  }
  if (!setText(HKEY_LOCAL_MACHINE, kIisManagerNodeType, nullptr, "Web Site") ||
      !setText(HKEY_LOCAL_MACHINE, kWebSiteNodeType, nullptr, "Web Site")) {
    error = "the IIS manager's snap-in keys cannot be written";
    return false;
  }
  if (!addWebService()) {
    error = "W3SVC cannot be created in the service manager";
    return false;
  }
  return layOutMetabase(error);
}

std::string registryText(HKEY root, const char* path, const char* name) {
  char buffer[1024] = {};
  DWORD size = sizeof(buffer) - 1;
  if (RegGetValueA(root, path, name, RRF_RT_REG_SZ, nullptr, buffer, &size) != ERROR_SUCCESS) return "";
  return buffer;
}

std::string metabaseString(const wchar_t* path, unsigned long identifier) {
  AdminBase admin;
  if (!admin.base) return "";
  std::vector<unsigned char> buffer(4096);
  DWORD required = 0;
  METADATA_RECORD record{identifier, 0, ALL_METADATA, STRING_METADATA, static_cast<DWORD>(buffer.size()),
                         buffer.data(), 0};
  if (FAILED(admin.base->GetData(METADATA_MASTER_ROOT_HANDLE, path, &record, &required))) return "";
  const auto* wide = reinterpret_cast<const wchar_t*>(buffer.data());
  std::string text;
  for (; *wide; ++wide) text += static_cast<char>(*wide);  // the tests' texts are ASCII
  return text;
}

}  // namespace wine_tests
