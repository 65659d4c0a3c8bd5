#include "console/precedence_check.h"
#include "platform/text/ascii_case.h"

#include <string>


namespace console {

namespace {

// Whether rules hold type (and, when given, its subType); names compared without case.
bool holds(const std::vector<settings::MimeRule>& rules, std::string_view type, std::optional<std::string_view> subType) {
  for (const settings::MimeRule& rule : rules) {
    if (!platform::text::equalsNoCase(rule.Name, type)) continue;
    if (!subType) return true;
    for (const settings::MimeRule& sub : rule.SubTypes)
      if (platform::text::equalsNoCase(sub.Name, *subType)) return true;
  }
  return false;
}

bool ask(HWND owner, const std::string& text) { return MessageBoxA(owner, text.c_str(), "Tamsic", MB_OKCANCEL) == IDOK; }

std::string named(std::string_view type, std::optional<std::string_view> subType) {
  return subType ? std::string(type) + "/" + std::string(*subType) : std::string(type);
}

}  // namespace

bool confirmMimeTypeAdd(HWND owner, const std::vector<settings::BrowserRule>& browsers, std::string_view type,
                        std::optional<std::string_view> subType) {
  for (const settings::BrowserRule& browser : browsers)
    if (holds(browser.MimeRules, type, subType))
      return ask(owner, "A setting in Browsers for " + named(type, subType) + " will take precedence over this setting.");
  return true;
}

bool confirmBrowserMimeAdd(HWND owner, const std::vector<settings::MimeRule>& mimeTypes, std::string_view type,
                           std::optional<std::string_view> subType) {
  if (!holds(mimeTypes, type, subType)) return true;
  return ask(owner, "This will take precedence over the " + named(type, subType) + " setting in MIME Types.");
}

}  // namespace console
