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

std::int32_t sizeField(HWND dialog, int id, std::int32_t whenEmpty) {
  const std::string text = itemText(dialog, id);
  return text.empty() ? whenEmpty : settings::parseNumber(text);
}

}  // namespace

INT_PTR SizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    extension = reinterpret_cast<PropertySheetExtension*>(lParam);
    setItemNumber(dialog, res::kMinSizeEdit, extension->copy.MinSize.value);
    setItemNumber(dialog, res::kMaxSizeEdit, extension->copy.MaxSize.value);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case IDOK:
      extension->copy.MinSize.set(sizeField(dialog, res::kMinSizeEdit, kEmptyMinimum));
      extension->copy.MaxSize.set(sizeField(dialog, res::kMaxSizeEdit, kEmptyMaximum));
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
