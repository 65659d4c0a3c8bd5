#pragma once
// Decodes gzip data with the system's gzip program: a reader independent of the zlib calls
// under test.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace testing_support {

inline std::optional<std::string> gunzipWithSystemTool(const std::vector<std::uint8_t>& data) {
  char in[] = "/tmp/tamsic-gz-XXXXXX";
  int fd = mkstemp(in);
  if (fd < 0) return std::nullopt;
  if (!data.empty() && write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
    close(fd);
    return std::nullopt;
  }
  close(fd);
  const std::string out = std::string(in) + ".out";
  const std::string command = "gzip -dc < '" + std::string(in) + "' > '" + out + "' 2>/dev/null";
  const int rc = std::system(command.c_str());
  std::ifstream f(out, std::ios::binary);
  std::stringstream text;
  text << f.rdbuf();
  std::remove(in);
  std::remove(out.c_str());
  if (rc != 0) return std::nullopt;
  return text.str();
}

}  // namespace testing_support
