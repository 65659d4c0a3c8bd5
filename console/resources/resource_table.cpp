#include "console/resources/resource_table.h"

#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

namespace {

// The page's icon: a page with a clamp pressing it thin.
constexpr const char* kPageIconSvg =
    "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 32 32' width='32' height='32'>"
    "<rect x='7' y='4' width='18' height='24' rx='1' fill='#fff' stroke='#25507a' stroke-width='1.5'/>"
    "<path d='M10 10h12M10 14h12M10 18h8' stroke='#7a9cc0' stroke-width='1.5'/>"
    "<path d='M3 16h6M29 16h-6' stroke='#c0392b' stroke-width='2.5'/>"
    "<path d='M6 13l3 3-3 3M26 13l-3 3 3 3' fill='none' stroke='#c0392b' stroke-width='2'/>"
    "</svg>";

}  // namespace

const platform::ui::ResourceTable& resourceTable() {
  static const platform::ui::ResourceTable table{
      {&kMainPageTemplate, &kAdvancedTemplate, &kMimeListTemplate, &kBrowserListTemplate, &kMimeTypeTemplate,
       &kBrowserTemplate, &kExtensionListTemplate, &kExtensionTemplate, &kSizeTemplate, &kCachingTemplate,
       &kCachedExtensionTemplate, &kReportingTemplate, &kExclusionTemplate, &kExclusionAddTemplate, &kOptionalTemplate,
       &kApplyingNoticeTemplate},
      {
          {kClassDescription, "Tamsic Uitlity"},
          {kSnapInName, "Korvane Tamsic Uitlity"},
          {kPageTitle, "Tamsic"},
      },
      {{kPageIcon, kPageIconSvg}},
  };
  return table;
}

}  // namespace console::res
