#include "settings/default_tables.h"

#include <new>

namespace settings {

namespace {

// The application sub-types the Netscape and Opera rules exclude from compression.
constexpr std::string_view kBrowserApplicationSubTypes[] = {
    "msword", "postscript", "vnd.ms-excel", "vnd.ms-powerpoint", "vnd.ms-works", "x-javascript", "x-msaccess"};

void addApplicationExclusions(std::vector<MimeRule>& rules) {
  appendMimeRule(rules, "application", 0, 0);
  for (std::string_view sub : kBrowserApplicationSubTypes) appendMimeSubType(rules, "application", sub, 0, 0);
}

// The two Netscape 4 rules: no application types, no bitmaps, and only html, plain and
// xml text compressed (their CSS and script handling of gzip was unreliable).
std::vector<MimeRule> netscape4Rules() {
  std::vector<MimeRule> rules;
  addApplicationExclusions(rules);
  appendMimeRule(rules, "image", 0, 0);
  appendMimeSubType(rules, "image", "bmp", 0, 0);
  appendMimeRule(rules, "text", 0, 0);
  for (std::string_view sub : {"html", "plain", "xml"}) appendMimeSubType(rules, "text", sub, 1, 9);
  return rules;
}

// Internet Explorer 5 and 6: all text but CSS.
std::vector<MimeRule> explorerRules() {
  std::vector<MimeRule> rules;
  appendMimeRule(rules, "text", 1, 9);
  appendMimeSubType(rules, "text", "css", 0, 0);
  return rules;
}

BrowserRule browser(std::string_view name, std::string_view term, std::vector<MimeRule> rules) {
  BrowserRule rule;
  rule.DisplayName = name;
  rule.SearchTerm = term;
  rule.MimeRules = std::move(rules);
  return rule;
}

}  // namespace

bool appendMimeRule(std::vector<MimeRule>& rules, std::string_view name, int compress, int level) try {
  MimeRule rule;
  rule.Name = name.substr(0, kMimeNameChars);
  rule.Compress = compress;
  rule.Level = level;
  rules.push_back(std::move(rule));
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

bool appendMimeSubType(std::vector<MimeRule>& rules, std::string_view type, std::string_view name,
                       int compress, int level) try {
  for (MimeRule& top : rules) {
    if (top.Name.str() != type) continue;
    MimeRule sub;
    sub.Name = name.substr(0, kMimeNameChars);
    sub.Compress = compress;
    sub.Level = level;
    top.SubTypes.push_back(std::move(sub));
    return true;
  }
  return true;
} catch (const std::bad_alloc&) {
  return false;
}

std::optional<std::vector<ExtensionRule>> buildDefaultExtensionTable() try {
  // Script pages get the fastest level, static files the best.
  return std::vector<ExtensionRule>{
      {".asp", 1}, {".cgi", 1}, {".php", 1}, {".pl", 1},   {".cfm", 1}, {".css", 9}, {".htm", 9},
      {".html", 9}, {".js", 9}, {".mdb", 9}, {".txt", 9}, {".xml", 9}, {".xsl", 9}, {".bmp", 9}};
} catch (const std::bad_alloc&) {
  return std::nullopt;
}

std::optional<std::vector<ExtensionRule>> buildDefaultCacheList() try {
  return std::vector<ExtensionRule>{{".htm", 9}, {".html", 9}, {".txt", 9}, {".xml", 9}};
} catch (const std::bad_alloc&) {
  return std::nullopt;
}

std::optional<std::vector<MimeRule>> buildDefaultMimeTable() try {
  std::vector<MimeRule> rules;
  bool ok = appendMimeRule(rules, "text", 1, 9);
  ok &= appendMimeRule(rules, "application", 0, 0);
  for (std::string_view sub : {"msword", "postscript", "vnd.ms-excel", "vnd.ms-powerpoint", "vnd.ms-works", "x-msaccess"})
    ok &= appendMimeSubType(rules, "application", sub, 1, 9);
  ok &= appendMimeRule(rules, "audio", 0, 0);
  ok &= appendMimeSubType(rules, "audio", "wav", 1, 9);
  ok &= appendMimeRule(rules, "image", 0, 0);
  ok &= appendMimeSubType(rules, "image", "bmp", 1, 9);
  ok &= appendMimeRule(rules, "message", 0, 0);
  ok &= appendMimeSubType(rules, "message", "rfc822", 1, 9);
  if (!ok) return std::nullopt;
  return rules;
} catch (const std::bad_alloc&) {
  return std::nullopt;
}

std::optional<std::vector<BrowserRule>> buildDefaultBrowserTable() try {
  std::vector<MimeRule> ie4;
  appendMimeRule(ie4, "text", 0, 0);
  for (std::string_view sub : {"html", "plain", "xml"}) appendMimeSubType(ie4, "text", sub, 1, 9);
  std::vector<MimeRule> applicationOnly;
  addApplicationExclusions(applicationOnly);

  std::vector<BrowserRule> table;
  table.push_back(browser("Internet Explorer", "MSIE 4.", std::move(ie4)));
  table.push_back(browser("Internet Explorer 5.0", "MSIE 5.0", explorerRules()));
  table.push_back(browser("Internet Explorer 5.5", "MSIE 5.5", explorerRules()));
  table.push_back(browser("Internet Explorer 6.0", "MSIE 6.", explorerRules()));
  // "!MSIE": Internet Explorer announces itself as a compatible Mozilla.
  table.push_back(browser("Netscape 4.6", "Mozilla/4.6!MSIE", netscape4Rules()));
  table.push_back(browser("Netscape 4.7", "Mozilla/4.7!MSIE", netscape4Rules()));
  table.push_back(browser("Netscape 6.0", "Netscape6/!MSIE", applicationOnly));
  table.push_back(browser("Opera 5", "Opera/5.", applicationOnly));
  return table;
} catch (const std::bad_alloc&) {
  return std::nullopt;
}

}  // namespace settings
