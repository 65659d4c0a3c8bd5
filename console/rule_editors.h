#pragma once
// The rule editors reached from the "Advanced" button: the MIME types, the browsers, the
// file extensions and the size limits, with the small dialogs that add and edit one rule.

#include <string>
#include <vector>

#include "console/working_copy.h"
#include "platform/ui/win_user.h"

namespace console {

// "Tamsic Advanced Configuration Preferences"; opened with the PropertySheetExtension.
INT_PTR CALLBACK AdvancedDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

struct MimeEditorData {
  std::vector<settings::MimeRule>* list;               // the copy being edited
  const std::vector<settings::BrowserRule>* browsers;  // for the precedence check
};
// "MIME Type List".
INT_PTR CALLBACK MimeListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

struct BrowserEditorData {
  std::vector<settings::BrowserRule>* browsers;      // the working list itself
  const std::vector<settings::MimeRule>* mimeTypes;  // for the precedence check
};
// "Browser Definitions".
INT_PTR CALLBACK BrowserListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

struct ExtensionEditorData {
  std::vector<settings::ExtensionRule>* list;  // the copy being edited
  int site;                                    // whose key gets the list on OK
};
// "File Extension List" for the compression levels.
INT_PTR CALLBACK ExtensionListDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// "File Size Limits"; opened with the PropertySheetExtension.
INT_PTR CALLBACK SizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The one-rule dialogs: what they show when opened and, after OK, what was entered.
struct MimeTypeEntry {
  std::string caption;
  std::string name;
  bool compress = false;
  int level = 6;
};
INT_PTR CALLBACK MimeTypeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Edits rule through the MIME dialog under caption; false when cancelled or left nameless.
bool editMimeRule(HWND owner, const std::string& caption, settings::MimeRule& rule);

struct BrowserEntry {
  std::string caption;
  std::string name;
  std::string searchText;
};
INT_PTR CALLBACK BrowserDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

struct ExtensionEntry {
  std::string caption;
  std::string name;
  int level = 6;
};
INT_PTR CALLBACK ExtensionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Levels run from 1 to 9 on every slider.
constexpr int kMinLevel = 1;
constexpr int kMaxLevel = 9;
constexpr int kNewRuleLevel = 6;
// What the edit boxes of these dialogs accept.
constexpr unsigned kEditLimit = 255;

}  // namespace console
