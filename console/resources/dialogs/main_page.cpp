// The "Tamsic" property page.
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kMainPageTemplate = {
    kMainPage, "Tamsic", 302, 258,
    {
        radioButton("Enable Tamsic", kEnableRadio, 7, 6, 80, 10, WS_GROUP | WS_TABSTOP),
        radioButton("Disable Tamsic", kDisableRadio, 95, 6, 80, 10),
        icon(kPageIcon, IDC_STATIC, 274, 2),
        groupBox("Caching", 2000, 7, 22, 288, 45),
        label("Tamsic caches pages upon compression and serves pre-compressed pages", 2001, 14, 32, 278, 8),
        label("from its cache (if available).  Click the Cache button to configure", 2002, 14, 41, 278, 8),
        label("caching.", 2003, 14, 50, 220, 8),
        pushButton("Cache", kCacheButton, 240, 48, 48, 14),
        groupBox("Reporting", 2004, 7, 70, 288, 36),
        label("Tamsic provides reporting in HTML format.  Click the Reporting button to ", 2005, 14, 80, 278, 8),
        label("configure compression reporting and related log files.", 2006, 14, 89, 220, 8),
        pushButton("Reporting", kReportingButton, 240, 87, 48, 14),
        groupBox("Optional HTML/CSS Compression", 2007, 7, 109, 288, 45),
        label("Tamsic provides optional white space and comments removal.  (for HTML ", 2008, 14, 119, 278, 8),
        label("and CSS files only).  Click the Opt. compress button to ", 2009, 14, 128, 278, 8),
        label("configure.  (CAUTION: test page compression prior to use).", 2010, 14, 137, 220, 8),
        pushButton("Opt. Compress", kOptCompressButton, 236, 135, 52, 14),
        groupBox("Exclusion", 2011, 7, 157, 288, 36),
        label("There may be files or directories you wish to exclude from compression.", 2012, 14, 167, 278, 8),
        label("Click the Exclude button to manage these exclusions.", 2013, 14, 176, 220, 8),
        pushButton("Exclude", kExcludeButton, 240, 174, 48, 14),
        groupBox("Advanced", 2014, 7, 196, 288, 45),
        label("Tamsic's default settings are designed for maximum acceleration while maintaining", 2015, 14, 206, 278, 8),
        label("page functionality.  Click the Advanced button to change", 2016, 14, 215, 278, 8),
        label("these defaults.", 2017, 14, 224, 220, 8),
        pushButton("Advanced", kAdvancedButton, 240, 222, 48, 14),
        // Hidden: nothing shows it.
        {WC_STATIC, "Tamsic does not apply to service nodes of this type in the Internet Services Manager.",
         kServiceNodeNotice, 7, 244, 228, 12, WS_CHILD | SS_LEFT},
        pushButton("Help", kHelpButton, 247, 243, 48, 14),
    }};

}  // namespace console::res
