// "Add File to Exclude" (re-captioned "Add Directory To Exclude" for folders).
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kExclusionAddTemplate = {
    kExclusionAddDialog, "Add File to Exclude", 260, 68,
    {
        label("File Name:", kExclusionLabel, 7, 9, 60, 8),
        edit(kExclusionEdit, 7, 19, 190, 12),
        pushButton("Browse", kBrowseButton, 203, 18, 50, 14),
        defPushButton("OK", IDOK, 148, 47, 50, 14),
        pushButton("Cancel", IDCANCEL, 203, 47, 50, 14),
    }};

}  // namespace console::res
