// "Tamsic Advanced Configuration Preferences".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kAdvancedTemplate = {
    kAdvancedDialog, "Tamsic Advanced Configuration Preferences", 300, 214,
    {
        groupBox("MIME Types", IDC_STATIC, 7, 7, 286, 42),
        label("MIME types determine whether or not to compress a request.  Click the Mime Types button to modify these settings. ",
              IDC_STATIC, 14, 18, 210, 26),
        pushButton("MIME Types", kMimeTypesButton, 232, 24, 54, 14),
        groupBox("Browsers", IDC_STATIC, 7, 52, 286, 42),
        label("Browsers handle MIME types in different ways. Click the Browsers button to modify browser specific settings.",
              IDC_STATIC, 14, 63, 210, 26),
        pushButton("Browsers", kBrowsersButton, 232, 69, 54, 14),
        groupBox("File Extensions", IDC_STATIC, 7, 97, 286, 42),
        label("Compression level can be determined by the file extension.  Click the File Extensions button to modify extensions.",
              IDC_STATIC, 14, 108, 210, 26),
        pushButton("File Extensions", kFileExtensionsButton, 232, 114, 54, 14),
        groupBox("Size Limits", IDC_STATIC, 7, 142, 286, 42),
        label("For efficient compression, both very small and very large files should be excluded.  Click the Size Limits button to modify these settings.",
              IDC_STATIC, 14, 153, 210, 26),
        pushButton("Size Limits", kSizeLimitsButton, 232, 159, 54, 14),
        defPushButton("OK", IDOK, 188, 192, 50, 14),
        pushButton("Cancel", IDCANCEL, 243, 192, 50, 14),
    }};

}  // namespace console::res
