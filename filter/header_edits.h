#pragma once
// Edits of a raw response header held as text up to and with its blank line.

#include <cstddef>
#include <string>
#include <string_view>

namespace filter {

// Where the header's blank line ends ("\r\n\r\n", else "\n\n"), or npos.
std::size_t HeaderEnd(std::string_view header);

// Removes the "Transfer-Encoding: chunked" line with its line end. True when it was there.
bool RemoveChunkedLine(std::string& header);

// Replaces the "Content-Length" line in place, or adds one as the last header line.
// False when the header has no blank line to add it before.
bool SetContentLength(std::string& header, std::size_t length);

// Adds "Content-Encoding: <coding>" and "Vary: Accept-Encoding" as the last lines; what
// followed the blank line is dropped.
void AddEncodingLines(std::string& header, std::string_view coding);

// A strong ETag names the bytes as the server had them: once the body is changed it
// becomes weak ("W/" in front), as other compressing servers do.
void WeakenETag(std::string& header);

// The value of the first line starting with name (case-sensitive, name includes ": "),
// up to its line end; nullopt when there is none.
std::string_view HeaderValue(std::string_view header, std::string_view name);

}  // namespace filter
