#include "filter/header_edits.h"
#include "platform/text/ascii_case.h"

#include <cctype>
#include <charconv>
#include <system_error>


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

bool blank(char c) { return c == ' ' || c == '\t'; }

// The first field line: the status line is no field.
std::size_t firstFieldStart(std::string_view header) {
  const std::size_t newline = header.find('\n');
  return newline == std::string_view::npos ? header.size() : newline + 1;
}

// The field line that starts at start; nullopt at the blank line or the header's end.
std::optional<FieldSpan> fieldLineAt(std::string_view header, std::size_t start) {
  if (start >= header.size()) return std::nullopt;
  const std::size_t newline = header.find('\n', start);
  FieldSpan line{start, newline == std::string_view::npos ? header.size() : newline + 1,
                newline == std::string_view::npos ? header.size() : newline};
  if (line.textEnd > start && header[line.textEnd - 1] == '\r') --line.textEnd;
  if (line.textEnd == start) return std::nullopt;
  return line;
}

std::optional<FieldLine> fieldNamed(std::string_view header, const FieldSpan& line, std::string_view name) {
  const std::string_view text = header.substr(line.start, line.textEnd - line.start);
  if (text.size() <= name.size() || text[name.size()] != ':' ||
      !platform::text::equalsNoCase(text.substr(0, name.size()), name))
    return std::nullopt;
  return FieldLine{line.start, line.end, TrimBlanks(text.substr(name.size() + 1))};
}

// As FindField, walking from a line known to start a field (or the blank line).
std::optional<FieldLine> findFromLine(std::string_view header, std::string_view name, std::size_t lineStart) {
  for (auto line = fieldLineAt(header, lineStart); line; line = fieldLineAt(header, line->end))
    if (auto field = fieldNamed(header, *line, name)) return field;
  return std::nullopt;
}

// Whether a name of the "Vary" lines (comma lists, blanks around the names) passes test.
template <class Test>
bool anyVaryName(const FieldIndex& fields, Test test) {
  for (std::size_t from = 0; const auto field = fields.find("Vary", from);) {
    from = field->end;
    std::string_view rest = field->value;
    while (!rest.empty()) {
      const std::size_t comma = rest.find(',');
      if (test(TrimBlanks(rest.substr(0, comma)))) return true;
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
  }
  return false;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

std::optional<FieldLine> FindField(std::string_view header, std::string_view name, std::size_t from) {
  for (auto line = fieldLineAt(header, firstFieldStart(header)); line; line = fieldLineAt(header, line->end)) {
    if (line->start < from) continue;
    if (auto field = fieldNamed(header, *line, name)) return field;
  }
  return std::nullopt;
}

std::optional<std::string_view> FieldValue(std::string_view header, std::string_view name) {
  const auto field = FindField(header, name);
  if (!field) return std::nullopt;
  return field->value;
}

FieldIndex::FieldIndex(std::string_view header) : header_(header) {
  for (auto line = fieldLineAt(header, firstFieldStart(header)); line; line = fieldLineAt(header, line->end)) {
    if (count_ == spans_.size()) {
      overflow_ = true;
      return;
    }
    spans_[count_++] = *line;
  }
}

std::optional<FieldLine> FieldIndex::find(std::string_view name, std::size_t from) const {
  if (overflow_) return FindField(header_, name, from);
  for (std::size_t i = 0; i < count_; ++i) {
    if (spans_[i].start < from) continue;
    if (auto field = fieldNamed(header_, spans_[i], name)) return field;
  }
  return std::nullopt;
}

std::optional<std::string_view> FieldIndex::value(std::string_view name) const {
  const auto field = find(name);
  if (!field) return std::nullopt;
  return field->value;
}

std::size_t RemoveField(std::string& header, std::string_view name) {
  auto field = FindField(header, name);
  if (!field) return std::string::npos;
  const std::size_t first = field->start;
  // The lines before the one removed were looked at already: the search goes on from the
  // line that takes its place.
  while (field) {
    const std::size_t at = field->start;
    header.erase(at, field->end - at);
    field = findFromLine(header, name, at);
  }
  return first;
}

bool PrivateResponse(const FieldIndex& fields) {
  if (fields.find("Set-Cookie")) return true;
  for (std::size_t from = 0; const auto field = fields.find("Cache-Control", from);) {
    std::string value(field->value);
    platform::text::lowerInPlace(value);
    if (value.find("private") != std::string::npos || value.find("no-store") != std::string::npos) return true;
    from = field->end;
  }
  return false;
}

bool VariesBeyondEncoding(const FieldIndex& fields) {
  return anyVaryName(fields, [](std::string_view name) {
    return !name.empty() && !platform::text::equalsNoCase(name, "Accept-Encoding");
  });
}

bool RemoveChunkedLine(std::string& header) {
  for (std::size_t from = 0; const auto field = FindField(header, "Transfer-Encoding", from);) {
    if (platform::text::equalsNoCase(field->value, "chunked")) {
      header.erase(field->start, field->end - field->start);
      return true;
    }
    from = field->end;
  }
  return false;
}

void RestoreChunkedLine(std::string& header) {
  const std::size_t end = HeaderEnd(header);
  if (end == std::string::npos) return;
  const std::size_t blankStart = header.compare(end - 4, 4, "\r\n\r\n") == 0 ? end - 2 : end - 1;
  header.insert(blankStart, "Transfer-Encoding: chunked\r\n");
}

bool SetContentLength(std::string& header, std::size_t length) {
  const std::string line = "Content-Length: " + std::to_string(length) + "\r\n";
  if (blankLine(header) == std::string::npos) return false;
  const std::size_t first = RemoveField(header, "Content-Length");
  if (first != std::string::npos) {
    header.insert(first, line);
    return true;
  }
  header.resize(blankLine(header));
  header += "\r\n" + line + "\r\n";
  return true;
}

namespace {

// Whether a Vary line names Accept-Encoding, or "*", which covers every field already.
bool variesByEncoding(const std::string& header) {
  return anyVaryName(FieldIndex(header), [](std::string_view name) {
    return name == "*" || platform::text::equalsNoCase(name, "Accept-Encoding");
  });
}

}  // namespace

void AddVaryLine(std::string& header) {
  const std::size_t at = blankLine(header);
  if (at == std::string::npos || variesByEncoding(header)) return;
  header.resize(at);
  header += "\r\nVary: Accept-Encoding\r\n\r\n";
}

void AddEncodingLines(std::string& header, std::string_view coding) {
  const std::size_t at = blankLine(header);
  if (at == std::string::npos) return;
  const bool varies = variesByEncoding(header);
  header.resize(at);
  header += "\r\nContent-Encoding: ";
  header += coding;
  header += varies ? "\r\n\r\n" : "\r\nVary: Accept-Encoding\r\n\r\n";
}

std::optional<std::uint64_t> ETagWriteTime(std::string_view header) {
  auto value = FieldValue(header, "ETag");
  if (!value) return std::nullopt;
  std::string_view tag = *value;
  if (tag.starts_with("W/")) tag.remove_prefix(2);
  if (!tag.starts_with('"')) return std::nullopt;
  tag.remove_prefix(1);
  std::uint64_t ticks = 0;
  const char* end = tag.data() + tag.size();
  const auto [at, error] = std::from_chars(tag.data(), end, ticks, 16);
  if (error != std::errc() || at == tag.data() || at == end || *at != ':') return std::nullopt;
  return ticks;
}

void WeakenETag(std::string& header) {
  const auto field = FindField(header, "ETag");
  if (!field || field->value.empty() || field->value.front() != '"') return;
  header.insert(static_cast<std::size_t>(field->value.data() - header.data()), "W/");
}

}  // namespace filter
