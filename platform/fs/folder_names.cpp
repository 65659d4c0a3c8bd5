#include "platform/fs/folder_names.h"

#include <sys/stat.h>

#include <chrono>
#include <mutex>
#include <system_error>
#include <unordered_map>

#include "platform/text/ascii_case.h"

namespace platform::fs {

namespace {

namespace stdfs = std::filesystem;

// Folders kept at once, and the most entries one may have to be kept: past them a folder is
// listed for each question, as it always was.
constexpr std::size_t kFoldersKept = 256;
constexpr std::size_t kEntriesKept = 200000;
// A folder changed this recently when it was listed may change again within the same tick of
// its time stamp, unseen: its listing is used once and not kept.
constexpr auto kSettled = std::chrono::seconds(1);

struct Listing {
  dev_t device = 0;
  ino_t inode = 0;
  timespec changed{};
  std::unordered_map<std::string, std::string> byFoldedName;  // the first entry of each folded name
};

// The folder's status change time: every entry added, removed or renamed moves it, and no
// one can set it back as a modification time can be.
bool sameStamp(const Listing& listing, const struct stat& now) {
  return listing.device == now.st_dev && listing.inode == now.st_ino && listing.changed.tv_sec == now.st_ctim.tv_sec &&
         listing.changed.tv_nsec == now.st_ctim.tv_nsec;
}

std::mutex listingsLock;
std::unordered_map<std::string, Listing> listings;

std::optional<std::string> lookUp(const Listing& listing, std::string_view name) {
  const auto found = listing.byFoldedName.find(text::lowered(name));
  if (found == listing.byFoldedName.end()) return std::nullopt;
  return found->second;
}

}  // namespace

std::optional<std::string> entryNamedLike(const stdfs::path& folder, std::string_view name) {
  struct stat before {};
  if (::stat(folder.c_str(), &before) != 0) return std::nullopt;
  const std::string key = folder.string();
  {
    std::lock_guard hold(listingsLock);
    const auto kept = listings.find(key);
    if (kept != listings.end() && sameStamp(kept->second, before)) return lookUp(kept->second, name);
  }
  const auto listedAt = std::chrono::system_clock::now();
  const auto changedAt = std::chrono::system_clock::time_point(std::chrono::seconds(before.st_ctim.tv_sec) +
                                                               std::chrono::nanoseconds(before.st_ctim.tv_nsec));
  std::error_code ec;
  if (changedAt + kSettled >= listedAt) {
    // Not to be kept: searched as it is, to the first entry of that name.
    {
      std::lock_guard hold(listingsLock);
      listings.erase(key);
    }
    for (stdfs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::string entry = it->path().filename().string();
      if (text::equalsNoCase(entry, name)) return entry;
    }
    return std::nullopt;
  }
  Listing listing{before.st_dev, before.st_ino, before.st_ctim, {}};
  for (stdfs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    listing.byFoldedName.try_emplace(text::lowered(it->path().filename().string()), it->path().filename().string());
  const std::optional<std::string> answer = lookUp(listing, name);
  struct stat after {};
  const bool settled = !ec && ::stat(folder.c_str(), &after) == 0 && sameStamp(listing, after) &&
                       listing.byFoldedName.size() <= kEntriesKept;
  std::lock_guard hold(listingsLock);
  if (!settled) {
    listings.erase(key);
    return answer;
  }
  if (listings.size() >= kFoldersKept) listings.clear();
  listings.insert_or_assign(key, std::move(listing));
  return answer;
}

}  // namespace platform::fs
