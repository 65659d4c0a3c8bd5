// "Tamsic Optional Compression Preferences": the markup optimiser and its switches.

#include "console/dialog_support.h"
#include "console/preference_dialogs.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"

namespace console {

namespace {

struct Switch {
  int control;
  Known<std::int32_t> WorkingCopy::*member;
};

constexpr Switch kSwitches[] = {
    {res::kWsWhiteCheck, &WorkingCopy::WsWhite}, {res::kWsCommentCheck, &WorkingCopy::WsComment},
    {res::kWsLowerCheck, &WorkingCopy::WsLower}, {res::kWsCssCheck, &WorkingCopy::WsCss},
    {res::kWsCssComCheck, &WorkingCopy::WsCssCom},
};

// Enabled: every box, "Remove CSS Comments" only with "Remove CSS White Space" checked.
void enableSwitches(HWND dialog, bool enabled) {
  for (const Switch& s : kSwitches) enableItem(dialog, s.control, enabled);
  if (enabled) enableItem(dialog, res::kWsCssComCheck, isChecked(dialog, res::kWsCssCheck));
}

}  // namespace

INT_PTR CALLBACK OptionalCompressionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    const WorkingCopy& copy = reinterpret_cast<PropertySheetExtension*>(lParam)->copy;
    const bool enabled = copy.EnableWhite.value == 1;
    CheckRadioButton(dialog, res::kOptionalEnableRadio, res::kOptionalDisableRadio,
                     enabled ? res::kOptionalEnableRadio : res::kOptionalDisableRadio);
    for (const Switch& s : kSwitches) setChecked(dialog, s.control, (copy.*s.member).value != 0);
    if (!enabled)
      for (const Switch& s : kSwitches) enableItem(dialog, s.control, false);
    if (copy.WsCss.value == 0) enableItem(dialog, res::kWsCssComCheck, false);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kOptionalEnableRadio:
      enableSwitches(dialog, true);
      return TRUE;
    case res::kOptionalDisableRadio:
      enableSwitches(dialog, false);
      return TRUE;
    case res::kWsCssCheck:
      enableItem(dialog, res::kWsCssComCheck, isChecked(dialog, res::kWsCssCheck));
      return TRUE;
    case IDOK: {
      WorkingCopy& copy = extension->copy;
      copy.EnableWhite.set(isChecked(dialog, res::kOptionalEnableRadio) ? 1 : 0);
      // Greyed boxes keep their check state and it is stored as it shows.
      for (const Switch& s : kSwitches) (copy.*s.member).set(isChecked(dialog, s.control) ? 1 : 0);
      return endDialog(dialog, IDOK);
    }
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
