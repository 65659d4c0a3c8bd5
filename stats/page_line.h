#pragma once
// One line of "pagestat.txt": a compressed response's URL, its three sizes and the optional
// columns the site's report mask asks for ("%P", "%M", "%Z", "%G", "%D").

#include <optional>
#include <string>
#include <string_view>

namespace stats {

// What is logged of one response.
struct LoggedResponse {
  std::string url;
  long long unoptimizedSize = 0;  // 0 when the optimizer did not run
  long long bodyLength = 0;       // handed to the compressor
  long long sentLength = 0;       // compressed, as sent
  int acceptedEncoding = 0;       // 1 gzip, 2 deflate only
  bool servedFromCache = false;
  std::string contentType;
  bool unchanged = false;  // written back as captured (refused or failed): counts as uncompressed
};

struct PageLine {
  std::string url;
  long long originalSize = 0;
  long long optimizedSize = 0;
  long long compressedSize = 0;
  double percentSaved = 0;
  std::string mimeType;
  long long cacheHit = 0;
  long long gzipHit = 0;
  long long deflateHit = 0;
};

// A code such as "%M" counts as present when the mask holds it anywhere.
bool maskHas(std::string_view mask, std::string_view code);

// The line with its "\r\n". Commas and line ends cannot be part of a field: in the URL a ','
// becomes ';' and a '\' becomes '/', in the MIME type a ',' becomes ';', and line ends
// become blanks in both. The URL and the MIME type are cut (511 and 255 characters) so that
// a line always fits the report's reader.
std::string formatPageLine(const LoggedResponse& response, std::string_view mask);

// Reads a line (without its line end) by position with the current mask; nullopt for a
// line that lacks the URL, a size or a column the mask asks for.
std::optional<PageLine> parsePageLine(std::string_view line, std::string_view mask);

}  // namespace stats
