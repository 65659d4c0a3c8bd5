// "Add File Extension" for the cached files: the extension only.
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kCachedExtensionTemplate = {
    kCachedExtensionDialog, "Add File Extension", 160, 50,
    {
        label("Extension:", IDC_STATIC, 7, 9, 44, 8),
        edit(kExtensionNameEdit, 54, 7, 99, 12),
        defPushButton("OK", IDOK, 48, 29, 50, 14),
        pushButton("Cancel", IDCANCEL, 103, 29, 50, 14),
    }};

}  // namespace console::res
