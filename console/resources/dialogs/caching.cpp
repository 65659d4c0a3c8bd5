// "Tamsic Caching Preferences".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kCachingTemplate = {
    kCachingDialog, "Tamsic Caching Preferences", 300, 246,
    {
        radioButton("Enable Caching", kCacheEnableRadio, 7, 7, 80, 10, WS_GROUP | WS_TABSTOP),
        radioButton("Disable Caching", kCacheDisableRadio, 95, 7, 80, 10),
        groupBox("Cache Storage", IDC_STATIC, 7, 22, 286, 48),
        label("Directory for storing cache:", IDC_STATIC, 14, 33, 120, 8),
        edit(kCacheFolderEdit, 14, 43, 214, 12),
        pushButton("Clear Cache Now", kClearCacheButton, 232, 42, 56, 14),
        checkBox("Clear cache on IIS restart", kRemoveCacheCheck, 14, 58, 140, 10),
        groupBox("Dynamic Cache", IDC_STATIC, 7, 73, 286, 24),
        checkBox("Enable Dynamic Caching", kDynamicCacheCheck, 14, 83, 140, 10),
        groupBox("Cache Size", IDC_STATIC, 7, 100, 286, 40),
        checkBox("Limit Cache Size", kLimitCheck, 14, 110, 100, 10),
        label("Max Cache Size (bytes):", kLimitLabel, 14, 125, 90, 8),
        edit(kLimitEdit, 106, 123, 80, 12, ES_NUMBER),
        groupBox("Cache Options", IDC_STATIC, 7, 143, 286, 36),
        radioButton("Follow Cache-Control and Expires Header", kFollowHeadersRadio, 14, 153, 270, 10, WS_GROUP | WS_TABSTOP),
        radioButton("Ignore Headers and check expiration by last-modified date.", kIgnoreHeadersRadio, 14, 165, 270, 10),
        groupBox("Cached Files", IDC_STATIC, 7, 182, 286, 39),
        label("Caching of compressed content is controlled by file extension.  Click Cached Files to modify the list of cachable file types.",
              IDC_STATIC, 14, 191, 210, 26, WS_GROUP),
        pushButton("Cached Files", kCachedFilesButton, 232, 195, 56, 14),
        defPushButton("OK", IDOK, 188, 225, 50, 14),
        pushButton("Cancel", IDCANCEL, 243, 225, 50, 14),
    }};

}  // namespace console::res
