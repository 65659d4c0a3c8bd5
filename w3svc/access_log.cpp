#include "w3svc/access_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string_view>

#include "platform/text/ascii_case.h"

namespace w3svc {

namespace {

constexpr char kFields[] = "#Fields: date time c-ip cs-method cs-uri-stem cs-uri-query sc-status sc-bytes cs(User-Agent)";

// W3C fields hold no blanks: '+' stands for a blank, '-' for an empty field.
void appendField(std::string& out, std::string_view text) {
  if (text.empty()) {
    out += '-';
    return;
  }
  for (char c : text) {
    if (c == ' ') {
      out += '+';
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      out += '_';
    } else {
      out += c;
    }
  }
}

// The filter's reload address ends in the machine's reload token, which would let anyone who
// reads the log make every site reload its settings.
std::string_view withoutReloadToken(std::string_view stem) {
  constexpr std::string_view kReload = "/rstval=";
  const std::size_t slash = stem.rfind('/');
  if (slash == std::string_view::npos || stem.size() - slash <= kReload.size()) return stem;
  for (std::size_t i = 0; i < kReload.size(); ++i)
    if (platform::text::lowerAscii(stem[slash + i]) != kReload[i]) return stem;
  return stem.substr(0, slash + kReload.size());
}

// One write call for the whole text, so that it reaches the file in one piece. A short
// write (a full disk) goes on with the rest, and then another thread's line may come
// between the two parts.
void writeWhole(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
}

// The time of a line as the log writes it, formatted once a second per thread: a busy site
// logs many lines within one second.
struct Stamp {
  std::time_t second = -1;
  char full[24] = {};  // 2026-12-08 01:02:03
  char day[8] = {};    // 261208
};

const Stamp& stampOf(std::time_t when) {
  thread_local Stamp stamp;
  if (stamp.second != when) {
    std::tm parts{};
    gmtime_r(&when, &parts);
    std::strftime(stamp.full, sizeof(stamp.full), "%Y-%m-%d %H:%M:%S", &parts);
    std::strftime(stamp.day, sizeof(stamp.day), "%y%m%d", &parts);
    stamp.second = when;
  }
  return stamp;
}

}  // namespace

AccessLog::~AccessLog() {
  if (fd_ >= 0) ::close(fd_);
}

void AccessLog::openDay(std::string_view day, const char* stamp) {
  if (fd_ >= 0) ::close(fd_);
  std::error_code ec;
  std::filesystem::create_directories(folder_, ec);
  // The log names every client and page: for the machine's owner only.
  std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ec);
  const std::filesystem::path file = folder_ / ("ex" + std::string(day) + ".log");
  fd_ = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  file_day_ = day;
  struct stat info {};
  if (fd_ < 0 || ::fstat(fd_, &info) != 0) return;
  ::fchmod(fd_, 0600);
  if (info.st_size == 0) {
    std::string heading = "#Software: W3SVC 5.0\r\n#Version: 1.0\r\n#Date: ";
    heading += stamp;
    heading += "\r\n";
    heading += kFields;
    heading += "\r\n";
    writeWhole(fd_, heading);
  }
}

void AccessLog::append(std::time_t when, std::string& line) {
  const Stamp& stamp = stampOf(when);
  const std::string_view day = stamp.day;
  line += "\r\n";
  // Each line reaches the file at once: readers (and a crash) see every finished request.
  {
    std::shared_lock lock(mutex_);
    if (fd_ >= 0 && day == file_day_) {
      writeWhole(fd_, line);
      return;
    }
  }
  std::unique_lock lock(mutex_);
  if (fd_ < 0 || day != file_day_) openDay(day, stamp.full);
  if (fd_ >= 0) writeWhole(fd_, line);
}

void AccessLog::write(const AccessRecord& record) {
  std::string line;
  line.reserve(96 + record.uriStem.size() + record.uriQuery.size() + record.userAgent.size());
  line += stampOf(record.when).full;
  line += ' ';
  appendField(line, record.clientIp);
  line += ' ';
  appendField(line, record.method);
  line += ' ';
  const std::string_view stem = withoutReloadToken(record.uriStem);
  appendField(line, stem);
  if (stem.size() < record.uriStem.size()) line += '-';
  line += ' ';
  appendField(line, record.uriQuery);
  line += ' ';
  line += std::to_string(record.status);
  line += ' ';
  line += std::to_string(record.bytesSent);
  line += ' ';
  appendField(line, record.userAgent);
  append(record.when, line);
}

void AccessLog::remark(const std::string& text) {
  std::string line = "#Remark: ";
  for (char c : text) line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  append(std::time(nullptr), line);
}

}  // namespace w3svc
