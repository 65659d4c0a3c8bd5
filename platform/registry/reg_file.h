#pragma once
// The .reg text format of the Windows registry editor: export of a key with everything
// below it, and import of a whole file in one transaction.
//
// Export writes "Windows Registry Editor Version 5.00" in UTF-16LE with a byte-order mark,
// as Windows does. Import reads that, UTF-8 or ANSI text, and "REGEDIT4" files; a file with
// any fault (unknown type, unbalanced brackets, bad hex, a key outside the hives) imports
// nothing and names the line.

#include <string>
#include <string_view>

#include "platform/registry/registry.h"

namespace platform::registry {

// "HKLM\SOFTWARE\X", "HKEY_LOCAL_MACHINE\SOFTWARE\X", "HKCR\..." or "HKEY_CLASSES_ROOT\...":
// the hive and the path below it. False for any other root.
bool splitRootedKey(std::string_view text, HKEY& hive, std::string& subPath);
// The full name of a hive as the registry editor writes it.
const char* hiveName(HKEY hive);

// fileBytes: what to write to the .reg file. False (error filled) when the key is missing.
bool exportKey(std::string_view rootedKey, std::string& fileBytes, std::string& error);

bool importFile(std::string_view fileBytes, std::string& error);

}  // namespace platform::registry
