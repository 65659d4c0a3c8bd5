#pragma once
// The dialogs behind the page's "Cache", "Reporting", "Exclude" and "Opt. Compress" buttons,
// with the smaller ones they open. Each is opened with the PropertySheetExtension.

#include <string>

#include "platform/ui/win_user.h"

namespace console {

INT_PTR CALLBACK CachingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK CachedExtensionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReportingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ExclusionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK OptionalCompressionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// "Add File to Exclude" / "Add Directory To Exclude": what was entered after OK.
struct ExclusionEntry {
  bool directory = false;
  std::string text;
};
INT_PTR CALLBACK ExclusionAddDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Empties cacheFolder\korvanecompress (files and sub-folders; the folder stays). Refuses an
// empty folder and the drive's root. Files in use stay.
void ClearCacheFolder(const std::string& cacheFolder);

// A chosen path as an exclusion pattern: ';' becomes ',' and '\' becomes '/'.
std::string ExclusionFromPath(const std::string& path);

}  // namespace console
