#include "w3svc/access_log.h"

#include <cctype>
#include <cstdio>
#include <string_view>
#include <fstream>

namespace w3svc {

namespace {

constexpr char kFields[] = "#Fields: date time c-ip cs-method cs-uri-stem cs-uri-query sc-status sc-bytes cs(User-Agent)";

// W3C fields hold no blanks: '+' stands for a blank, '-' for an empty field.
std::string field(const std::string& text) {
  if (text.empty()) return "-";
  std::string out;
  for (char c : text) {
    if (c == ' ') {
      out += '+';
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
      out += '_';
    } else {
      out += c;
    }
  }
  return out;
}

// The filter's reload address ends in the machine's reload token, which would let anyone who
// reads the log make every site reload its settings.
std::string withoutReloadToken(const std::string& stem) {
  constexpr std::string_view kReload = "/rstval=";
  const std::size_t slash = stem.rfind('/');
  if (slash == std::string::npos || stem.size() - slash <= kReload.size()) return stem;
  for (std::size_t i = 0; i < kReload.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(stem[slash + i])) != kReload[i]) return stem;
  return stem.substr(0, slash + kReload.size()) + "-";
}

std::string stamp(std::time_t when, const char* format) {
  std::tm parts{};
  gmtime_r(&when, &parts);
  char text[32];
  std::strftime(text, sizeof(text), format, &parts);
  return text;
}

}  // namespace

void AccessLog::append(std::time_t when, const std::string& line) {
  std::lock_guard lock(mutex_);
  const std::string day = stamp(when, "%y%m%d");
  if (!file_.is_open() || day != file_day_) {
    file_.close();
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    // The log names every client and page: for the machine's owner only.
    std::filesystem::permissions(folder_, std::filesystem::perms::owner_all, ec);
    const std::filesystem::path file = folder_ / ("ex" + day + ".log");
    const bool fresh = !std::filesystem::exists(file, ec) || std::filesystem::file_size(file, ec) == 0;
    file_.clear();
    file_.open(file, std::ios::app | std::ios::binary);
    std::filesystem::permissions(file, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write, ec);
    file_day_ = day;
    if (fresh) {
      file_ << "#Software: W3SVC 5.0\r\n#Version: 1.0\r\n#Date: " << stamp(when, "%Y-%m-%d %H:%M:%S") << "\r\n"
            << kFields << "\r\n";
    }
  }
  // Each line reaches the file at once: readers (and a crash) see every finished request.
  file_ << line << "\r\n" << std::flush;
}

void AccessLog::write(const AccessRecord& record) {
  const std::string line = stamp(record.when, "%Y-%m-%d %H:%M:%S") + " " + field(record.clientIp) + " " +
                           field(record.method) + " " + field(withoutReloadToken(record.uriStem)) + " " + field(record.uriQuery) + " " +
                           std::to_string(record.status) + " " + std::to_string(record.bytesSent) + " " +
                           field(record.userAgent);
  append(record.when, line);
}

void AccessLog::remark(const std::string& text) {
  std::string line = "#Remark: ";
  for (char c : text) line += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
  append(std::time(nullptr), line);
}

}  // namespace w3svc
