#include "platform/fs/windows_path.h"

#include <cctype>
#include <system_error>
#include <vector>

#include "platform/fs/folder_names.h"
#include "platform/machine_root.h"
#include "platform/text/ascii_case.h"

namespace platform::fs {

namespace stdfs = std::filesystem;

namespace {

std::vector<std::string_view> components(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  return parts;
}

// The entry of dir named like name: the exact spelling if it exists, else the first entry
// equal without regard to case, else name itself.
std::string matchEntry(const stdfs::path& dir, std::string_view name) {
  std::error_code ec;
  std::string exact(name);
  if (stdfs::symlink_status(dir / exact, ec).type() != stdfs::file_type::not_found && !ec) return exact;
  return entryNamedLike(dir, name).value_or(exact);
}

}  // namespace

namespace {

// The drive letter and the rest of an absolute Windows path; false for any other form.
bool splitDrive(std::string_view& win, char& drive) {
  drive = 'c';
  if (win.size() >= 2 && win[1] == ':' && std::isalpha(static_cast<unsigned char>(win[0]))) {
    drive = static_cast<char>(std::tolower(static_cast<unsigned char>(win[0])));
    win.remove_prefix(2);
    // "C:foo" (drive-relative) has no meaning without a current directory.
    if (!win.empty() && win[0] != '\\' && win[0] != '/') return false;
  } else if (win.empty() || (win[0] != '\\' && win[0] != '/')) {
    return false;
  }
  // UNC paths ("\\server\share") are not part of this machine.
  return !(win.size() >= 2 && (win[0] == '\\' || win[0] == '/') && (win[1] == '\\' || win[1] == '/'));
}

}  // namespace

std::optional<std::string> spelledHostPath(std::string_view win) {
  char drive = 'c';
  if (!splitDrive(win, drive)) return std::nullopt;
  std::string out;
  out.reserve(win.size() + 160);  // the root and the drive's link too, as a rule: one allocation
  appendMachineRoot(out);
  out += "/dosdevices/";
  out += drive;
  out += ':';
  // As components() does, without a list: each part is added, ".." takes the last one away.
  const std::size_t base = out.size();
  std::size_t start = 0;
  while (start <= win.size()) {
    // A plain scan: find_first_of looks each character up in the set with a call of its own.
    std::size_t end = start;
    while (end < win.size() && win[end] != '\\' && win[end] != '/') ++end;
    const std::string_view part = win.substr(start, end - start);
    if (part == "..") {
      if (out.size() > base) out.resize(out.rfind('/'));
    } else if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    start = end + 1;
  }
  return out;
}

std::optional<stdfs::path> hostPath(std::string_view win) {
  // The common case costs one status call: the path exists as spelled (so its drive does).
  const auto spelled = spelledHostPath(win);
  if (!spelled) return std::nullopt;
  std::error_code ec;
  if (stdfs::exists(*spelled, ec)) return stdfs::path(*spelled);
  char drive = 'c';
  splitDrive(win, drive);
  const stdfs::path link = machineRootPath() / "dosdevices" / std::string{drive, ':'};
  if (!stdfs::exists(link, ec)) return std::nullopt;
  stdfs::path out = link;
  bool exists = true;
  for (std::string_view part : components(win)) {
    if (exists) {
      std::string entry = matchEntry(out, part);
      out /= entry;
      exists = stdfs::exists(out, ec);
    } else {
      out /= std::string(part);
    }
  }
  return out;
}

std::optional<std::string> windowsPath(const stdfs::path& host) {
  std::error_code ec;
  stdfs::path target = stdfs::weakly_canonical(stdfs::absolute(host, ec), ec);
  if (ec) return std::nullopt;
  std::optional<std::string> best;
  std::size_t bestDepth = 0;
  for (stdfs::directory_iterator it(machineRootPath() / "dosdevices", ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.size() != 2 || name[1] != ':') continue;
    std::error_code ec2;
    stdfs::path driveRoot = stdfs::canonical(it->path(), ec2);
    if (ec2) continue;
    auto rel = target.lexically_relative(driveRoot);
    if (rel.empty() || *rel.begin() == "..") continue;
    std::size_t depth = static_cast<std::size_t>(std::distance(driveRoot.begin(), driveRoot.end()));
    if (best && depth <= bestDepth) continue;
    std::string text{static_cast<char>(std::toupper(static_cast<unsigned char>(name[0]))), ':'};
    for (const auto& part : rel) {
      if (part == ".") continue;
      text += '\\';
      text += part.string();
    }
    if (text.size() == 2) text += '\\';
    best = text;
    bestDepth = depth;
  }
  return best;
}

}  // namespace platform::fs
