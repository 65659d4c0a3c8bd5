#pragma once
// The filter's settings load: turns the settings store into a new SiteTable, creating the
// key of a site that has none with the default values, preparing each site's folders and
// copying the report resources into it. It never touches a table in use.

#include <memory>

#include "platform/handle.h"
#include "settings/site_settings.h"

namespace settings {

struct LoadedSettings {
  std::unique_ptr<SiteTable> table;
  UniqueHandle logMutex;  // the machine-wide mutex "LogFile", not owned
};

constexpr const char* kLogFileMutexName = "LogFile";

// True for success. Fails when the anonymous account name cannot be read, /LM/W3SVC has no
// children, a new site key cannot be created, a scalar value of an existing site key is
// missing or longer than 511 characters, or "ProgFiles" is missing; out is then untouched.
bool LoadSettings(LoadedSettings& out);

}  // namespace settings
