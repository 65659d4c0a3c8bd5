// The registry's rule lists: the extension list, the MIME multi-string and browser values.
// Whatever is parsed formats back into text that parses to the same rules, so that what the
// console writes back is what it read (a second write changes nothing).

#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "settings/rule_lists.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::Input input(data, size);
  const std::size_t kind = input.number(4);
  const std::string_view text = input.rest();
  switch (kind) {
    case 0: {
      const auto rules = settings::parseExtensionList(text);
      const auto again = settings::parseExtensionList(settings::formatExtensionList(rules));
      if (again.size() != rules.size()) std::abort();
      break;
    }
    case 1: {
      const std::string written = settings::formatMimeTypes(settings::parseMimeTypes(text));
      if (settings::formatMimeTypes(settings::parseMimeTypes(written)) != written) std::abort();
      break;
    }
    case 2: {
      fuzz_support::Input parts(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
      const std::string_view name = parts.until('\n');
      if (auto rule = settings::parseBrowserValue(name, parts.rest())) {
        const std::string written = settings::formatBrowserValue(*rule);
        auto again = settings::parseBrowserValue(name, written);
        if (!again || settings::formatBrowserValue(*again) != written) std::abort();
      }
      break;
    }
    default:
      settings::parseExclusions(text);
      settings::parseCacheExtensions(text);
      settings::parseNumber(text);
  }
  return 0;
}
