// "Tamsic Advanced Configuration Preferences": the door to the rule editors.

#include "console/dialog_support.h"
#include "console/property_sheet_extension.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"

namespace console {

namespace {

void editMimeTypes(HWND dialog, PropertySheetExtension& extension) {
  WorkingCopy& copy = extension.copy;
  std::vector<settings::MimeRule> edited = copy.MimeTypes.value;  // deep: sub-types are values
  MimeEditorData data{&edited, &copy.Browsers.value};
  if (!runDialog(res::kMimeListDialog, dialog, MimeListDialogProc, reinterpret_cast<LPARAM>(&data))) return;
  copy.MimeTypes.set(std::move(edited));
  extension.advancedEdits = true;
}

void editFileExtensions(HWND dialog, PropertySheetExtension& extension) {
  std::vector<settings::ExtensionRule> edited = extension.copy.FileExtensions.value;
  ExtensionEditorData data{&edited, extension.site};
  if (!runDialog(res::kExtensionListDialog, dialog, ExtensionListDialogProc, reinterpret_cast<LPARAM>(&data))) return;
  extension.copy.FileExtensions.set(std::move(edited));
  extension.advancedEdits = true;
}

// The browser editor works on the working list itself, whichever way it closes.
void editBrowsers(HWND dialog, PropertySheetExtension& extension) {
  WorkingCopy& copy = extension.copy;
  BrowserEditorData data{&copy.Browsers.edit(), &copy.MimeTypes.value};
  runDialog(res::kBrowserListDialog, dialog, BrowserListDialogProc, reinterpret_cast<LPARAM>(&data));
  extension.advancedEdits = true;
}

}  // namespace

INT_PTR CALLBACK AdvancedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(dialog);
  if (message == WM_INITDIALOG) {
    keepDialogData(dialog, lParam);
    return TRUE;
  }
  switch (clickedButton(message, wParam)) {
    case res::kMimeTypesButton:
      editMimeTypes(dialog, *extension);
      return TRUE;
    case res::kFileExtensionsButton:
      editFileExtensions(dialog, *extension);
      return TRUE;
    case res::kBrowsersButton:
      editBrowsers(dialog, *extension);
      return TRUE;
    case res::kSizeLimitsButton:
      if (runDialog(res::kSizeDialog, dialog, SizeDialogProc, reinterpret_cast<LPARAM>(extension)))
        extension->advancedEdits = true;
      return TRUE;
    case IDOK:
      return endDialog(dialog, IDOK);
    case IDCANCEL:
      return endDialog(dialog, IDCANCEL);
    default:
      return FALSE;
  }
}

}  // namespace console
