#include "settings/site_folders.h"

#include <cstring>

#include "platform/fs/file_api.h"
#include "platform/fs/folder_access.h"
#include "platform/fs/windows_path.h"
#include "platform/registry/unique_key.h"
#include "platform/text/ascii_case.h"
#include "settings/registry_layout.h"

namespace settings {

namespace {

bool folderExists(const std::string& folder) {
  return GetFileAttributesA(folder.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A folder that is not there yet is created (one level) and opened to the anonymous
// account; an existing one is left as it is.
void createGrantedFolder(const std::string& folder, std::string_view account) {
  if (folderExists(folder)) return;
  if (CreateDirectoryA(folder.c_str(), nullptr)) platform::fs::grantWriteAccess(folder, account);
}

std::optional<std::string> readProgFiles(HKEY global) {
  char buffer[kScalarBufferBytes] = {};
  DWORD size = sizeof(buffer);
  if (RegQueryValueExA(global, kProgFilesValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return std::string(buffer, strnlen(buffer, size));
}

}  // namespace

void copyFolderFiles(std::string_view sourceFolder, std::string_view destinationPrefix) {
  if (sourceFolder.empty() || platform::text::equalsNoCase(sourceFolder, "C:\\")) return;
  const std::string source(sourceFolder);
  WIN32_FIND_DATAA found;
  UniqueSearch search(FindFirstFileA((source + "\\*.*").c_str(), &found));
  if (!search) return;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == ".." || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    CopyFileA((source + "\\" + name).c_str(), (std::string(destinationPrefix) + name).c_str(), FALSE);
  } while (FindNextFileA(search.get(), &found));
}

std::string plainFolder(std::string_view folder, std::string_view siteRoot) {
  if (folder.empty()) return {};
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  // A network name ("\\server\share") keeps its two leading separators and has no drive.
  const bool network = folder.size() > 1 && separator(folder[0]) && separator(folder[1]);
  std::string out = network ? "\\\\" : "";
  const std::size_t floor = out.size();
  for (std::size_t start = network ? 2 : 0, end = start; start <= folder.size(); start = end + 1) {
    for (end = start; end < folder.size() && !separator(folder[end]);) ++end;
    std::string_view part = folder.substr(start, end - start);
    if (part == "..") {
      if (const std::size_t last = out.rfind('\\'); last != std::string::npos && last >= floor) out.resize(last);
      continue;
    }
    // Windows opens a name without the dots and blanks it ends with.
    while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.remove_suffix(1);
    if (part.empty()) continue;
    if (out.size() > floor || (start > 0 && !network)) out += '\\';
    out += part;
  }
  if (!network && (out.size() < 2 || out[1] != ':'))
    out = std::string(siteRoot.substr(0, siteRoot.find(':') + 1)) + out;
  return out;
}

FolderResult prepareSiteFolders(const SiteSettings& site, std::string_view anonymousAccount) {
  UniqueKey global;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kGlobalKeyPath, 0, KEY_ALL_ACCESS, global.put()) != ERROR_SUCCESS)
    return FolderResult::kSkipped;
  createGrantedFolder(site.LogFolder.str(), anonymousAccount);
  auto progFiles = readProgFiles(global.get());
  if (!progFiles) return FolderResult::kNoProgFiles;
  global.reset();
  createGrantedFolder(site.CacheFolder.str(), anonymousAccount);
  const std::string reportFolder = site.RootPath.str() + "\\" + kReportFolderName;
  createGrantedFolder(reportFolder, anonymousAccount);

  const std::string resources = *progFiles + kReportingFolder;
  copyFolderFiles(resources, reportFolder + "\\");
  const std::string images = reportFolder + "\\" + kImagesFolderName + "\\";
  if (!folderExists(images)) CreateDirectoryA(images.c_str(), nullptr);
  copyFolderFiles(resources + "\\" + kImagesFolderName, images);
  return FolderResult::kDone;
}

bool EmptyFolder(std::string_view folder) {
  if (folder.empty() || platform::text::equalsNoCase(folder, "C:\\")) return false;
  const std::string base(folder);
  // A link in the folder's place leads elsewhere: what it leads to is not the cache's.
  const DWORD attributes = GetFileAttributesA(base.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  WIN32_FIND_DATAA found;
  UniqueSearch search(FindFirstFileA((base + "\\*.*").c_str(), &found));
  if (!search) return false;
  do {
    const std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    const std::string path = base + "\\" + name;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      EmptyFolder(path);
      RemoveDirectoryA(path.c_str());
    } else {
      DeleteFileA(path.c_str());
    }
  } while (FindNextFileA(search.get(), &found));
  return true;
}

}  // namespace settings
