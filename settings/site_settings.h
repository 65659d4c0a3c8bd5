#pragma once
// The in-memory form of the settings store: one SiteSettings per web site, with its rule
// lists in store order, built by one settings load and freed with its SiteTable.

#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/fs/file_stamp.h"
#include "settings/bounded_text.h"

namespace settings {

// The widths the filter's records keep. The records themselves hold a text whole: the loader
// cuts to these widths (cutToRecordWidths), while the console, which shares the records,
// writes back unedited what it read.
constexpr std::size_t kExtensionNameChars = 10;
constexpr std::size_t kMimeNameChars = 99;
constexpr std::size_t kDisplayNameChars = 254;
constexpr std::size_t kSearchTermChars = 255;
constexpr std::size_t kPatternChars = 511;
using WholeText = BoundedText<static_cast<std::size_t>(-1)>;

// A home directory as the metabase gives it (at most 129 characters) takes up to 387 bytes
// in UTF-8: the folders made from it must not be made from a cut of it.
constexpr std::size_t kRootPathBytes = 511;

// Compression level by file extension ("FileExtensions"); also a cachable extension
// ("CacheExt", level 0 when read from the store).
struct ExtensionRule {
  WholeText Name;  // at most kExtensionNameChars once loaded
  std::int32_t Level = 0;
};

// Compress switch and level of a MIME type; a top-level rule carries its sub-types.
struct MimeRule {
  WholeText Name;  // at most kMimeNameChars once loaded
  std::int32_t Compress = 0;
  std::int32_t Level = 0;
  std::vector<MimeRule> SubTypes;
};

// MIME rules that apply to user agents matching SearchTerm ("include" or
// "include!exclude", case-sensitive substring tests).
struct BrowserRule {
  WholeText DisplayName;  // at most kDisplayNameChars once loaded
  WholeText SearchTerm;   // at most kSearchTermChars once loaded
  std::vector<MimeRule> MimeRules;
};

// A file or directory pattern that is never compressed.
struct ExclusionEntry {
  WholeText Pattern;  // at most kPatternChars once loaded
};

// The bytes of a cache file as they were stored: a hit takes them instead of reading the
// file while the file is still the one stored (the entry's copy stamp).
struct HeldCopy {
  std::vector<std::uint8_t> bytes;
};

// One file of a site's compressed-content cache.
struct CacheEntry {
  BoundedText<511> fileName;     // full Windows path of the cache file
  BoundedText<511> expiresText;  // the expiry the stored response announced; may be empty
  std::int32_t hits = 1;         // 1 when created, plus one per hit and per re-store
  std::int32_t size = 0;         // bytes of the stored file
  bool counted = true;           // size is part of CacheTotal (false once the file expired)
  std::shared_ptr<const HeldCopy> held;  // null past the memory budget, or once expired
  // The source as it was when the copy was stored (none for a copy registered without it): a
  // source replaced by a file bearing an older time (a copy that keeps times, an unpacked
  // archive) is still found changed, and so is another file whose URL gives the same name.
  std::optional<platform::fs::FileStamp> source;
  // Which store the copy is from (unique in the process): a lookup that read the copy's
  // bytes before another store replaced them sees a different one.
  std::uint64_t version = 0;
  // The copy's own file as the store left it. Another file in its place (stored by a request
  // still bound to the settings before a reload, edited, truncated, a link) is no hit.
  std::optional<platform::fs::FileStamp> copy;
  // The style sheets the optimiser read for the page, as they were then: with another sheet
  // the page would come out otherwise.
  std::vector<platform::fs::StampedFile> sheets;
};

struct SiteSettings {
  std::int16_t Disabled = 0;
  std::int16_t Cache = 0;
  std::int32_t MinSize = 0;
  std::int32_t MaxSize = 0;
  std::uint32_t Limit = 0;
  std::int16_t NoLimit = 0;
  std::int16_t DynamicCache = 0;
  std::int16_t CacheHeaders = 0;
  std::int16_t RemoveCache = 0;
  std::int16_t Report = 0;
  std::uint16_t EnableWhite = 0;
  std::uint16_t WsWhite = 0;
  std::uint16_t WsComment = 0;
  std::uint16_t WsLower = 0;
  std::uint16_t WsCss = 0;
  std::uint16_t WsCssCom = 0;
  BoundedText<511> LogFolder;
  BoundedText<511> RefreshLog;
  BoundedText<511> ReportMask;
  BoundedText<511> CacheFolder;
  // Set by the load when a site loaded before this one keeps its copies in the same folder,
  // or one folder of copies lies inside the other: one URL of the two sites would name one
  // file, and each would serve the other's page. This site then caches nothing.
  bool CacheFolderTaken = false;
  // CacheFolder and LogFolder as the server spells its paths (a drive, one '\\' between
  // components, no "." or ".."), set by the load: the filter hides these folders' files
  // however the settings spell them.
  std::string PlainCacheFolder;
  std::string PlainLogFolder;
  std::vector<ExtensionRule> CacheExt;
  std::vector<ExtensionRule> FileExtensions;
  std::vector<ExclusionEntry> NewExclude;
  std::vector<MimeRule> MimeTypes;
  std::vector<BrowserRule> Browsers;
  BoundedText<127> InstancePath;
  BoundedText<kRootPathBytes> RootPath;
  // The cache list from CacheHead (front: most used) to CacheTail (back: least used, and
  // among equals the newest); empty after every load. CacheTotal is the sum of the sizes
  // of the entries whose files it still counts. CacheLock guards both: concurrent requests
  // of one site share them.
  std::list<CacheEntry> CacheEntries;
  // The entries by file name, so that a hit does not walk the list: changed with it.
  std::unordered_map<std::string, std::list<CacheEntry>::iterator> CacheIndex;
  std::uint32_t CacheTotal = 0;
  // When the entries whose files are gone were last dropped (a cleared cache folder).
  std::chrono::steady_clock::time_point CacheSweptAt{};
  std::mutex CacheLock;
};

// The slots of one load: as many as /LM/W3SVC has children, sites filling them from the
// first on, the rest empty.
struct SiteTable {
  std::vector<std::unique_ptr<SiteSettings>> Slots;
  std::size_t SlotCount() const { return Slots.size(); }
};

}  // namespace settings
