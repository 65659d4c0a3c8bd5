#include "console/console_defaults.h"

#include "settings/default_tables.h"

namespace console {

namespace {

using settings::appendMimeRule;
using settings::appendMimeSubType;

constexpr const char* kApplicationSubTypes[] = {"msword", "postscript", "vnd.ms-excel", "vnd.ms-powerpoint",
                                                "vnd.ms-works", "x-javascript", "x-msaccess"};

settings::BrowserRule browser(const char* name, const char* searchText) {
  settings::BrowserRule rule;
  rule.DisplayName = name;
  rule.SearchTerm = searchText;
  return rule;
}

settings::BrowserRule internetExplorer(const char* name, const char* searchText) {
  settings::BrowserRule rule = browser(name, searchText);
  appendMimeRule(rule.MimeRules, "text", 1, 9);
  appendMimeSubType(rule.MimeRules, "text", "css", 0, 0);
  return rule;
}

settings::BrowserRule withApplicationRules(settings::BrowserRule rule, bool image) {
  appendMimeRule(rule.MimeRules, "application", 0, 0);
  for (const char* sub : kApplicationSubTypes) appendMimeSubType(rule.MimeRules, "application", sub, 0, 0);
  if (image) {
    appendMimeRule(rule.MimeRules, "image", 0, 0);
    appendMimeSubType(rule.MimeRules, "image", "bmp", 0, 0);
  }
  return rule;
}

}  // namespace

std::vector<settings::ExtensionRule> defaultExtensionList() {
  const std::pair<const char*, int> entries[] = {{".asp", 1}, {".cgi", 1}, {".php", 1}, {".pl", 1},  {".cfm", 1},
                                                 {".css", 9}, {".htm", 9}, {".html", 9}, {".js", 9}, {".mdb", 9},
                                                 {".txt", 9}, {".xml", 9}, {".xsl", 9},  {".bmp", 9}};
  std::vector<settings::ExtensionRule> list;
  for (const auto& [name, level] : entries) list.push_back({name, level});
  return list;
}

std::vector<settings::MimeRule> defaultMimeList() {
  std::vector<settings::MimeRule> list;
  appendMimeRule(list, "text", 1, 9);
  appendMimeRule(list, "application", 0, 0);
  for (const char* sub : {"msword", "postscript", "vnd.ms-excel", "vnd.ms-powerpoint", "vnd.ms-works", "x-msaccess"})
    appendMimeSubType(list, "application", sub, 1, 9);
  const std::pair<const char*, const char*> single[] = {{"audio", "wav"}, {"image", "bmp"}, {"message", "rfc822"}};
  for (const auto& [type, sub] : single) {
    appendMimeRule(list, type, 0, 0);
    appendMimeSubType(list, type, sub, 1, 9);
  }
  return list;
}

std::vector<settings::BrowserRule> defaultBrowserList() {
  std::vector<settings::BrowserRule> list;
  settings::BrowserRule ie4 = browser("Internet Explorer", "MSIE 4.");
  appendMimeRule(ie4.MimeRules, "text", 0, 0);
  for (const char* sub : {"html", "plain", "xml"}) appendMimeSubType(ie4.MimeRules, "text", sub, 1, 9);
  list.push_back(ie4);
  list.push_back(internetExplorer("Internet Explorer 5.0", "MSIE 5."));
  list.push_back(internetExplorer("Internet Explorer 5.5", "MSIE 5.5"));
  list.push_back(internetExplorer("Internet Explorer 6.0", "MSIE 6."));
  list.push_back(withApplicationRules(browser("Netscape 4.6", "Mozilla/4.6"), true));
  list.push_back(withApplicationRules(browser("Netscape 4.7", "Mozilla/4.7"), true));
  list.push_back(withApplicationRules(browser("Netscape 6.0", "Netscape 6/"), false));
  list.push_back(withApplicationRules(browser("Opera 5", "Opera/5."), false));
  return list;
}

std::vector<ExtensionName> defaultCachedExtensions() { return {".css", ".htm", ".html", ".txt", ".xml"}; }

}  // namespace console
