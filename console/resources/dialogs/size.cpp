// "File Size Limits".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kSizeTemplate = {
    kSizeDialog, "File Size Limits", 200, 68,
    {
        label("Minimum File Size (bytes):", IDC_STATIC, 7, 9, 96, 8),
        edit(kMinSizeEdit, 106, 7, 87, 12, ES_NUMBER),
        label("Maximum File Size (bytes):", IDC_STATIC, 7, 27, 96, 8),
        edit(kMaxSizeEdit, 106, 25, 87, 12, ES_NUMBER),
        defPushButton("OK", IDOK, 88, 47, 50, 14),
        pushButton("Cancel", IDCANCEL, 143, 47, 50, 14),
    }};

}  // namespace console::res
