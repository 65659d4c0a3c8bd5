#pragma once
// The stateless operations over the IIS Admin Base Object that all three deliverables use.
// Each call runs one full cycle on the calling thread: join COM (falling back to the
// thread's single-threaded apartment), create the object, open one key, make one call,
// close, release, leave. Failures of any kind yield nullopt or false; nothing is reported.

#include <optional>
#include <string>

#include "platform/win_types.h"

namespace settings {

class MetabaseSession {
 public:
  // The child of /LM/W3SVC (or of /LM/W3SVC/subPath) at a zero-based index; nullopt past
  // the last child, for an empty name, or on failure.
  static std::optional<std::string> EnumChildKey(DWORD index, const char* subPath);

  // A property read with inheritance at path + subPath, growing its buffer to the size the
  // metabase reports. A multi-string gives its first string.
  static std::optional<std::string> ReadString(const char* path, const char* subPath, DWORD identifier,
                                               DWORD userType);

  // identifier of /LM/W3SVC/<site>/Root, in a fixed 260-byte buffer: a home directory of
  // more than 129 characters cannot be read.
  static std::optional<std::string> ReadSiteRoot(DWORD siteNumber, DWORD identifier);

  // The console's variant: at /LM/W3SVC/<site>/<subKey>, or /LM/W3SVC/<site> without
  // subKey; the buffer grows only while the reported size stays below 2600 bytes.
  static std::optional<std::string> ReadSiteString(DWORD siteNumber, DWORD identifier, DWORD userType,
                                                   const char* subKey);

  // dataType 1: number as a DWORD; 2: text as a string (no text: fails, nothing written).
  static bool WriteData(const char* path, const char* subPath, DWORD identifier, DWORD userType,
                        DWORD dataType, const char* text, DWORD number);

  // identifier and dataType both 0: deletes the key subPath; otherwise that property.
  static bool DeleteKeyOrData(const char* path, const char* subPath, DWORD identifier, DWORD dataType);

  // Creates path/subPath below its nearest existing ancestor (several levels at once).
  // False when it exists already or cannot be created.
  static bool CreateKeyPath(const char* path, const char* subPath);
  // Whether a key path is short enough for the metabase (MAX_PATH wide characters with its
  // terminator): a longer one can be neither created nor opened.
  static bool PathFits(const char* path);
};

}  // namespace settings
