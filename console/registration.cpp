#include "console/registration.h"

#include <string>

#include "console/module_state.h"
#include "console/resources/resource_ids.h"
#include "platform/registry/unique_key.h"

namespace console {

namespace {

constexpr const char* kSnapInsKey = "SOFTWARE\\Microsoft\\MMC\\SnapIns";
constexpr const char* kNodeTypesKey = "SOFTWARE\\Microsoft\\MMC\\NodeTypes";
constexpr const char* kIisManagerSnapIn = "{A841B6C2-7577-11D0-BB1F-00A0C922E79C}";
constexpr const char* kWebSiteNodeType = "{A841B6C7-7577-11D0-BB1F-00A0C922E79C}";
constexpr const char* kExtensionValueName = "{5D3A81C4-7E20-4B9F-9C61-2F04B8E7A913}";
constexpr const char* kPropertySheetExtensions =
    "SOFTWARE\\Microsoft\\MMC\\NodeTypes\\{A841B6C7-7577-11D0-BB1F-00A0C922E79C}\\Extensions\\PropertySheet";
constexpr const char* kMakerKey = "SOFTWARE\\Korvane";
constexpr const char* kProductKey = "SOFTWARE\\Korvane\\Sablewing";

void setText(HKEY key, const char* name, const std::string& text) {
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
}

bool createKey(HKEY root, const std::string& path, UniqueKey& key) {
  return RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                         nullptr) == ERROR_SUCCESS;
}

bool openKey(HKEY root, const std::string& path, UniqueKey& key) {
  return RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS, key.put()) == ERROR_SUCCESS;
}

std::string loadString(int id) {
  char buffer[256];
  LoadStringA(moduleInstance(), static_cast<UINT>(id), buffer, sizeof(buffer));
  return buffer;
}

}  // namespace

LONG DeleteKeyTree(HKEY root, const char* path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS, &key);
  if (status != ERROR_SUCCESS) return status;
  for (;;) {
    char child[256];
    DWORD chars = sizeof(child);
    if (RegEnumKeyExA(key, 0, child, &chars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    status = DeleteKeyTree(key, child);
    if (status != ERROR_SUCCESS) {
      RegCloseKey(key);
      return status;
    }
  }
  RegCloseKey(key);
  return RegDeleteKeyA(root, path);
}

HRESULT registerServer() {
  const std::string description = loadString(res::kClassDescription);
  const std::string snapInName = loadString(res::kSnapInName);

  char modulePath[512];
  if (GetModuleFileNameA(moduleInstance(), modulePath, sizeof(modulePath)) == 0) return S_FALSE;
  LPOLESTR wideClass = nullptr;
  if (const HRESULT hr = StringFromCLSID(CLSID_TamsicExtension, &wideClass); FAILED(hr)) return hr;
  CoTaskMemFree(wideClass);
  const std::string classText = platform::com::guidToString(CLSID_TamsicExtension);

  // The class; failures of these writes are not reported.
  const std::string classKey = "CLSID\\" + classText;
  {
    UniqueKey key;
    if (createKey(HKEY_CLASSES_ROOT, classKey, key)) setText(key.get(), nullptr, description);
  }
  {
    UniqueKey key;
    if (createKey(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", key)) setText(key.get(), nullptr, modulePath);
  }
  {
    UniqueKey key;
    if (openKey(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", key)) setText(key.get(), "ThreadingModel", "Apartment");
  }

  // The snap-in entry.
  const std::string snapInKey = std::string(kSnapInsKey) + "\\" + classText;
  {
    UniqueKey key;
    if (createKey(HKEY_LOCAL_MACHINE, snapInKey, key)) {
      setText(key.get(), "NameString", snapInName);
      setText(key.get(), "Version", "1.0");
      UniqueKey nodeTypes;
      createKey(key.get(), "NodeTypes\\" + classText, nodeTypes);
    }
  }

  // The hook into the IIS manager, which must be installed.
  UniqueKey iisManager;
  if (!openKey(HKEY_LOCAL_MACHINE, std::string(kSnapInsKey) + "\\" + kIisManagerSnapIn, iisManager)) return S_FALSE;
  UniqueKey iisNodeType;
  if (!openKey(iisManager.get(), std::string("NodeTypes\\") + kWebSiteNodeType, iisNodeType)) return S_FALSE;
  UniqueKey extensions;
  if (!openKey(HKEY_LOCAL_MACHINE, kPropertySheetExtensions, extensions)) {
    UniqueKey nodeTypes;
    if (!openKey(HKEY_LOCAL_MACHINE, kNodeTypesKey, nodeTypes)) return S_FALSE;
    if (!createKey(nodeTypes.get(), std::string(kWebSiteNodeType) + "\\Extensions\\PropertySheet", extensions))
      return S_FALSE;
  }
  setText(extensions.get(), kExtensionValueName, snapInName);
  return S_OK;
}

HRESULT unregisterServer() {
  const std::string classText = platform::com::guidToString(CLSID_TamsicExtension);
  const LONG classStatus = DeleteKeyTree(HKEY_CLASSES_ROOT, ("CLSID\\" + classText).c_str());
  if (classStatus != ERROR_SUCCESS && classStatus != ERROR_FILE_NOT_FOUND) return E_FAIL;

  // The settings store goes too; the maker's key only when no other product is below it.
  const LONG productStatus = DeleteKeyTree(HKEY_LOCAL_MACHINE, kProductKey);
  if (productStatus == ERROR_SUCCESS || productStatus == ERROR_FILE_NOT_FOUND) {
    UniqueKey maker;
    if (openKey(HKEY_LOCAL_MACHINE, kMakerKey, maker)) {
      DWORD subKeys = 0;
      const bool empty = RegQueryInfoKeyA(maker.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                                          nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
                         subKeys == 0;
      maker.reset();
      if (empty) RegDeleteKeyA(HKEY_LOCAL_MACHINE, kMakerKey);
    }
  }

  {
    UniqueKey extensions;
    if (!openKey(HKEY_LOCAL_MACHINE, kPropertySheetExtensions, extensions)) return S_OK;
    RegDeleteValueA(extensions.get(), kExtensionValueName);
  }
  const LONG snapInStatus = DeleteKeyTree(HKEY_LOCAL_MACHINE, (std::string(kSnapInsKey) + "\\" + classText).c_str());
  return snapInStatus == ERROR_SUCCESS || snapInStatus == ERROR_FILE_NOT_FOUND ? S_OK : S_FALSE;
}

}  // namespace console
