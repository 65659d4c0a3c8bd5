#include "platform/fs/file_api.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "platform/fs/file_stamp.h"
#include "platform/fs/windows_path.h"
#include "platform/text/ascii_case.h"

namespace stdfs = std::filesystem;
using platform::fs::hostPath;

namespace {

DWORD errorFromErrno(int err) {
  switch (err) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_ACCESS_DENIED;
  }
}

bool resolve(LPCSTR path, stdfs::path& out) {
  if (!path) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  auto host = hostPath(path);
  if (!host) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return false;
  }
  out = *host;
  return true;
}

// The status of a Windows path: through its spelled mapping first (one call when it exists
// as written), else through the case-insensitive search.
bool statPath(LPCSTR path, std::string& host, struct stat& st) {
  if (path) {
    if (auto spelled = platform::fs::spelledHostPath(path); spelled && ::stat(spelled->c_str(), &st) == 0) {
      host = std::move(*spelled);
      return true;
    }
  }
  stdfs::path found;
  if (!resolve(path, found)) return false;
  host = found.string();
  if (::stat(host.c_str(), &st) != 0) {
    SetLastError(errorFromErrno(errno));
    return false;
  }
  return true;
}

struct FindObject : KernelObject {
  stdfs::path folder;
  std::vector<std::string> names;
  std::size_t next = 0;
};

DWORD attributesOf(const struct stat& st) {
  DWORD attrs = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attrs |= FILE_ATTRIBUTE_READONLY;
  return attrs;
}

FindObject* asFind(HANDLE h) {
  if (!h || h == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<FindObject*>(h);
}

void fillFindData(const struct stat& st, const std::string& name, WIN32_FIND_DATAA* data) {
  std::memset(data, 0, sizeof(*data));
  data->dwFileAttributes = attributesOf(st);
  data->ftCreationTime = platform::fs::fileTimeFromUnix(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
  data->ftLastAccessTime = platform::fs::fileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  data->ftLastWriteTime = platform::fs::fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  const auto size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
  std::strncpy(data->cFileName, name.c_str(), MAX_PATH - 1);
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
  // Iterative '*' matcher with back-tracking to the last star.
  std::size_t p = 0, n = 0, star = std::string_view::npos, mark = 0;
  auto lower = [](char c) { return platform::text::lowerAscii(c); };
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || lower(pattern[p]) == lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool nextMatch(FindObject& find, WIN32_FIND_DATAA* data) {
  while (find.next < find.names.size()) {
    const std::string& name = find.names[find.next++];
    const auto path = find.folder / name;
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0) continue;  // vanished meanwhile
    bool link = S_ISLNK(st.st_mode);
    // A link reports its target's kind and is marked, so that a recursive walk can leave
    // what it points to alone.
    if (link && ::stat(path.c_str(), &st) != 0) st.st_mode = S_IFREG;
    fillFindData(st, name, data);
    if (link) data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return true;
  }
  return false;
}

}  // namespace

namespace platform::fs {

UniqueFile openFile(std::string_view windowsPath, const char* mode) {
  // A file to read is tried as spelled first; one to write goes through the search, so that
  // it replaces a file of another spelling instead of making a second one beside it.
  if (mode[0] == 'r' && !std::strchr(mode, '+')) {
    if (auto spelled = spelledHostPath(windowsPath)) {
      if (UniqueFile f{std::fopen(spelled->c_str(), mode)}) return f;
    }
  }
  auto host = hostPath(windowsPath);
  if (!host) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  UniqueFile f(std::fopen(host->c_str(), mode));
  if (!f) SetLastError(errorFromErrno(errno));
  return f;
}

std::optional<std::string> longPathName(std::string_view) { return std::nullopt; }

bool sameNameIgnoringCase(std::string_view a, std::string_view b) { return platform::text::equalsNoCase(a, b); }

std::optional<WholeFile> readFileWhole(std::string_view windowsPath, std::size_t room) {
  // Not blocking: a pipe left under the name must not hold the caller.
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  int fd = -1;
  if (auto spelled = spelledHostPath(windowsPath)) fd = ::open(spelled->c_str(), kFlags);
  if (fd < 0) {
    auto host = hostPath(windowsPath);
    if (!host) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return std::nullopt;
    }
    fd = ::open(host->c_str(), kFlags);
    if (fd < 0) {
      SetLastError(errorFromErrno(errno));
      return std::nullopt;
    }
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);  // as reading a folder is refused
    ::close(fd);
    return std::nullopt;
  }
  WholeFile file;
  file.lastWriteTime = fileTimeFromUnix(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
  prepareWholeFile(file, room, static_cast<std::size_t>(st.st_size));
  bool failed = false;
  while (true) {
    growWholeFileIfFull(file);
    const std::size_t wanted = file.capacity - file.size;
    const ssize_t got = ::read(fd, file.data() + file.size, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      SetLastError(errorFromErrno(errno));
      failed = true;
      break;
    }
    file.size += static_cast<std::size_t>(got);
    // A regular file reads short only at its end: no second call to learn that.
    if (static_cast<std::size_t>(got) < wanted) break;
  }
  ::close(fd);
  if (failed) return std::nullopt;
  return file;
}

std::optional<FileStamp> stampFile(std::string_view windowsPath) {
  const std::string path(windowsPath);
  std::string host;
  struct stat st;
  if (!statPath(path.c_str(), host, st)) return std::nullopt;
  auto ticks = [](const struct timespec& t) { return ticksOf(fileTimeFromUnix(t.tv_sec, t.tv_nsec)); };
  return FileStamp{ticks(st.st_mtim), S_ISDIR(st.st_mode) ? 0 : static_cast<std::uint64_t>(st.st_size),
                   static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), ticks(st.st_ctim)};
}

}  // namespace platform::fs

DWORD GetFileAttributesA(LPCSTR path) noexcept try {
  std::string host;
  struct stat st;
  if (!statPath(path, host, st)) return INVALID_FILE_ATTRIBUTES;
  // As on Windows, a link is marked as one; its other bits describe its target.
  struct stat own;
  const bool link = ::lstat(host.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
  return attributesOf(st) | (link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return INVALID_FILE_ATTRIBUTES;
}

BOOL GetFileAttributesExA(LPCSTR path, GET_FILEEX_INFO_LEVELS level, void* info) noexcept try {
  if (level != GetFileExInfoStandard || !info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string host;
  struct stat st;
  if (!statPath(path, host, st)) return FALSE;
  WIN32_FIND_DATAA find;
  fillFindData(st, host.substr(host.rfind('/') + 1), &find);
  auto* out = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(info);
  out->dwFileAttributes = find.dwFileAttributes;
  out->ftCreationTime = find.ftCreationTime;
  out->ftLastAccessTime = find.ftLastAccessTime;
  out->ftLastWriteTime = find.ftLastWriteTime;
  out->nFileSizeHigh = find.nFileSizeHigh;
  out->nFileSizeLow = find.nFileSizeLow;
  return TRUE;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES*) noexcept try {
  stdfs::path host;
  if (!resolve(path, host)) return FALSE;
  if (::mkdir(host.c_str(), 0755) != 0) {
    SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : errorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL RemoveDirectoryA(LPCSTR path) noexcept try {
  stdfs::path host;
  if (!resolve(path, host)) return FALSE;
  if (::rmdir(host.c_str()) != 0) {
    SetLastError(errorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL DeleteFileA(LPCSTR path) noexcept try {
  stdfs::path host;
  if (!resolve(path, host)) return FALSE;
  struct stat st;
  if (::lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::unlink(host.c_str()) != 0) {
    SetLastError(errorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL CopyFileA(LPCSTR from, LPCSTR to, BOOL failIfExists) noexcept try {
  stdfs::path src, dst;
  if (!resolve(from, src) || !resolve(to, dst)) return FALSE;
  std::error_code ec;
  if (!stdfs::is_regular_file(src, ec)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return FALSE;
  }
  if (failIfExists && stdfs::exists(dst, ec)) {
    SetLastError(ERROR_FILE_EXISTS);
    return FALSE;
  }
  stdfs::copy_file(src, dst, stdfs::copy_options::overwrite_existing, ec);
  if (ec) {
    SetLastError(errorFromErrno(ec.value()));
    return FALSE;
  }
  return TRUE;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

BOOL MoveFileExA(LPCSTR from, LPCSTR to, DWORD flags) noexcept try {
  stdfs::path src, dst;
  if (!resolve(from, src) || !resolve(to, dst)) return FALSE;
  struct stat st;
  if (!(flags & MOVEFILE_REPLACE_EXISTING) && ::lstat(dst.c_str(), &st) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (::rename(src.c_str(), dst.c_str()) != 0) {
    SetLastError(errorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

HANDLE FindFirstFileA(LPCSTR pattern, WIN32_FIND_DATAA* data) noexcept try {
  if (!pattern || !data) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  std::string_view text(pattern);
  std::size_t cut = text.find_last_of("\\/");
  if (cut == std::string_view::npos) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string folderText(text.substr(0, cut + 1));
  std::string_view spec = text.substr(cut + 1);
  auto folder = hostPath(folderText);
  std::error_code ec;
  if (!folder || !stdfs::is_directory(*folder, ec)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto find = std::make_unique<FindObject>();
  find->folder = *folder;
  const bool everything = spec == "*.*" || spec == "*";
  if (everything || wildcardMatch(spec, ".")) find->names.push_back(".");
  if (everything || wildcardMatch(spec, "..")) find->names.push_back("..");
  for (stdfs::directory_iterator it(*folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (everything || wildcardMatch(spec, name)) find->names.push_back(std::move(name));
  }
  if (!nextMatch(*find, data)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  return find.release();
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) noexcept {
  auto* find = asFind(search);
  if (!find || !data) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!nextMatch(*find, data)) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  return TRUE;
}

BOOL FindClose(HANDLE search) noexcept {
  if (!asFind(search)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete search;
  return TRUE;
}
