// "Tamsic Optional Compression Preferences".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kOptionalTemplate = {
    kOptionalDialog, "Tamsic Optional Compression Preferences", 230, 150,
    {
        radioButton("Enable", kOptionalEnableRadio, 7, 7, 60, 10, WS_GROUP | WS_TABSTOP),
        radioButton("Disable", kOptionalDisableRadio, 75, 7, 60, 10),
        groupBox("HTML Compression Options", IDC_STATIC, 7, 22, 216, 52),
        checkBox("Remove White Space", kWsWhiteCheck, 14, 33, 150, 10, WS_GROUP),
        checkBox("Remove Comments", kWsCommentCheck, 14, 46, 150, 10),
        checkBox("Lower Case Tag Names", kWsLowerCheck, 14, 59, 150, 10),
        groupBox("Css Compression Options", IDC_STATIC, 7, 78, 216, 40),
        checkBox("Remove CSS White Space", kWsCssCheck, 14, 89, 150, 10),
        checkBox("Remove CSS Comments", kWsCssComCheck, 14, 102, 150, 10),
        defPushButton("OK", IDOK, 118, 129, 50, 14),
        pushButton("Cancel", IDCANCEL, 173, 129, 50, 14),
    }};

}  // namespace console::res
