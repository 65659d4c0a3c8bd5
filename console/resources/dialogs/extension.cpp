// "Add File Extension" / "Edit File Extension" with the level slider.
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kExtensionTemplate = {
    kExtensionDialog, "Add File Extension", 220, 118,
    {
        label("Extension:", IDC_STATIC, 7, 9, 44, 8),
        edit(kExtensionNameEdit, 54, 7, 80, 12),
        label("Compression", IDC_STATIC, 7, 28, 50, 8),
        label("Level", IDC_STATIC, 7, 36, 50, 8),
        label("Low", IDC_STATIC, 60, 28, 20, 8),
        label("High", IDC_STATIC, 190, 28, 20, 8),
        slider(kExtensionSlider, 56, 38, 158, 18),
        label("Time to", IDC_STATIC, 7, 60, 50, 8),
        label("Compress", IDC_STATIC, 7, 68, 50, 8),
        label("Fast", IDC_STATIC, 60, 60, 20, 8),
        label("Slow", IDC_STATIC, 190, 60, 20, 8),
        defPushButton("OK", IDOK, 108, 96, 50, 14),
        pushButton("Cancel", IDCANCEL, 163, 96, 50, 14),
    }};

}  // namespace console::res
