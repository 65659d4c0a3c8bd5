#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::fs {

// The entry of a host folder named like `name` without regard to ASCII case, as this
// platform's stand-in matches Windows names; nullopt when there is none. A folder's names
// are listed once and kept while the folder stays as it was, so that asking for a name that
// is not there costs a look-up instead of a walk through every entry.
std::optional<std::string> entryNamedLike(const std::filesystem::path& folder, std::string_view name);

}  // namespace platform::fs
