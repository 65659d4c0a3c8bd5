#pragma once
// Edits of a raw response header held as text up to and with its blank line. Fields are
// found by their whole name at the start of a line, without regard to case, as HTTP
// names them: a value that mentions another field's name is never taken for that field.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace filter {

// Where the header's blank line ends ("\r\n\r\n", else "\n\n"), or npos.
std::size_t HeaderEnd(std::string_view header);

// One field line: [start, end) covers the line with its line end.
struct FieldLine {
  std::size_t start = 0;
  std::size_t end = 0;
  std::string_view value;  // without leading and trailing blanks and the line end
};

// The first field called name (without its colon) at or after from; the status line is
// never a field.
std::optional<FieldLine> FindField(std::string_view header, std::string_view name, std::size_t from = 0);

// The value of the first field called name, or nullopt.
std::optional<std::string_view> FieldValue(std::string_view header, std::string_view name);

// Where a field line lies: [start, end) with its line end, [start, textEnd) without.
struct FieldSpan {
  std::size_t start = 0;
  std::size_t end = 0;
  std::size_t textEnd = 0;
};

// The field lines of a header, found in one pass, for a decision that asks about many
// fields before anything is edited: each question then compares names only. It holds
// views of the header, which must not change while the index is used.
class FieldIndex {
 public:
  explicit FieldIndex(std::string_view header);
  // As FindField and FieldValue answer for the header.
  std::optional<FieldLine> find(std::string_view name, std::size_t from = 0) const;
  std::optional<std::string_view> value(std::string_view name) const;

 private:
  std::string_view header_;
  std::array<FieldSpan, 48> spans_{};
  std::size_t count_ = 0;
  bool overflow_ = false;  // more lines than spans_ holds: questions scan the header
};

// Removes every field called name; where the first one was, or npos.
std::size_t RemoveField(std::string& header, std::string_view name);

// A response meant for one user: it sets a cookie, or its Cache-Control says "private" or
// "no-store".
bool PrivateResponse(const FieldIndex& fields);

// The text without the spaces and tabs around it.
std::string_view TrimBlanks(std::string_view text);

// A response whose Vary names more than Accept-Encoding (or is "*"): it differs by request
// in ways a copy kept by URL cannot tell apart.
bool VariesBeyondEncoding(const FieldIndex& fields);

// Removes a "Transfer-Encoding: chunked" field (value compared without case). True when
// it was there.
bool RemoveChunkedLine(std::string& header);
// Puts "Transfer-Encoding: chunked" back as the header's last line: for captured bytes that
// go out in their chunked framing after all.
void RestoreChunkedLine(std::string& header);

// Leaves exactly one "Content-Length: <length>" line: in place of the first length field,
// or as the last header line. False when the header has no blank line to add it before.
bool SetContentLength(std::string& header, std::size_t length);

// Adds "Content-Encoding: <coding>" and "Vary: Accept-Encoding" as the last lines (the Vary
// line only when no Vary line names Accept-Encoding or "*" already); what followed the
// blank line is dropped.
void AddEncodingLines(std::string& header, std::string_view coding);
// Adds "Vary: Accept-Encoding" as the last line unless a Vary line names it or "*" already:
// the plain variant of an answer others get compressed.
void AddVaryLine(std::string& header);

// A strong ETag names the bytes as the server had them: once the body is changed it
// becomes weak ("W/" in front), as other compressing servers do.
void WeakenETag(std::string& header);

// The write time (FILETIME ticks) a server's entity tag for a file names: the hexadecimal
// before the ':' of "1dd872a1b74d280:aa8", weak or strong. None for a tag of another form.
std::optional<std::uint64_t> ETagWriteTime(std::string_view header);

}  // namespace filter
