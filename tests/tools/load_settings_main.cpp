// Runs one settings load against the machine named by TAMSIC_MACHINE, as the filter does
// when the web server starts it: exit 0 when the load succeeds. Prints the slot count, then
// what each loaded site's rules are, one per line, for tests that compare them with what
// was stored (a MIME list's strings separated by ';').

#include <cstdio>
#include <string>

#include "settings/rule_lists.h"
#include "settings/settings_loader.h"

namespace {

std::string entries(const std::vector<settings::MimeRule>& rules) {
  std::string text = settings::formatMimeTypes(rules);
  while (!text.empty() && text.back() == '\0') text.pop_back();
  for (char& c : text)
    if (c == '\0') c = ';';
  return text;
}

}  // namespace

int main() {
  settings::LoadedSettings loaded;
  if (!settings::LoadSettings(loaded)) {
    std::fprintf(stderr, "the settings load failed\n");
    return 1;
  }
  std::printf("%zu slots\n", loaded.table->SlotCount());
  for (const auto& site : loaded.table->Slots) {
    if (!site) continue;
    std::printf("site %s MinSize=%d MaxSize=%d Limit=%u\n", site->InstancePath.c_str(), site->MinSize, site->MaxSize,
                site->Limit);
    for (const auto& rule : site->FileExtensions) std::printf("  extension %s=%d\n", rule.Name.c_str(), rule.Level);
    for (const auto& rule : site->CacheExt) std::printf("  cached %s\n", rule.Name.c_str());
    for (const auto& entry : site->NewExclude) std::printf("  exclude %s\n", entry.Pattern.c_str());
    std::printf("  mime %s\n", entries(site->MimeTypes).c_str());
    for (const auto& browser : site->Browsers)
      std::printf("  browser %s|%s|%s\n", browser.DisplayName.c_str(), browser.SearchTerm.c_str(),
                  entries(browser.MimeRules).c_str());
  }
  return 0;
}
