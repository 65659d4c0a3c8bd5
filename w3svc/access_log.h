#pragma once
// The W3C extended log of one site, a file a day in <root>/logs/W3SVC<n>/exYYMMDD.log, with
// the byte count the filters left in SF_NOTIFY_LOG. Safe for several threads.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <shared_mutex>
#include <string>
#include <string_view>

namespace w3svc {

// Views of the request's own text: a record lives only for the write.
struct AccessRecord {
  std::time_t when = 0;
  std::string_view clientIp;
  std::string_view method;
  std::string_view uriStem;
  std::string_view uriQuery;
  unsigned status = 0;
  std::uint64_t bytesSent = 0;
  std::string_view userAgent;
};

class AccessLog {
 public:
  explicit AccessLog(std::filesystem::path folder) : folder_(std::move(folder)) {}
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;
  ~AccessLog();
  void write(const AccessRecord& record);
  // A "#Remark:" line, for what the server has to say about the site (filters not loaded).
  void remark(const std::string& text);

 private:
  // Adds the line end and writes the line whole.
  void append(std::time_t when, std::string& line);
  // With mutex_ held alone: the day's file, opened for appending, with its heading if new.
  void openDay(std::string_view day, const char* stamp);

  std::filesystem::path folder_;
  // Threads writing lines share it: each line is one write to a file opened for appending,
  // which the system puts at the end whole, so lines never wait for each other. Only the
  // change to a new day's file holds it alone.
  std::shared_mutex mutex_;
  int fd_ = -1;
  std::string file_day_;
};

}  // namespace w3svc
