#pragma once
// The request target made safe before anyone sees it: percent-decoded once, '\' read as
// '/', "." and ".." resolved without leaving the home directory, repeated slashes folded;
// NUL and other control characters refused. The query is kept as sent.

#include <string>
#include <string_view>

namespace w3svc {

struct CanonicalUrl {
  unsigned status = 0;  // 0 when valid, else the status to answer (400)
  std::string path;     // "/", "/folder/", "/folder/page.htm"
  std::string query;    // what followed '?', undecoded
};

CanonicalUrl canonicalizeUrl(std::string_view target);

// A decoded path as a URL carries it again: every byte that is not plain in a path ('%',
// '?', '#', blanks, controls, bytes past ASCII and the like) percent-encoded, so that a
// link to it names the same file.
std::string encodePath(std::string_view path);

}  // namespace w3svc
