// The exclusion matcher over any URL, translated path and pattern list.

#include <cstring>

#include "filter/negotiation.h"
#include "fuzz/fuzz_support.h"
#include "settings/rule_lists.h"

namespace {

std::string pathTranslated;

BOOL variable(HTTP_FILTER_CONTEXT*, LPSTR name, LPVOID buffer, LPDWORD size) {
  if (std::strcmp(name, "PATH_TRANSLATED") != 0) return FALSE;
  if (*size < pathTranslated.size() + 1) {
    *size = static_cast<DWORD>(pathTranslated.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, pathTranslated.c_str(), pathTranslated.size() + 1);
  *size = static_cast<DWORD>(pathTranslated.size() + 1);
  return TRUE;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::Input input(data, size);
  filter::ResponseState state;
  state.url = std::string(input.until('\n'));
  pathTranslated = std::string(input.until('\n'));
  settings::SiteSettings site;
  site.NewExclude = settings::parseExclusions(input.rest());
  HTTP_FILTER_CONTEXT context{};
  context.GetServerVariable = &variable;
  filter::IsExcluded(&context, state, site);
  return 0;
}
