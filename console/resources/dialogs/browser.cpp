// "Add Browser" / "Edit Browser".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kBrowserTemplate = {
    kBrowserDialog, "Add Browser", 240, 70,
    {
        label("Browser Name:", IDC_STATIC, 7, 9, 64, 8),
        edit(kBrowserNameEdit, 74, 7, 159, 12),
        label("UA Search String:", IDC_STATIC, 7, 27, 64, 8),
        edit(kSearchTextEdit, 74, 25, 159, 12),
        defPushButton("OK", IDOK, 128, 49, 50, 14),
        pushButton("Cancel", IDCANCEL, 183, 49, 50, 14),
    }};

}  // namespace console::res
