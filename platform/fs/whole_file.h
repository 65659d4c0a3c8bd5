#pragma once
// Writing a file whole so that readers never see part of it: the bytes go to a temporary
// file beside it, which is then renamed over the old one (MoveFileExA replaces in one
// step). Concurrent writers each use their own temporary name; the last rename wins.

#include <string>
#include <string_view>

namespace platform::fs {

// False (and the old file left as it was) when the bytes could not be written.
bool replaceFileWhole(std::string_view windowsPath, std::string_view bytes);

// A name beside target that no other call, thread or process gets: for a file to be
// renamed over target once it is written.
std::string temporaryNameBeside(std::string_view target);
// Whether a file name is the target's own or one temporaryNameBeside gave it (case ignored,
// as Windows names are compared).
bool isTargetOrTemporary(std::string_view name, std::string_view target);

}  // namespace platform::fs
