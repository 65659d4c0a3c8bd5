#include "compress/content_cache.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>

#include "compress/http_date.h"
#include "platform/fs/file_api.h"
#include "platform/fs/file_stamp.h"
#include "platform/fs/whole_file.h"
#include "platform/text/ascii_case.h"

namespace compression {

namespace {

using settings::CacheEntry;
using settings::HeldCopy;
using settings::SiteSettings;

// The stored bytes kept for hits, across all sites: the copies stored first (the pages asked
// for most are usually among them) up to the budget; the others are read from their files.
constexpr std::uint64_t kHeldBudget = 64ull << 20;
constexpr std::size_t kLargestHeld = 1u << 20;
// How often a cache at its limit looks for entries whose files were deleted.
constexpr auto kMissingFilesSweep = std::chrono::seconds(5);
std::atomic<std::uint64_t> heldBytes{0};
std::atomic<std::uint64_t> storesMade{0};

void releaseHeld(const HeldCopy* copy) {
  heldBytes.fetch_sub(copy->bytes.size());
  delete copy;
}

std::shared_ptr<const HeldCopy> holdCopy(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() > kLargestHeld || heldBytes.load() + bytes.size() > kHeldBudget) return nullptr;
  auto copy = std::make_unique<HeldCopy>();
  copy->bytes = bytes;
  heldBytes.fetch_add(bytes.size());
  return std::shared_ptr<const HeldCopy>(copy.release(), releaseHeld);
}

std::list<CacheEntry>::iterator findEntry(SiteSettings& site, const std::string& fileName) {
  const auto found = site.CacheIndex.find(fileName);
  return found == site.CacheIndex.end() ? site.CacheEntries.end() : found->second;
}

std::list<CacheEntry>::iterator eraseEntry(SiteSettings& site, std::list<CacheEntry>::iterator it) {
  site.CacheIndex.erase(it->fileName.str());
  return site.CacheEntries.erase(it);
}

// Hit with the lock held: one more hit, then the walk toward the head.
void hitLocked(SiteSettings& site, std::list<CacheEntry>::iterator it) {
  auto& list = site.CacheEntries;
  ++it->hits;
  if (it == list.begin() || std::prev(it)->hits > it->hits) return;
  for (auto p = std::prev(it);; --p) {
    if (p->hits < it->hits) {
      list.splice(p, list, it);  // between p's predecessor and p
      return;
    }
    if (p == list.begin()) {
      if (p->hits == it->hits) list.splice(p, list, it);
      return;
    }
  }
}

void uncount(SiteSettings& site, CacheEntry& e) {
  if (!e.counted) return;
  site.CacheTotal -= std::min<std::uint32_t>(site.CacheTotal, static_cast<std::uint32_t>(e.size));
  e.counted = false;
}

bool exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool isLink(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

using platform::fs::FileStamp;

std::optional<FileStamp> sourceStamp(const CacheRequest& request) {
  if (request.sourceFile.empty()) return std::nullopt;
  return platform::fs::stampFile(request.sourceFile);
}

// Whether the source holds exactly the body: a store only, once per copy, reads it again.
bool sourceHolds(const std::string& sourceFile, std::string_view body) {
  const auto file = platform::fs::readFileWhole(sourceFile);
  return file && file->size == body.size() &&
         (body.empty() || std::memcmp(file->data(), body.data(), body.size()) == 0);
}

// Whether the source was written since its body began to be read, or in the second before:
// the file system's clock runs in coarse steps behind the wall clock, so a write just after
// the read began may bear an earlier time.
bool writtenDuringRead(const CacheRequest& request, const FileStamp& source) {
  if (request.readSince == 0) return false;
  constexpr std::uint64_t kSecond = 10000000;
  return source.writeTime + kSecond >= platform::fs::ticksOf(platform::fs::fileTimeFromUnix(request.readSince, 0));
}

// The copy's bytes, behind `room`, while its file is the one the store left (`stamp`, just
// taken, equals the entry's): the held bytes when there are some, else the file's, read
// once and checked to be of the same size and time.
std::optional<platform::fs::WholeFile> copyIfCurrent(const std::string& path, const HeldCopy* held,
                                                     const FileStamp& stamp, std::size_t room) {
  if (!held) {
    auto file = platform::fs::readFileWhole(path, room);
    if (!file || file->size != stamp.size || platform::fs::ticksOf(file->lastWriteTime) != stamp.writeTime)
      return std::nullopt;
    return file;
  }
  platform::fs::WholeFile file;
  platform::fs::prepareWholeFile(file, room, held->bytes.size());
  if (!held->bytes.empty()) std::memcpy(file.data(), held->bytes.data(), held->bytes.size());
  file.size = held->bytes.size();
  file.lastWriteTime.dwLowDateTime = static_cast<DWORD>(stamp.writeTime & 0xFFFFFFFFu);
  file.lastWriteTime.dwHighDateTime = static_cast<DWORD>(stamp.writeTime >> 32);
  return file;
}

// The copy's entry when it is known and not expired; otherwise the copy is deleted and the
// end is returned.
std::list<CacheEntry>::iterator validLocked(SiteSettings& site, const std::string& fileName, CacheRequest& request,
                                            std::time_t now) {
  auto it = findEntry(site, fileName);
  if (it == site.CacheEntries.end()) {
    // A copy from before a restart or reload: replaced on first use. Where case does not
    // count in file names, the file found may be an entry's under another spelling: that
    // one stays its entry's.
    const bool spelledOtherwise = std::any_of(site.CacheEntries.begin(), site.CacheEntries.end(), [&](const CacheEntry& e) {
      return platform::text::equalsNoCase(e.fileName.str(), fileName);
    });
    if (!spelledOtherwise) DeleteFileA(fileName.c_str());
    return it;
  }
  if (!site.CacheHeaders) return it;
  auto expiry = ParseHttpTime(it->expiresText.str());
  if (!expiry) return it;
  if (std::difftime(*expiry, now) > 0) return it;
  if (it->expiresText.str() == request.expires) request.noRecache = true;
  DeleteFileA(fileName.c_str());
  uncount(site, *it);
  it->held.reset();
  return site.CacheEntries.end();
}

// The name of the cached copy below the cache root: the URL from its first '\', and the
// query string with dynamic caching on. nullopt when the request has no cache name.
// The longest path an entry can hold: a longer copy could never be found in the list again.
constexpr std::size_t kMaxCachePath = 511;

// Drops the entries (and deletes the files) whose names differ from fileName only in
// case: on a file system that ignores case they are one file, which must never be served
// for another name. The files go first, so on such a system the new copy is written after.
void dropCaseVariantsLocked(SiteSettings& site, const std::string& fileName) {
  for (auto it = site.CacheEntries.begin(); it != site.CacheEntries.end();) {
    const std::string& other = it->fileName.str();
    if (other != fileName && platform::text::equalsNoCase(other, fileName)) {
      DeleteFileA(other.c_str());
      uncount(site, *it);
      it = eraseEntry(site, it);
    } else {
      ++it;
    }
  }
  // Files left from before a reload have no entry; every spelling of the name goes.
  for (int i = 0; i < 64 && exists(fileName); ++i) DeleteFileA(fileName.c_str());
}

std::optional<std::string> cacheName(const CacheRequest& request, const SiteSettings& site) {
  const std::string& url = request.url;
  const std::size_t slash = url.find('\\');
  if (slash == std::string::npos) return std::nullopt;
  const std::string_view query = request.queryString;
  // Without dynamic caching a query string would be served another query's page.
  if (!query.empty() && !site.DynamicCache) return std::nullopt;
  const std::string_view path = std::string_view(url).substr(slash);
  if (!SafeCacheName(path, site.DynamicCache ? query : std::string_view())) return std::nullopt;
  std::string name;
  name.reserve(path.size() + query.size());
  name += path;
  if (site.DynamicCache) name += query;
  return name;
}

// Writes the bytes next to the target; the caller renames the file over the target, so
// a reader sees the old copy or the new one, and a failed write leaves the old one.
std::optional<std::string> writeTemporary(const std::string& target, const std::vector<std::uint8_t>& bytes) {
  const std::string temp = platform::fs::temporaryNameBeside(target);
  // Created new, never opened through a link someone left under that name.
  auto file = platform::fs::openFile(temp, "wbx");
  if (!file) return std::nullopt;
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
  ok = ok && std::fflush(file.get()) == 0;
  file.reset();
  if (!ok) {
    DeleteFileA(temp.c_str());
    return std::nullopt;
  }
  return temp;
}

void registerLocked(const std::string& fileName, SiteSettings& site, std::int32_t size, std::string_view expires,
                    std::shared_ptr<const HeldCopy> held, std::optional<FileStamp> source,
                    std::optional<FileStamp> copy, std::vector<platform::fs::StampedFile> sheets = {});

// Whether each style sheet a copy was optimised with is still the one read.
bool sheetsUnchanged(const std::vector<platform::fs::StampedFile>& sheets) {
  for (const auto& sheet : sheets)
    if (platform::fs::stampFile(sheet.path) != sheet.stamp) return false;
  return true;
}

// Drops the entries whose files are gone: the console's "Clear Cache Now" empties the
// folder without a word to the filter, and their sizes would fill the limit for ever.
void forgetMissingLocked(SiteSettings& site) {
  for (auto it = site.CacheEntries.begin(); it != site.CacheEntries.end();) {
    if (exists(it->fileName.str())) {
      ++it;
      continue;
    }
    uncount(site, *it);
    it = eraseEntry(site, it);
  }
}

void evictLocked(SiteSettings& site, std::uint32_t amount) {
  std::uint64_t freed = 0;
  while (!site.CacheEntries.empty() && freed < amount) {
    CacheEntry& tail = site.CacheEntries.back();
    if (exists(tail.fileName.str())) DeleteFileA(tail.fileName.c_str());
    freed += static_cast<std::uint32_t>(tail.size);
    uncount(site, tail);
    eraseEntry(site, std::prev(site.CacheEntries.end()));
  }
}

}  // namespace

bool SafeCacheName(std::string_view urlPath, std::string_view queryString) {
  auto badChar = [](unsigned char c) { return c < 32 || std::strchr(":*?\"<>|", c) != nullptr; };
  std::size_t start = 0;
  while (start <= urlPath.size()) {
    std::size_t end = urlPath.find('\\', start);
    if (end == std::string_view::npos) end = urlPath.size();
    std::string_view part = urlPath.substr(start, end - start);
    if (part == "." || part == ".." || part.find('/') != std::string_view::npos) return false;
    for (unsigned char c : part)
      if (badChar(c)) return false;
    start = end + 1;
  }
  for (unsigned char c : queryString)
    if (badChar(c) || c == '\\' || c == '/') return false;
  // "page.asp" + "..x" must not step out either: the whole last component is checked.
  return queryString.find("..") == std::string_view::npos;
}

std::optional<platform::fs::WholeFile> Lookup(CacheRequest& request, SiteSettings& site, std::string_view queryString,
                                              std::time_t now, std::size_t room) {
  if (site.CacheFolder.empty() || site.CacheFolderTaken) return std::nullopt;
  request.queryString = queryString;
  auto name = cacheName(request, site);
  if (!name) return std::nullopt;
  std::string cacheFile;
  cacheFile.reserve(site.CacheFolder.size() + std::strlen(kCacheSubFolder) + name->size());
  cacheFile += site.CacheFolder.str();
  cacheFile += kCacheSubFolder;
  cacheFile += *name;
  if (cacheFile.size() > kMaxCachePath) return std::nullopt;
  request.sourceSeen = sourceStamp(request);
  request.sourceChecked = true;
  const auto& source = request.sourceSeen;
  std::shared_ptr<const HeldCopy> held;
  std::optional<std::uint64_t> version;
  std::optional<FileStamp> stored;
  std::vector<platform::fs::StampedFile> sheets;
  {
    std::lock_guard lock(site.CacheLock);
    auto it = findEntry(site, cacheFile);
    // A file without an entry (left from before a restart or reload) goes.
    if (it == site.CacheEntries.end()) {
      validLocked(site, cacheFile, request, now);
      return std::nullopt;
    }
    held = it->held;
    version = it->version;
    stored = it->copy;
    if (!it->sheets.empty()) sheets = it->sheets;
  }
  const auto onDisk = platform::fs::stampFile(cacheFile);
  if (!onDisk || !stored || *onDisk != *stored) return std::nullopt;
  if (!sheetsUnchanged(sheets)) return std::nullopt;  // the next store replaces the copy
  auto copy = copyIfCurrent(cacheFile, held.get(), *onDisk, room);
  if (!copy) return std::nullopt;
  // A copy written in the same tick of the file system's clock as its source may hold what
  // the source had before that write: only a later copy is known to be current.
  if (!source || source->writeTime >= platform::fs::ticksOf(copy->lastWriteTime)) return std::nullopt;
  {
    std::lock_guard lock(site.CacheLock);
    auto it = validLocked(site, cacheFile, request, now);
    if (it == site.CacheEntries.end()) return std::nullopt;
    // Stored again while the bytes were read (by another file of the same name, or a
    // change): they may be the other store's.
    if (it->version != version) return std::nullopt;
    if (it->source && *it->source != *source)
      return std::nullopt;  // another source since the store: the next store replaces the copy
    hitLocked(site, it);
  }
  return copy;
}

void Store(const std::vector<std::uint8_t>& bytes, SiteSettings& site, const CacheRequest& request,
           std::time_t now, std::string_view servedBody) {
  if (auto expiry = ParseHttpTime(request.expires); expiry && *expiry < now) return;
  if (site.CacheFolder.empty() || site.CacheFolderTaken) return;
  // A copy of a body older than its source would be later than the source, and served as
  // current. A source not found could never be checked by a lookup: its copy would only be
  // found by another URL that gives the same name ("a;b.htm" and "a,b.htm").
  const auto source = sourceStamp(request);
  if (!source || writtenDuringRead(request, *source)) return;
  // Changed or replaced since the lookup, before the body was read: the body may be the
  // file before (one renamed into place keeps its older write time).
  if (request.sourceChecked && request.sourceSeen != source) return;
  // The server read another file than the name leads to now (replaced after it opened it).
  if (request.servedWriteTime && *request.servedWriteTime != source->writeTime) return;
  // Read after the stamp: a file renamed into place after it is found changed by a lookup.
  if (request.servedWriteTime && !sourceHolds(request.sourceFile, servedBody)) return;
  auto name = cacheName(request, site);
  if (!name) return;
  const std::string query = site.DynamicCache ? request.queryString : std::string();
  const std::string path = site.CacheFolder.str() + kCacheSubFolder + name->substr(0, name->size() - query.size());
  // Create the folders on the way, one '\'-terminated component at a time; failures show
  // as a failed write below. A link inside the cache folder would lead the write out of it.
  const std::size_t cacheRoot = site.CacheFolder.size() + std::strlen(kCacheSubFolder);
  for (std::size_t at = path.find('\\'); at != std::string::npos; at = path.find('\\', at + 1)) {
    const std::string folder = path.substr(0, at);
    if (folder.size() > 2 && !exists(folder)) CreateDirectoryA(folder.c_str(), nullptr);
    if (folder.size() >= cacheRoot && isLink(folder)) return;
  }
  if (path.find('.') == std::string::npos) return;  // only files with an extension
  const std::string target = path + query;
  if (target.size() > kMaxCachePath) return;
  auto temp = writeTemporary(target, bytes);
  if (!temp) return;
  std::shared_ptr<const HeldCopy> held = holdCopy(bytes);
  // The rename and the registration go together: two requests storing the same file must
  // leave the entry's size equal to the file that stays.
  std::lock_guard lock(site.CacheLock);
  dropCaseVariantsLocked(site, target);
  if (!MoveFileExA(temp->c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DeleteFileA(temp->c_str());
    return;
  }
  const auto written = platform::fs::stampFile(target);
  if (!written || written->size != bytes.size()) return;  // replaced at once: a lookup finds no entry's file
  registerLocked(target, site, static_cast<std::int32_t>(bytes.size()), request.expires, std::move(held), source,
                 written, request.sheets);
}

void Register(const std::string& fileName, SiteSettings& site, std::int32_t size, std::string_view expires) {
  std::lock_guard lock(site.CacheLock);
  registerLocked(fileName, site, size, expires, nullptr, std::nullopt, std::nullopt);
}

namespace {

void registerLocked(const std::string& fileName, SiteSettings& site, std::int32_t size, std::string_view expires,
                    std::shared_ptr<const HeldCopy> held, std::optional<FileStamp> source,
                    std::optional<FileStamp> copy, std::vector<platform::fs::StampedFile> sheets) {
  if (auto it = findEntry(site, fileName); it != site.CacheEntries.end()) {
    // The file was replaced: the total counts the new size instead of the old one.
    uncount(site, *it);
    it->size = size;
    it->expiresText = expires;
    it->counted = true;
    it->held = std::move(held);
    it->source = source;
    it->copy = copy;
    it->sheets = std::move(sheets);
    it->version = ++storesMade;
    site.CacheTotal += static_cast<std::uint32_t>(size);
    hitLocked(site, it);
    return;
  }
  CacheEntry entry;
  entry.fileName = fileName;
  entry.expiresText = expires;
  entry.size = size;
  entry.held = std::move(held);
  entry.source = source;
  entry.copy = copy;
  entry.sheets = std::move(sheets);
  entry.version = ++storesMade;
  auto wanted = [&] { return static_cast<std::uint64_t>(site.CacheTotal) + static_cast<std::uint32_t>(size); };
  // Over the limit, the entries of deleted files go first (a status call each: at most every
  // few seconds), then the least used.
  if (site.NoLimit && wanted() > site.Limit) {
    const auto now = std::chrono::steady_clock::now();
    if (now - site.CacheSweptAt >= kMissingFilesSweep) {
      site.CacheSweptAt = now;
      forgetMissingLocked(site);
    }
  }
  if (site.NoLimit && wanted() > site.Limit)
    evictLocked(site, static_cast<std::uint32_t>(
                          std::min<std::uint64_t>(4ull * static_cast<std::uint32_t>(size), site.CacheTotal)));
  site.CacheEntries.push_back(std::move(entry));
  site.CacheIndex[site.CacheEntries.back().fileName.str()] = std::prev(site.CacheEntries.end());
  site.CacheTotal += static_cast<std::uint32_t>(size);
}

}  // namespace

std::uint64_t HeldBytes() { return heldBytes.load(); }

void Hit(const std::string& fileName, SiteSettings& site) {
  std::lock_guard lock(site.CacheLock);
  if (auto it = findEntry(site, fileName); it != site.CacheEntries.end()) hitLocked(site, it);
}

}  // namespace compression
