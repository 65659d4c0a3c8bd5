#pragma once
// File extension -> Content-Type, as the web server's MIME map: the common types of a fresh
// IIS installation, overridden or extended by the metabase's MimeMap entries (".ext,type").

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace w3svc {

class MimeMap {
 public:
  static MimeMap withDefaults();
  // Entries ".ext,type"; a malformed entry is skipped.
  void apply(const std::vector<std::string>& entries);
  // The type for a file name by its last extension; "application/octet-stream" when unknown.
  std::string typeOf(std::string_view fileName) const;

 private:
  std::map<std::string, std::string> types_;  // lower-case extension with its dot
};

}  // namespace w3svc
