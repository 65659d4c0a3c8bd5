// The notice shown while the filter is told to reload.
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kApplyingNoticeTemplate = {
    kApplyingNotice, "Tamsic", 140, 40,
    {
        label("Applying settings...", IDC_STATIC, 7, 9, 126, 8, SS_CENTER),
        label("Please wait.........", IDC_STATIC, 7, 21, 126, 8, SS_CENTER),
    }};

}  // namespace console::res
