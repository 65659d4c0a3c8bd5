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

}  // namespace w3svc
