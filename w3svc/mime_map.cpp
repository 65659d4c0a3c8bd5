#include "w3svc/mime_map.h"
#include "platform/text/ascii_case.h"

#include <cctype>

namespace w3svc {


MimeMap MimeMap::withDefaults() {
  MimeMap map;
  map.types_ = {
      {".htm", "text/html"},           {".html", "text/html"},
      {".stm", "text/html"},           {".asp", "text/html"},
      {".css", "text/css"},            {".txt", "text/plain"},
      {".text", "text/plain"},         {".xml", "text/xml"},
      {".xsl", "text/xml"},            {".csv", "text/csv"},
      {".js", "application/x-javascript"},
      {".json", "application/json"},   {".rtf", "application/rtf"},
      {".pdf", "application/pdf"},     {".doc", "application/msword"},
      {".xls", "application/vnd.ms-excel"},
      {".zip", "application/x-zip-compressed"},
      {".gz", "application/x-gzip"},   {".tgz", "application/x-compressed"},
      {".exe", "application/octet-stream"},
      {".gif", "image/gif"},           {".jpg", "image/jpeg"},
      {".jpeg", "image/jpeg"},         {".jpe", "image/jpeg"},
      {".png", "image/png"},           {".bmp", "image/bmp"},
      {".ico", "image/x-icon"},        {".svg", "image/svg+xml"},
      {".tif", "image/tiff"},          {".tiff", "image/tiff"},
      {".wav", "audio/wav"},           {".mp3", "audio/mpeg"},
      {".mid", "audio/mid"},           {".avi", "video/x-msvideo"},
      {".mpg", "video/mpeg"},          {".mpeg", "video/mpeg"},
      {".mov", "video/quicktime"},     {".swf", "application/x-shockwave-flash"},
  };
  return map;
}

void MimeMap::apply(const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    const std::size_t comma = entry.find(',');
    if (comma == std::string::npos || comma < 2 || entry[0] != '.' || comma + 1 == entry.size()) continue;
    types_[platform::text::lowered(std::string_view(entry).substr(0, comma))] = entry.substr(comma + 1);
  }
}

std::string MimeMap::typeOf(std::string_view fileName) const {
  const std::size_t dot = fileName.rfind('.');
  const std::size_t slash = fileName.find_last_of("/\\");
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    if (auto it = types_.find(platform::text::lowered(fileName.substr(dot))); it != types_.end()) return it->second;
  }
  return "application/octet-stream";
}

}  // namespace w3svc
