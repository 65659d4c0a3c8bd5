#pragma once
// The request target made safe before anyone sees it: percent-decoded once, '\' read as
// '/', "." and ".." resolved without leaving the home directory, repeated slashes folded;
// NUL and other control characters refused. The query is kept as sent.

#include <optional>
#include <string>
#include <string_view>

namespace w3svc {

struct CanonicalUrl {
  unsigned status = 0;  // 0 when valid, else the status to answer (400)
  std::string path;     // "/", "/folder/", "/folder/page.htm"
  std::string query;    // what followed '?', undecoded
};

CanonicalUrl canonicalizeUrl(std::string_view target);

// The authority of an absolute-form target ("http://host:port/path" -> "host:port"), which
// names the host in place of the Host field; nullopt for any other target.
std::optional<std::string_view> absoluteFormAuthority(std::string_view target);

// The target as an origin server reads it: an absolute form's path and query without its
// scheme and authority ("http://h/p?q" -> "/p?q"), "/" when it names none; others as they are.
std::string_view originFormTarget(std::string_view target);

// A decoded path as a URL carries it again: every byte that is not plain in a path ('%',
// '?', '#', blanks, controls, bytes past ASCII and the like) percent-encoded, so that a
// link to it names the same file.
std::string encodePath(std::string_view path);

}  // namespace w3svc
