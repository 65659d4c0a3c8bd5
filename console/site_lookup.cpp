#include "console/site_lookup.h"

#include <string>

#include "platform/metabase/admin_base.h"
#include "settings/metabase_session.h"
#include "settings/rule_lists.h"

namespace console {

int FindSiteByTitle(HWND pageWindow) {
  char title[129] = {};
  GetWindowTextA(GetParent(pageWindow), title, sizeof(title));
  std::string cut = title;
  if (const auto space = cut.rfind(' '); space != std::string::npos) cut.resize(space);

  int prefixMatch = -1;
  for (DWORD index = 1; index <= 999; ++index) {
    const auto name = settings::MetabaseSession::EnumChildKey(index, nullptr);
    if (!name) break;
    const int site = settings::parseNumber(*name);
    const auto description = settings::MetabaseSession::ReadSiteString(static_cast<DWORD>(site), MD_SERVER_COMMENT,
                                                                       IIS_MD_UT_SERVER, nullptr);
    if (!description) continue;
    // An exact match beats a description that only begins the title ("Shop" for "Shop Two").
    if (*description == cut) return site;
    if (prefixMatch < 0 && cut.compare(0, description->size(), *description) == 0) prefixMatch = site;
  }
  return prefixMatch;
}

}  // namespace console
