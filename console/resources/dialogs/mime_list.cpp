// "MIME Type List".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kMimeListTemplate = {
    kMimeListDialog, "MIME Type List", 250, 170,
    {
        treeView(kRuleTree, 7, 7, 170, 156),
        pushButton("Add", kAddButton, 184, 7, 60, 14),
        pushButton("Remove", kRemoveButton, 184, 25, 60, 14),
        pushButton("Edit", kEditButton, 184, 43, 60, 14),
        pushButton("Restore Defaults", kRestoreButton, 184, 61, 60, 14),
        defPushButton("OK", IDOK, 184, 131, 60, 14),
        pushButton("Cancel", IDCANCEL, 184, 149, 60, 14),
    }};

}  // namespace console::res
