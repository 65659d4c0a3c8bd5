#include "w3svc/url_canon.h"

#include "platform/text/ascii_case.h"

#include <vector>

namespace w3svc {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

CanonicalUrl refused() { return CanonicalUrl{400, "", ""}; }

}  // namespace

CanonicalUrl canonicalizeUrl(std::string_view target) {
  CanonicalUrl url;
  const std::size_t question = target.find('?');
  if (question != std::string_view::npos) {
    url.query = std::string(target.substr(question + 1));
    target = target.substr(0, question);
  }
  target = originFormTarget(target);
  if (target.empty() || target.front() != '/') return refused();
  for (char c : url.query)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return refused();

  std::string decoded;
  decoded.reserve(target.size());
  for (std::size_t i = 0; i < target.size(); ++i) {
    char c = target[i];
    if (c == '%') {
      if (i + 2 >= target.size()) return refused();
      const int high = hexValue(target[i + 1]);
      const int low = hexValue(target[i + 2]);
      if (high < 0 || low < 0) return refused();
      c = static_cast<char>(high * 16 + low);
      i += 2;
    }
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return refused();
    decoded += c == '\\' ? '/' : c;
  }

  std::vector<std::string_view> parts;
  const std::string_view text(decoded);
  std::size_t start = 1;
  while (start <= text.size()) {
    std::size_t slash = text.find('/', start);
    if (slash == std::string_view::npos) slash = text.size();
    const std::string_view part = text.substr(start, slash - start);
    if (part == "..") {
      if (parts.empty()) return refused();  // above the home directory
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  const char last = decoded.back();
  const bool folder = last == '/' || decoded.ends_with("/.") || decoded.ends_with("/..");
  url.path = "/";
  for (std::size_t i = 0; i < parts.size(); ++i) {
    url.path += parts[i];
    if (i + 1 < parts.size() || folder) url.path += '/';
  }
  return url;
}

std::optional<std::string_view> absoluteFormAuthority(std::string_view target) {
  if (target.size() < 7 || !platform::text::equalsNoCase(target.substr(0, 7), "http://")) return std::nullopt;
  const std::string_view rest = target.substr(7);
  return rest.substr(0, rest.find_first_of("/?#"));
}

std::string_view originFormTarget(std::string_view target) {
  const auto authority = absoluteFormAuthority(target);
  if (!authority) return target;
  const std::string_view rest = target.substr(7 + authority->size());
  return rest.empty() ? std::string_view("/") : rest;
}

std::string encodePath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9') ||
                       std::string_view("-._~!$&'()*+,;=:@/").find(c) != std::string_view::npos;
    if (plain) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

}  // namespace w3svc
