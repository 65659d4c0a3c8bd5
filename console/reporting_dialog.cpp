// "Tamsic Reporting Preferences": logging, the log folder, the refresh period and which
// fields the page-level report shows (the report mask).

#include <string_view>
#include <vector>

#include "console/dialog_support.h"
#include "console/preference_dialogs.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "settings/rule_lists.h"
#include "platform/fs/file_api.h"

namespace console {

namespace {

struct ReportField {
  const char* name;
  const char* code;
};

constexpr ReportField kFields[] = {
    {"Total Hits", "%H"}, {"Original Size", "%O"}, {"Compressed Size", "%C"},
    {"Percentage Saved", "%P"}, {"MIME Type", "%M"}, {"Cache Hits", "%Z"},
    {"Gzip Hits", "%G"}, {"Deflate Hits", "%D"}, {"Size After White Space Removal", "%W"},
};

constexpr const char* kPeriods[] = {"IIS Restart", "1 Day", "1 Week", "1 Month", "Never"};

// Moves the selected entries of one list box to the other, the last first, at most 512.
void moveSelected(HWND dialog, int from, int to) {
  int selected[512];
  const auto count = SendDlgItemMessageA(dialog, from, LB_GETSELITEMS, 512, reinterpret_cast<LPARAM>(selected));
  for (auto i = count - 1; i >= 0; --i) {
    const std::string text = listText(dialog, from, selected[i]);
    SendDlgItemMessageA(dialog, from, LB_DELETESTRING, static_cast<WPARAM>(selected[i]), 0);
    SendDlgItemMessageA(dialog, to, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
}

std::string maskOfReportList(HWND dialog) {
  std::string mask;
  const auto count = SendDlgItemMessageA(dialog, res::kReportedFieldsList, LB_GETCOUNT, 0, 0);
  for (int i = 0; i < count; ++i) {
    const std::string name = listText(dialog, res::kReportedFieldsList, i);
    for (const ReportField& f : kFields)
      if (name == f.name) mask += f.code;
  }
  return mask;
}

void deleteStatistics(const std::string& logFolder) {
  for (const char* file : {"\\pagestat.txt", "\\sitestat.txt"}) DeleteFileA((logFolder + file).c_str());
}

void show(HWND dialog, const WorkingCopy& copy) {
  CheckRadioButton(dialog, res::kReportEnableRadio, res::kReportDisableRadio,
                   copy.Report.value ? res::kReportEnableRadio : res::kReportDisableRadio);
  setItemText(dialog, res::kLogFolderEdit, copy.LogFolder.value.str());
  SendDlgItemMessageA(dialog, res::kLogFolderEdit, EM_LIMITTEXT, 255, 0);
  for (const char* period : kPeriods)
    SendDlgItemMessageA(dialog, res::kRefreshList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(period));
  const auto chosen = SendDlgItemMessageA(dialog, res::kRefreshList, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                          reinterpret_cast<LPARAM>(copy.RefreshLog.value.c_str()));
  SendDlgItemMessageA(dialog, res::kRefreshList, CB_SETCURSEL, static_cast<WPARAM>(chosen), 0);
  const std::string_view mask = copy.ReportMask.value;
  for (const ReportField& f : kFields) {
    const int list = mask.find(f.code) != std::string_view::npos ? res::kReportedFieldsList : res::kExcludedFieldsList;
    SendDlgItemMessageA(dialog, list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(f.name));
  }
}

void take(HWND dialog, WorkingCopy& copy) {
  copy.Report.set(isChecked(dialog, res::kReportEnableRadio) ? 1 : 0);
  copy.LogFolder.set(Path(itemText(dialog, res::kLogFolderEdit)));
  const auto period = SendDlgItemMessageA(dialog, res::kRefreshList, CB_GETCURSEL, 0, 0);
  if (period >= 0) copy.RefreshLog.set(Path(kPeriods[period]));
  const std::string mask = maskOfReportList(dialog);
  // The same fields in another order are no change: the stored text stays as it was, and
  // so do the statistics. Statistics gathered with other fields no longer fit the report.
  if (settings::sameReportFields(mask, copy.ReportMask.value)) return;
  deleteStatistics(copy.LogFolder.value.str());
  copy.ReportMask.set(Path(mask));
}

}  // namespace

INT_PTR CALLBACK ReportingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    show(dialog, reinterpret_cast<PropertySheetExtension*>(lParam)->copy);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kMoveToReportButton:
      moveSelected(dialog, res::kExcludedFieldsList, res::kReportedFieldsList);
      return TRUE;
    case res::kMoveToExcludeButton:
      moveSelected(dialog, res::kReportedFieldsList, res::kExcludedFieldsList);
      return TRUE;
    case IDOK:
      take(dialog, extension->copy);
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
