#pragma once
// The Win32 file calls the system uses, over Windows paths of the machine root (see
// windows_path.h). Failures set the thread's last error as Windows does.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/handle.h"
#include "platform/registry/registry.h"  // FILETIME, SECURITY_ATTRIBUTES

#ifdef _WIN32
#include <windows.h>
#else

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
// A symbolic link (a junction or symlink on Windows); the other bits describe its target.
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;

struct WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  char cFileName[MAX_PATH];
  char cAlternateFileName[14];
};

struct WIN32_FILE_ATTRIBUTE_DATA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
};
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard = 0 };

DWORD GetFileAttributesA(LPCSTR path) noexcept;
BOOL GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, void* info) noexcept;
// One level: fails with ERROR_ALREADY_EXISTS or ERROR_PATH_NOT_FOUND as on Windows.
BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES* security) noexcept;
BOOL RemoveDirectoryA(LPCSTR path) noexcept;
BOOL DeleteFileA(LPCSTR path) noexcept;
BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) noexcept;
// Renames in one step; with MOVEFILE_REPLACE_EXISTING an existing target is replaced
// atomically (a reader sees the old file or the new one, never a mix).
BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) noexcept;

// Patterns: '*' and '?' wildcards in the last component, case-insensitive; "*.*" matches
// every name, as on Windows. "." and ".." are reported first for a folder listing.
HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) noexcept;
BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) noexcept;
BOOL FindClose(HANDLE search) noexcept;

#endif  // _WIN32

// A search handle, ended with FindClose as Windows requires (CloseHandle does not end one).
class UniqueSearch : public UniqueResource<HANDLE, &FindClose> {
 public:
  UniqueSearch() = default;
  explicit UniqueSearch(HANDLE h) : UniqueResource(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
};

namespace platform::fs {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// fopen over a Windows path ("rb", "wb", "ab", ...): the C runtime call the system makes.
UniqueFile openFile(std::string_view windowsPath, const char* mode);

// A file read whole behind `room` bytes its reader asked for (left as they are: what goes
// out in front of the file is written there, so the file's bytes are never copied again),
// with the time of its last write taken from the same open file: the time always belongs
// to the bytes, however the name is replaced meanwhile.
struct WholeFile {
  std::unique_ptr<std::uint8_t[]> buffer;
  std::size_t room = 0;
  std::size_t size = 0;      // the file's bytes, behind the room
  std::size_t capacity = 0;  // what the buffer holds behind the room
  FILETIME lastWriteTime{};

  std::uint8_t* data() const { return buffer.get() + room; }
};

// Read to its end rather than to the size it had when opened (it may still grow), in one
// read when it does not. nullopt when it cannot be opened or read, or is no regular file.
std::optional<WholeFile> readFileWhole(std::string_view windowsPath, std::size_t room = 0);

// The path with each short ("8.3") name it holds read as the long name it stands for
// ("C:\\GZIPCA~1\\x" -> "C:\\gzipcache\\x"); nullopt when the path does not exist, or the
// volume makes no short names (never on this platform's stand-in).
std::optional<std::string> longPathName(std::string_view windowsPath);

// Whether two names (or paths spelled with one separator) are one to the file system, which
// does not count case: in ASCII letters on this platform's stand-in, as it matches names; on
// Windows in every letter it folds ("JOURNALÉ" is "Journalé").
bool sameNameIgnoringCase(std::string_view a, std::string_view b);

// The reading of a WholeFile on both systems: a buffer for the expected size (and one byte
// more, to see the end in one read), none of it cleared since each byte is written before
// it is read; and twice the capacity, keeping what was read, once it is full.
void prepareWholeFile(WholeFile& file, std::size_t room, std::size_t expected);
void growWholeFileIfFull(WholeFile& file);

// 100-nanosecond intervals since 1601-01-01 (UTC) from seconds and nanoseconds since 1970.
FILETIME fileTimeFromUnix(std::int64_t seconds, long nanoseconds);
std::int64_t unixFromFileTime(const FILETIME& ft);
// The same intervals as one number, to compare and to keep.
std::uint64_t ticksOf(const FILETIME& ft);

}  // namespace platform::fs
