#pragma once
// The console's dialog templates, one source per dialog.

#include "platform/ui/resources.h"

namespace console::res {

extern const platform::ui::DialogTemplate kMainPageTemplate;
extern const platform::ui::DialogTemplate kAdvancedTemplate;
extern const platform::ui::DialogTemplate kMimeListTemplate;
extern const platform::ui::DialogTemplate kBrowserListTemplate;
extern const platform::ui::DialogTemplate kMimeTypeTemplate;
extern const platform::ui::DialogTemplate kBrowserTemplate;
extern const platform::ui::DialogTemplate kExtensionListTemplate;
extern const platform::ui::DialogTemplate kExtensionTemplate;
extern const platform::ui::DialogTemplate kSizeTemplate;
extern const platform::ui::DialogTemplate kCachingTemplate;
extern const platform::ui::DialogTemplate kCachedExtensionTemplate;
extern const platform::ui::DialogTemplate kReportingTemplate;
extern const platform::ui::DialogTemplate kExclusionTemplate;
extern const platform::ui::DialogTemplate kExclusionAddTemplate;
extern const platform::ui::DialogTemplate kOptionalTemplate;
extern const platform::ui::DialogTemplate kApplyingNoticeTemplate;

}  // namespace console::res
