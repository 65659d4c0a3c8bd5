// The platform's file helpers over the Windows C runtime and kernel32: Windows paths are the
// host's own here, so nothing maps them.
#include "platform/fs/file_api.h"

#include <fcntl.h>
#include <io.h>

#include <string>

#include "platform/fs/file_stamp.h"
#include "platform/fs/windows_path.h"
#include "platform/text/wide_text.h"

namespace platform::fs {

namespace {

// The C runtime of the system's DLL (msvcrt) knows no "x" mode: the file is created new by
// kernel32, which refuses one that exists (a link left under that name included), and the
// runtime takes over its handle.
UniqueFile createNew(const std::string& path, std::string mode) {
  mode.erase(mode.find('x'), 1);
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    return nullptr;
  }
  UniqueFile file(_fdopen(descriptor, mode.c_str()));
  if (!file) _close(descriptor);
  return file;
}

}  // namespace

UniqueFile openFile(std::string_view windowsPath, const char* mode) {
  const std::string path(windowsPath);
  const std::string flags(mode);
  if (flags.find('x') != std::string::npos) return createNew(path, flags);
  return UniqueFile(std::fopen(path.c_str(), mode));
}

std::optional<std::string> longPathName(std::string_view windowsPath) {
  const std::string path(windowsPath);
  char buffer[MAX_PATH * 4];
  const DWORD length = GetLongPathNameA(path.c_str(), buffer, sizeof(buffer));
  if (length == 0 || length >= sizeof(buffer)) return std::nullopt;
  return std::string(buffer, length);
}

bool sameNameIgnoringCase(std::string_view a, std::string_view b) {
  const text::WideString wa = text::widen(a);
  const text::WideString wb = text::widen(b);
  return CompareStringOrdinal(wa.data(), static_cast<int>(wa.size()), wb.data(), static_cast<int>(wb.size()), TRUE) ==
         CSTR_EQUAL;
}

std::optional<WholeFile> readFileWhole(std::string_view windowsPath, std::size_t room) {
  auto file = openFile(windowsPath, "rb");
  if (!file) return std::nullopt;
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file.get())));
  WholeFile whole;
  LARGE_INTEGER size;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileTime(handle, nullptr, nullptr, &whole.lastWriteTime) ||
      !GetFileSizeEx(handle, &size))
    return std::nullopt;
  prepareWholeFile(whole, room, static_cast<std::size_t>(size.QuadPart));
  while (true) {
    growWholeFileIfFull(whole);
    const std::size_t wanted = whole.capacity - whole.size;
    const std::size_t got = std::fread(whole.data() + whole.size, 1, wanted, file.get());
    whole.size += got;
    if (got < wanted) break;  // the end, or an error
  }
  if (std::ferror(file.get())) return std::nullopt;
  return whole;
}

std::optional<FileStamp> stampFile(std::string_view windowsPath) {
  const std::string path(windowsPath);
  // Attributes only: no sharing is refused, and a folder opens as well.
  const HANDLE handle = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  const BOOL ok = GetFileInformationByHandle(handle, &info) &&
                  GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof(basic));
  CloseHandle(handle);
  if (!ok) return std::nullopt;
  auto wide = [](DWORD high, DWORD low) { return (static_cast<std::uint64_t>(high) << 32) | low; };
  return FileStamp{ticksOf(info.ftLastWriteTime),
                   wide(info.nFileSizeHigh, info.nFileSizeLow), info.dwVolumeSerialNumber,
                   wide(info.nFileIndexHigh, info.nFileIndexLow), static_cast<std::uint64_t>(basic.ChangeTime.QuadPart)};
}

}  // namespace platform::fs
