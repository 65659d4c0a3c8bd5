#pragma once
// The Windows machine the tests under Wine run on: what IIS and the product's installer
// would have left in it, written into Wine's own registry, file system and service manager.

#include <windows.h>

#include <string>

namespace wine_tests {

constexpr const char* kSiteRoot = "C:\\Inetpub\\wwwroot";
// The install folder as the global key holds it, with its final backslash.
constexpr const char* kProgFiles = "C:\\Program Files\\Korvane\\Tamsic\\";
// The load order before hostprep registers the filter: another filter and the one it must
// follow, in the wrong order.
constexpr const char* kLoadOrderBefore = "Felgrin,Alpha,sspifilt";

// The folder of this program, with its trailing '\': the build's other images lie there.
std::string programFolder();

// Registers the test metabase (beside this program) as the in-process server of
// CLSID_MSAdminBase_W. False when the keys cannot be written.
bool registerTestMetabase();

// Registers the test metabase for CLSID_MSAdminBase_W, lays out the metabase (the service
// key, "Info", site 1 with its home folder, the filter list), the product's global key,
// the site's folders, the IIS manager's snap-in keys and a stopped W3SVC service.
// Repeatable; false with error filled.
bool prepareMachine(std::string& error);

// A REG_SZ value of the machine's registry (name null: the key's default); "" when absent.
std::string registryText(HKEY root, const char* path, const char* name);

// A string property read through IMSAdminBaseW; "" when absent.
std::string metabaseString(const wchar_t* path, unsigned long identifier);

}  // namespace wine_tests
