// "File Size Limits".

#include "console/dialog_support.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"
#include "settings/rule_lists.h"

namespace console {

namespace {

constexpr std::int32_t kEmptyMinimum = 800;
constexpr std::int32_t kEmptyMaximum = 500000;

}  // namespace

INT_PTR CALLBACK SizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    extension = reinterpret_cast<PropertySheetExtension*>(lParam);
    setItemNumber(dialog, res::kMinSizeEdit, extension->copy.MinSize.value);
    setItemNumber(dialog, res::kMaxSizeEdit, extension->copy.MaxSize.value);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case IDOK: {
      // A number the readers would take otherwise is refused, and the dialog stays open.
      const auto minimum = acceptSize(dialog, itemText(dialog, res::kMinSizeEdit), kEmptyMinimum, "The minimum file size");
      if (!minimum) return TRUE;
      const auto maximum = acceptSize(dialog, itemText(dialog, res::kMaxSizeEdit), kEmptyMaximum, "The maximum file size");
      if (!maximum) return TRUE;
      extension->copy.MinSize.set(*minimum);
      extension->copy.MaxSize.set(*maximum);
      return endDialog(dialog, IDOK);
    }
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
