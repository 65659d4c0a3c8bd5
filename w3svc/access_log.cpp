#include "w3svc/access_log.h"

#include <cstdio>
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
    const std::filesystem::path file = folder_ / ("ex" + day + ".log");
    const bool fresh = !std::filesystem::exists(file, ec) || std::filesystem::file_size(file, ec) == 0;
    file_.clear();
    file_.open(file, std::ios::app | std::ios::binary);
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
                           field(record.method) + " " + field(record.uriStem) + " " + field(record.uriQuery) + " " +
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
