#include "platform/ui/resources.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <map>
#include <mutex>

#include "platform/fs/windows_path.h"

namespace platform::ui {

namespace {

std::mutex& tablesMutex() {
  static std::mutex m;
  return m;
}
std::map<HINSTANCE, const ResourceTable*>& tables() {
  static std::map<HINSTANCE, const ResourceTable*> t;
  return t;
}

const ResourceTable* tableOf(HINSTANCE instance) {
  std::lock_guard lock(tablesMutex());
  auto it = tables().find(instance);
  return it == tables().end() ? nullptr : it->second;
}

}  // namespace

HINSTANCE moduleOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info)) return nullptr;
  return static_cast<HINSTANCE>(info.dli_fbase);
}

void registerResources(HINSTANCE instance, const ResourceTable* table) {
  std::lock_guard lock(tablesMutex());
  tables()[instance] = table;
}

WORD resourceId(LPCSTR name) { return IS_INTRESOURCE(name) ? static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name)) : 0; }

const DialogTemplate* findDialog(HINSTANCE instance, LPCSTR name) {
  const ResourceTable* table = tableOf(instance);
  if (!table) return nullptr;
  const WORD id = resourceId(name);
  for (const DialogTemplate* d : table->dialogs)
    if (id ? d->id == id : d->caption == name) return d;
  return nullptr;
}

const char* findIcon(HINSTANCE instance, LPCSTR name) {
  const ResourceTable* table = tableOf(instance);
  if (!table) return nullptr;
  for (const IconResource& icon : table->icons)
    if (icon.id == resourceId(name)) return icon.svg;
  return nullptr;
}

}  // namespace platform::ui

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferChars) noexcept {
  using namespace platform::ui;
  if (!buffer || bufferChars <= 0) return 0;
  buffer[0] = '\0';
  const ResourceTable* table = tableOf(instance);
  if (!table) return 0;
  for (const StringResource& s : table->strings) {
    if (s.id != id) continue;
    const int n = std::min<int>(static_cast<int>(std::strlen(s.text)), bufferChars - 1);
    std::memcpy(buffer, s.text, static_cast<std::size_t>(n));
    buffer[n] = '\0';
    return n;
  }
  return 0;
}

namespace {

struct ModuleSearch {
  const void* base;
  std::string path;
};

int findModulePath(dl_phdr_info* info, std::size_t, void* data) {
  auto* search = static_cast<ModuleSearch*>(data);
  // A module's base address is its load address plus its first segment's address.
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    if (info->dlpi_phdr[i].p_type != PT_LOAD) continue;
    const void* start = reinterpret_cast<const void*>(info->dlpi_addr + info->dlpi_phdr[i].p_vaddr - info->dlpi_phdr[i].p_offset);
    if (start == search->base && info->dlpi_name && *info->dlpi_name) {
      search->path = info->dlpi_name;
      return 1;
    }
    break;
  }
  return 0;
}

}  // namespace

DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD bufferChars) noexcept {
  if (!buffer || bufferChars == 0) return 0;
  ModuleSearch search{module, {}};
  if (module) dl_iterate_phdr(findModulePath, &search);
  if (search.path.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::error_code ec;
  const auto absolute = std::filesystem::weakly_canonical(search.path, ec);
  const auto windows = platform::fs::windowsPath(ec ? std::filesystem::path(search.path) : absolute);
  const std::string path = windows.value_or(search.path);
  const DWORD n = std::min<DWORD>(static_cast<DWORD>(path.size()), bufferChars - 1);
  std::memcpy(buffer, path.data(), n);
  buffer[n] = '\0';
  if (path.size() >= bufferChars) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return n;
}
