#pragma once
// What tells one state of a file from another: its write time and size, which file it is,
// and when it last changed in any way. Two names lead to the same file when they differ only
// in case on Windows; on a host that tells case apart they may be two files with the same
// time and size. A write time can be set back (a copy that keeps times); the change time
// cannot, so a file rewritten in place with its old time and size still differs.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::fs {

struct FileStamp {
  std::uint64_t writeTime = 0;  // FILETIME ticks
  std::uint64_t size = 0;
  std::uint64_t volume = 0;  // the volume and the file's number on it
  std::uint64_t index = 0;
  std::uint64_t changeTime = 0;  // FILETIME ticks
  bool operator==(const FileStamp&) const = default;
};

// A file by its Windows path, as it was when it was read (no stamp: it was not there).
struct StampedFile {
  std::string path;
  std::optional<FileStamp> stamp;
};

// The stamp of the file a Windows path names; nullopt when there is none.
std::optional<FileStamp> stampFile(std::string_view windowsPath);

}  // namespace platform::fs
