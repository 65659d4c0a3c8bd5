// "File Extension List", for the compression levels and for the cached files.
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kExtensionListTemplate = {
    kExtensionListDialog, "File Extension List", 180, 150,
    {
        listBox(kExtensionList, 7, 7, 100, 136, LBS_SORT),
        pushButton("Add", kExtensionAdd, 116, 7, 57, 14),
        pushButton("Remove", kExtensionRemove, 116, 25, 57, 14),
        pushButton("Edit", kExtensionEdit, 116, 43, 57, 14),
        defPushButton("OK", IDOK, 116, 111, 57, 14),
        pushButton("Cancel", IDCANCEL, 116, 129, 57, 14),
    }};

}  // namespace console::res
