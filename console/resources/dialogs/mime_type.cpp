// "Add MIME Type" (its caption is set when it opens).
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kMimeTypeTemplate = {
    kMimeTypeDialog, "Add MIME Type", 220, 132,
    {
        label("MIME Type:", IDC_STATIC, 7, 9, 44, 8),
        edit(kMimeNameEdit, 54, 7, 159, 12),
        checkBox("Compress", kCompressCheck, 54, 24, 60, 10),
        label("Compression", IDC_STATIC, 7, 42, 50, 8),
        label("Level", IDC_STATIC, 7, 50, 50, 8),
        label("Low", IDC_STATIC, 60, 42, 20, 8),
        label("High", IDC_STATIC, 190, 42, 20, 8),
        slider(kLevelSlider, 56, 52, 158, 18),
        label("Time to", IDC_STATIC, 7, 74, 50, 8),
        label("Compress", IDC_STATIC, 7, 82, 50, 8),
        label("Fast", IDC_STATIC, 60, 74, 20, 8),
        label("Slow", IDC_STATIC, 190, 74, 20, 8),
        defPushButton("OK", IDOK, 108, 110, 50, 14),
        pushButton("Cancel", IDCANCEL, 163, 110, 50, 14),
    }};

}  // namespace console::res
