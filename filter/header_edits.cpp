#include "filter/header_edits.h"

#include <cctype>

namespace filter {

std::size_t HeaderEnd(std::string_view header) {
  std::size_t at = header.find("\r\n\r\n");
  if (at != std::string_view::npos) return at + 4;
  at = header.find("\n\n");
  return at == std::string_view::npos ? std::string_view::npos : at + 2;
}

namespace {
// Where the blank line begins (the position of its first line end).
std::size_t blankLine(std::string_view header) {
  std::size_t at = header.find("\r\n\r\n");
  return at != std::string_view::npos ? at : header.find("\n\n");
}
}  // namespace

bool RemoveChunkedLine(std::string& header) {
  const std::size_t line = header.find("Transfer-Encoding: chunked");
  if (line == std::string::npos) return false;
  const std::size_t next = header.find("\r\n", line);
  header.erase(line, next == std::string::npos ? std::string::npos : next + 2 - line);
  return true;
}

bool SetContentLength(std::string& header, std::size_t length) {
  const std::string line = "Content-Length: " + std::to_string(length);
  const std::size_t existing = header.find("Content-Length");
  if (existing != std::string::npos) {
    const std::size_t end = header.find("\r\n", existing);
    if (end == std::string::npos) return false;
    header.replace(existing, end - existing, line);
    return true;
  }
  const std::size_t blank = blankLine(header);
  if (blank == std::string::npos) return false;
  header.resize(blank);
  header += "\r\n" + line + "\r\n\r\n";
  return true;
}

void AddEncodingLines(std::string& header, std::string_view coding) {
  const std::size_t blank = blankLine(header);
  if (blank == std::string::npos) return;
  header.resize(blank);
  header += "\r\nContent-Encoding: ";
  header += coding;
  header += "\r\nVary: Accept-Encoding\r\n\r\n";
}

void WeakenETag(std::string& header) {
  for (std::size_t line = 0; line < header.size();) {
    const std::size_t end = header.find('\n', line);
    const std::size_t lineEnd = end == std::string::npos ? header.size() : end;
    if (lineEnd - line > 5) {
      bool isETag = true;
      for (std::size_t i = 0; i < 5; ++i)
        isETag &= std::tolower(static_cast<unsigned char>(header[line + i])) == "etag:"[i];
      if (isETag) {
        std::size_t value = line + 5;
        while (value < lineEnd && header[value] == ' ') ++value;
        if (value < lineEnd && header[value] == '"') header.insert(value, "W/");
        return;
      }
    }
    if (end == std::string::npos) return;
    line = end + 1;
  }
}

std::string_view HeaderValue(std::string_view header, std::string_view name) {
  const std::size_t at = header.find(name);
  if (at == std::string_view::npos) return {};
  const std::size_t from = at + name.size();
  std::size_t end = header.find('\n', from);
  if (end == std::string_view::npos) end = header.size();
  if (end > from && header[end - 1] == '\r') --end;
  return header.substr(from, end - from);
}

}  // namespace filter
