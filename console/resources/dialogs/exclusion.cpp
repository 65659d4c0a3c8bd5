// "Tamsic Exclusion List".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kExclusionTemplate = {
    kExclusionDialog, "Tamsic Exclusion List", 280, 160,
    {
        listBox(kExclusionList, 7, 7, 196, 146, LBS_SORT | WS_HSCROLL),
        pushButton("Add File", kAddFileButton, 212, 7, 61, 14),
        pushButton("Add Directory", kAddDirectoryButton, 212, 25, 61, 14),
        pushButton("Remove", kExclusionRemove, 212, 43, 61, 14),
        defPushButton("OK", IDOK, 212, 121, 61, 14),
        pushButton("Cancel", IDCANCEL, 212, 139, 61, 14),
    }};

}  // namespace console::res
