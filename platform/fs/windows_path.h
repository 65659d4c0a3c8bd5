#pragma once
// The Windows path namespace of the machine root. "C:\Inetpub\wwwroot\Index.htm" maps
// through <root>/dosdevices/c: to a host path; '\' and '/' both separate; each component
// is matched exactly first, then without regard to case (Windows names are
// case-insensitive and the filter lower-cases paths). A component that does not exist
// keeps the spelling given, so new files are created as named.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::fs {

// nullopt for a path on a drive that dosdevices does not name, or that is not absolute
// ("C:\..." or "\..." on the C: drive).
std::optional<std::filesystem::path> hostPath(std::string_view windowsPath);

// The host path of each component as spelled, without looking at the file system: the
// first thing to try, since most paths exist as they are written. nullopt as above.
std::optional<std::string> spelledHostPath(std::string_view windowsPath);

// The Windows form of a host path under one of the machine's drives ("C:\..."), taking
// the drive whose folder holds it most closely (c: before z:). nullopt when none does.
std::optional<std::string> windowsPath(const std::filesystem::path& host);

}  // namespace platform::fs
