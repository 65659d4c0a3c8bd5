#pragma once
// The per-site cache of compressed responses: files below CacheFolder + "\korvanecompress"
// mirroring the site's URL tree, and the site's in-memory list of them ordered by use.
// Every list operation takes the site's CacheLock; file writes go to a temporary file that
// is renamed over the old copy, so a reader never sees half a file. An entry may hold its
// copy's bytes too, so that a hit asks the file system only whether the file is unchanged.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/file_api.h"
#include "platform/fs/file_stamp.h"
#include "settings/site_folders.h"
#include "settings/site_settings.h"

namespace compression {

using settings::kCacheSubFolder;

// What the cache needs of one request and its response.
struct CacheRequest {
  std::string url;             // the URL path, lower-cased, with '\' separators
  std::string queryString;     // recorded by Lookup
  // The file the response came from, as the server spells it (case and ';' kept): the copy
  // is checked against that very file. Empty when not known: nothing is cached.
  std::string sourceFile;
  std::string expires;         // the expiry the response announced as an HTTP date; may be empty
  bool noRecache = false;      // set by Lookup: the copy expired with this very expiry
  // When the response's body began to be read (0: not known). A source written since then,
  // or just before, may hold more than the body did: its copy is not stored.
  std::time_t readSince = 0;
  // The source as Lookup found it (none: not found), before the body was read: a store of
  // that body needs the source unchanged since.
  bool sourceChecked = false;
  std::optional<platform::fs::FileStamp> sourceSeen;
  // The write time of the file the server read, as its entity tag names it (none: not
  // named): a source by that name with another time is not the file the body came from.
  std::optional<std::uint64_t> servedWriteTime;
  // The style sheets the optimiser read for the body, which a copy depends on as on its source.
  std::vector<platform::fs::StampedFile> sheets;
};

// The cached copy of the requested resource, behind `room` free bytes for the header that
// goes out with it, or nullopt for a miss. Records queryString in the request. A miss when
// the cache is off for the request, the copy is missing, not later than its source, stored
// from another file than the source is now, unknown to the list or expired. Nothing is
// looked up or stored for a site whose cache folder another site has taken.
std::optional<platform::fs::WholeFile> Lookup(CacheRequest& request, settings::SiteSettings& site,
                                              std::string_view queryString, std::time_t now, std::size_t room = 0);

// Stores the compressed bytes of the response and registers them; nothing when the
// response is already stale, has no extension, or the cache is off for it. servedBody is the
// body as the server sent it: for a file the server named (servedWriteTime), the source must
// still hold exactly those bytes, or the copy would be of another file (one renamed into
// place while the body was read, with the same time and size).
void Store(const std::vector<std::uint8_t>& bytes, settings::SiteSettings& site, const CacheRequest& request,
           std::time_t now, std::string_view servedBody);

// The list operations (each takes the site's lock).
void Register(const std::string& fileName, settings::SiteSettings& site, std::int32_t size, std::string_view expires);
void Hit(const std::string& fileName, settings::SiteSettings& site);

// The bytes all sites' entries hold in memory for hits (a stored copy is held while it fits
// the process's budget, until its entry goes).
std::uint64_t HeldBytes();

// Empties a cache folder; shared with the console, which may not depend on this library.
using settings::EmptyFolder;

// Whether the URL part and query string can name a file inside the cache folder: no "."
// or ".." component, no drive, no character a Windows file name cannot hold.
bool SafeCacheName(std::string_view urlPath, std::string_view queryString);

}  // namespace compression
