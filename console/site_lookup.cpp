#include "console/site_lookup.h"

#include <cstring>
#include <string>

#include "platform/metabase/admin_base.h"
#include "platform/text/ascii_case.h"
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

std::optional<int> SiteOfNode(LPDATAOBJECT node) {
  if (!node) return std::nullopt;
  const auto metaPath = static_cast<CLIPFORMAT>(RegisterClipboardFormatA(CCF_ISM_META_PATH));
  FORMATETC format{metaPath, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
  constexpr std::size_t kPathBytes = 256;
  STGMEDIUM medium{};  // on Windows the memory handle is one member of a union
  medium.tymed = TYMED_HGLOBAL;
  medium.hGlobal = GlobalAlloc(GMEM_FIXED, kPathBytes);
  if (!medium.hGlobal) return std::nullopt;
  std::optional<std::string> path;
  if (SUCCEEDED(node->GetDataHere(&format, &medium))) {
    const char* text = static_cast<const char*>(GlobalLock(medium.hGlobal));
    path.emplace(text, strnlen(text, kPathBytes));
    GlobalUnlock(medium.hGlobal);
  }
  GlobalFree(medium.hGlobal);
  if (!path) return std::nullopt;
  constexpr std::string_view kService = "/LM/W3SVC/";
  if (path->size() <= kService.size() || !platform::text::equalsNoCase(std::string_view(*path).substr(0, kService.size()), kService))
    return -1;
  const std::string number = path->substr(kService.size());
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 9) return -1;
  // Only a site the metabase holds: a node of another kind gets the inert page.
  for (DWORD index = 0; index <= 9999; ++index) {
    const auto name = settings::MetabaseSession::EnumChildKey(index, nullptr);
    if (!name) break;
    if (*name == number) return settings::parseNumber(number);
  }
  return -1;
}

}  // namespace console
