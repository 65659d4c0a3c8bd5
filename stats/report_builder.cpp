#include "stats/report_builder.h"

#include <cstdio>
#include <vector>

#include "platform/fs/file_api.h"
#include "platform/fs/whole_file.h"
#include "stats/page_line.h"
#include "stats/statistics_log.h"

namespace stats {

namespace {

// The line length the report reads with (what fgets takes into a 1024-byte buffer); a
// longer line goes on as the next one.
constexpr std::size_t kMaxLine = 1023;

std::string folderFile(std::string_view folder, const char* name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path + name;
}

std::optional<std::string> readWhole(const std::string& windowsPath) {
  auto in = platform::fs::openFile(windowsPath, "rb");
  if (!in) return std::nullopt;
  std::string text;
  char buffer[65536];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof(buffer), in.get())) > 0) text.append(buffer, got);
  return text;
}

std::string htmlText(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

// A single-quoted JavaScript string inside a double-quoted javascript: link. The quote is
// escaped with a back-slash, and nothing is left that the attribute or the link's own
// %-decoding could turn into markup or a closing quote.
std::string scriptString(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\'': out += "\\'"; break;
      case '\\': out += "\\\\"; break;
      case '"': out += "\\x22"; break;
      case '<': out += "\\x3c"; break;
      case '>': out += "\\x3e"; break;
      case '&': out += "\\x26"; break;
      case '%': out += "\\x25"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += c;
    }
  }
  return out;
}

std::vector<std::string_view> urlComponents(std::string_view url) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= url.size()) {
    std::size_t slash = url.find('/', start);
    if (slash == std::string_view::npos) slash = url.size();
    if (slash > start) parts.push_back(url.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

}  // namespace

Statistics readStatistics(std::string_view logFolder, std::string_view mask) {
  Statistics s;
  if (const auto site = readSiteStat(folderFile(logFolder, kSiteStatFile))) {
    s.totals.totalUBS = site->bytes;
    s.totals.totalUR = static_cast<unsigned>(site->count);
  }
  SiteTotals& t = s.totals;
  t.totalBR = t.totalUBS;
  // Line by line: the memory used grows with the number of pages, not with the file.
  if (auto in = platform::fs::openFile(folderFile(logFolder, kPageStatFile), "rb")) {
    char buffer[kMaxLine + 1];
    while (std::fgets(buffer, sizeof(buffer), in.get())) {
      std::string_view line(buffer);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
      const auto page = parsePageLine(line, mask);
      if (!page) break;
      t.totalBR += static_cast<double>(page->originalSize);
      t.totalCBS += static_cast<double>(page->compressedSize);
      t.totalCR += 1;
      if (page->cacheHit != 0) t.totalC += 1;
      auto [it, inserted] = s.pages.try_emplace(page->url);
      PageEntry& entry = it->second;
      if (inserted) {
        entry.mimeType = page->mimeType;
        entry.originalSize = page->originalSize;
        entry.optimizedSize = page->optimizedSize;
        entry.compressedSize = page->compressedSize;
        entry.percentSaved = page->percentSaved;
      }
      entry.hits += 1;
      if (page->cacheHit != 0) entry.cacheHits += 1;
      if (page->gzipHit == 1) entry.gzipHits += 1;
      if (page->deflateHit == 1) entry.deflateHits += 1;
    }
  }
  t.totalBS = t.totalUBS + t.totalCBS;
  t.totalS = t.totalBR - t.totalBS;
  t.totalR = t.totalUR + t.totalCR;
  return s;
}

std::string siteBlock(const SiteTotals& t) {
  // Written whole whatever the figures: a cut block would lose its "</SCRIPT>" and turn the
  // rest of the page into script (a total read from a file can hold 300 digits).
  auto print = [&](char* text, std::size_t size) {
    return std::snprintf(text, size,
                         "<SCRIPT>totalBR=%.0f;\r\ntotalBS=%.0f;\r\ntotalCBS=%.0f;\r\ntotalUBS=%.0f;\r\ntotalS=%.0f;\r\n"
                         "totalR=%u;\r\ntotalCR=%u;\r\ntotalUR=%u;\r\ntotalC=%u;\r\nshowpage();</SCRIPT>",
                         t.totalBR, t.totalBS, t.totalCBS, t.totalUBS, t.totalS, t.totalR, t.totalCR, t.totalUR, t.totalC);
  };
  const int length = print(nullptr, 0);
  if (length < 0) return {};
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  print(text.data(), text.size());
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string pageTree(const Statistics& statistics, std::string_view mask) {
  std::string tree;
  std::vector<std::string> open;  // the folders whose lists are open, outermost first
  for (const auto& [url, page] : statistics.pages) {
    if (url.find('.') == std::string::npos) continue;
    std::vector<std::string_view> parts = urlComponents(url);
    if (parts.empty()) continue;
    const std::string_view file = parts.back();
    parts.pop_back();
    std::size_t shared = 0;
    while (shared < open.size() && shared < parts.size() && open[shared] == parts[shared]) ++shared;
    while (open.size() > shared) {
      tree += "</ul>";
      open.pop_back();
    }
    for (std::size_t i = shared; i < parts.size(); ++i) {
      tree += "<li id=\"foldheader\">" + htmlText(parts[i]) +
              "</li>\r\n<ul id=\"foldinglist\" style=\"display:none\">\r\n";
      open.emplace_back(parts[i]);
    }
    auto number = [&](const char* code, long long value) {
      tree += maskHas(mask, code) ? "," + std::to_string(value) : std::string(",-1");
    };
    tree += "<li><a href=\"javascript:showstats('" + scriptString(url) + "'";
    number("%H", page.hits);
    number("%O", page.originalSize);
    number("%W", page.optimizedSize);
    number("%C", page.compressedSize);
    if (maskHas(mask, "%P")) {
      char percent[64];
      std::snprintf(percent, sizeof(percent), ",%.2f", page.percentSaved);
      tree += percent;
    } else {
      tree += ",-1";
    }
    tree += maskHas(mask, "%M") ? ",'" + scriptString(page.mimeType) + "'" : std::string(",'-1'");
    number("%L", 0);
    number("%Z", page.cacheHits);
    number("%G", page.gzipHits);
    number("%D", page.deflateHits);
    tree += ")\">" + htmlText(file) + "</a></li>\r\n";
  }
  while (!open.empty()) {
    tree += "</ul>";
    open.pop_back();
  }
  return tree;
}

std::optional<std::string> buildReport(std::string_view reportMask, std::string_view logFolder,
                                       std::string_view rootPath) {
  const std::string reportFolder = std::string(rootPath) + "\\tamsicreport";
  const auto templateText = readWhole(reportFolder + "\\" + kTemplateFile);
  if (!templateText) return std::nullopt;
  const std::size_t siteMarker = templateText->find("[sitestats]");
  if (siteMarker == std::string::npos) return std::nullopt;
  const Statistics statistics = readStatistics(logFolder, reportMask);
  const std::string withTotals = templateText->substr(0, siteMarker) + siteBlock(statistics.totals) +
                                 templateText->substr(siteMarker + 11);
  const std::size_t pageMarker = withTotals.find("[pagestats]");
  if (pageMarker == std::string::npos) return std::nullopt;
  std::string report = withTotals.substr(0, pageMarker) + pageTree(statistics, reportMask) +
                       withTotals.substr(pageMarker + 11);
  // Replaced whole: a request reading the report while another rebuilds it sees the old
  // report or the new one.
  if (!platform::fs::replaceFileWhole(reportFolder + "\\" + kReportFile, report)) return std::nullopt;
  return report;
}

}  // namespace stats
