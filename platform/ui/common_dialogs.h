#pragma once
// The common dialogs and shell calls the console uses (commdlg.h, shlobj.h, shellapi.h):
// the open-file dialog, the folder chooser over the machine's drives and opening a file with
// its default action. Paths are Windows paths of the machine root.

#include "platform/ui/win_user.h"

#ifdef _WIN32
#include <commdlg.h>
#include <shlobj.h>
#include <shellapi.h>
#else

constexpr DWORD OFN_READONLY = 0x1;
constexpr DWORD OFN_HIDEREADONLY = 0x4;
constexpr DWORD OFN_PATHMUSTEXIST = 0x800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x1000;

struct OPENFILENAMEA {
  DWORD lStructSize;
  HWND hwndOwner;
  HINSTANCE hInstance;
  LPCSTR lpstrFilter;  // pairs of display text and pattern, each NUL-ended, a final NUL
  LPSTR lpstrCustomFilter;
  DWORD nMaxCustFilter;
  DWORD nFilterIndex;
  LPSTR lpstrFile;  // in: initial name; out: the chosen full path
  DWORD nMaxFile;
  LPSTR lpstrFileTitle;
  DWORD nMaxFileTitle;
  LPCSTR lpstrInitialDir;
  LPCSTR lpstrTitle;
  DWORD Flags;
  WORD nFileOffset;
  WORD nFileExtension;
  LPCSTR lpstrDefExt;
  LPARAM lCustData;
  void* lpfnHook;
  LPCSTR lpTemplateName;
};

// TRUE with the chosen path in lpstrFile; FALSE when cancelled.
BOOL GetOpenFileNameA(OPENFILENAMEA* request) noexcept;

struct ITEMIDLIST;
using LPITEMIDLIST = ITEMIDLIST*;
using PCIDLIST_ABSOLUTE = const ITEMIDLIST*;
using BFFCALLBACK = int (*)(HWND, UINT, LPARAM, LPARAM);

constexpr UINT BIF_RETURNONLYFSDIRS = 0x1;

struct BROWSEINFOA {
  HWND hwndOwner;
  PCIDLIST_ABSOLUTE pidlRoot;
  LPSTR pszDisplayName;  // MAX_PATH characters: the chosen folder's own name
  LPCSTR lpszTitle;
  UINT ulFlags;
  BFFCALLBACK lpfn;
  LPARAM lParam;
  int iImage;
};

// The chosen folder as an item list (free it with CoTaskMemFree), or null when cancelled.
LPITEMIDLIST SHBrowseForFolderA(BROWSEINFOA* request) noexcept;
// The folder's full path into a MAX_PATH buffer.
BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path) noexcept;
void CoTaskMemFree(void* block) noexcept;

// A value above 32 on success; 2 (file not found) when there is no such file.
HINSTANCE ShellExecuteA(HWND owner, LPCSTR operation, LPCSTR file, LPCSTR parameters, LPCSTR directory,
                        int show) noexcept;

#endif  // _WIN32
