// "Tamsic Reporting Preferences".
#include "console/resources/dialogs.h"
#include "console/resources/resource_ids.h"

namespace console::res {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kReportingTemplate = {
    kReportingDialog, "Tamsic Reporting Preferences", 300, 222,
    {
        radioButton("Enable Logging for Reports", kReportEnableRadio, 7, 7, 120, 10, WS_GROUP | WS_TABSTOP),
        radioButton("Disable Logging for Reports", kReportDisableRadio, 135, 7, 120, 10),
        groupBox("Log Storage", IDC_STATIC, 7, 22, 286, 34),
        label("Directory for storing log files:", IDC_STATIC, 14, 32, 120, 8, WS_GROUP),
        edit(kLogFolderEdit, 14, 41, 272, 12),
        groupBox("Storage Time", IDC_STATIC, 7, 59, 286, 28),
        label("Refresh Logs after:", IDC_STATIC, 14, 71, 70, 8),
        dropDownList(kRefreshList, 86, 69, 100, 80),
        groupBox("Page Level Report Fields", IDC_STATIC, 7, 90, 286, 108),
        label("Exclude", IDC_STATIC, 14, 100, 100, 8),
        listBox(kExcludedFieldsList, 14, 110, 112, 82, LBS_SORT | LBS_EXTENDEDSEL),
        pushButton("---->", kMoveToReportButton, 132, 126, 36, 14),
        pushButton("<----", kMoveToExcludeButton, 132, 148, 36, 14),
        label("Report", IDC_STATIC, 174, 100, 100, 8),
        listBox(kReportedFieldsList, 174, 110, 112, 82, LBS_SORT | LBS_EXTENDEDSEL),
        defPushButton("OK", IDOK, 188, 202, 50, 14),
        pushButton("Cancel", IDCANCEL, 243, 202, 50, 14),
    }};

}  // namespace console::res
