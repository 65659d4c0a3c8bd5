#pragma once
// The window and dialog subset of the Win32 user interface (winuser.h, commctrl.h, prsht.h)
// that the console is written against. Windows live in this process; all of them belong to
// one user-interface thread, which runs the dialog procedures. The browser page of the
// console host and the scripted test driver only draw them and feed input in.

#include <cstdint>

#include "platform/win_types.h"

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#else

struct HWND__;
using HWND = HWND__*;
struct HINSTANCE__;
using HINSTANCE = HINSTANCE__*;
using HMODULE = HINSTANCE;
struct HICON__;
using HICON = HICON__*;
struct HCURSOR__;
using HCURSOR = HCURSOR__*;
struct _TREEITEM;
using HTREEITEM = _TREEITEM*;
struct _PSP;
using HPROPSHEETPAGE = _PSP*;

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;
using INT_PTR = std::intptr_t;
using UINT_PTR = std::uintptr_t;
using LONG_PTR = std::intptr_t;

using DLGPROC = INT_PTR (*)(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

constexpr WORD LOWORD(std::uintptr_t v) { return static_cast<WORD>(v & 0xFFFF); }
constexpr WORD HIWORD(std::uintptr_t v) { return static_cast<WORD>((v >> 16) & 0xFFFF); }
constexpr WPARAM MAKEWPARAM(WORD low, WORD high) { return static_cast<WPARAM>(low) | (static_cast<WPARAM>(high) << 16); }
constexpr LPARAM MAKELPARAM(WORD low, WORD high) { return static_cast<LPARAM>(MAKEWPARAM(low, high)); }
constexpr LONG MAKELONG(WORD low, WORD high) { return static_cast<LONG>(MAKEWPARAM(low, high)); }
// Resource names are small integers passed where a text could go.
inline LPCSTR MAKEINTRESOURCEA(WORD id) { return reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(id)); }
inline bool IS_INTRESOURCE(LPCSTR name) { return (reinterpret_cast<std::uintptr_t>(name) >> 16) == 0; }

// Window styles.
constexpr DWORD WS_CHILD = 0x40000000;
constexpr DWORD WS_VISIBLE = 0x10000000;
constexpr DWORD WS_DISABLED = 0x08000000;
constexpr DWORD WS_GROUP = 0x00020000;
constexpr DWORD WS_TABSTOP = 0x00010000;
constexpr DWORD WS_HSCROLL = 0x00100000;
constexpr DWORD WS_VSCROLL = 0x00200000;
constexpr DWORD WS_BORDER = 0x00800000;
constexpr DWORD WS_CAPTION = 0x00C00000;
constexpr DWORD WS_POPUP = 0x80000000;
constexpr DWORD DS_MODALFRAME = 0x80;
constexpr DWORD DS_CENTER = 0x800;

constexpr DWORD BS_PUSHBUTTON = 0x0;
constexpr DWORD BS_DEFPUSHBUTTON = 0x1;
constexpr DWORD BS_AUTOCHECKBOX = 0x3;
constexpr DWORD BS_AUTORADIOBUTTON = 0x9;
constexpr DWORD BS_GROUPBOX = 0x7;
constexpr DWORD BS_TYPEMASK = 0xF;
constexpr DWORD SS_LEFT = 0x0;
constexpr DWORD SS_CENTER = 0x1;
constexpr DWORD SS_ICON = 0x3;
constexpr DWORD ES_AUTOHSCROLL = 0x80;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_NUMBER = 0x2000;
constexpr DWORD LBS_NOTIFY = 0x1;
constexpr DWORD LBS_SORT = 0x2;
constexpr DWORD LBS_MULTIPLESEL = 0x8;
constexpr DWORD LBS_EXTENDEDSEL = 0x800;
constexpr DWORD CBS_DROPDOWNLIST = 0x3;
constexpr DWORD TVS_HASBUTTONS = 0x1;
constexpr DWORD TVS_HASLINES = 0x2;
constexpr DWORD TVS_LINESATROOT = 0x4;
constexpr DWORD TVS_SHOWSELALWAYS = 0x20;
constexpr DWORD TBS_AUTOTICKS = 0x1;

// Window classes of the controls.
constexpr const char* WC_BUTTON = "Button";
constexpr const char* WC_STATIC = "Static";
constexpr const char* WC_EDIT = "Edit";
constexpr const char* WC_LISTBOX = "ListBox";
constexpr const char* WC_COMBOBOX = "ComboBox";
constexpr const char* WC_TREEVIEWA = "SysTreeView32";
constexpr const char* TRACKBAR_CLASSA = "msctls_trackbar32";
constexpr const char* WC_TABCONTROLA = "SysTabControl32";

// Messages.
constexpr UINT WM_DESTROY = 0x0002;
constexpr UINT WM_SETTEXT = 0x000C;
constexpr UINT WM_GETTEXT = 0x000D;
constexpr UINT WM_GETTEXTLENGTH = 0x000E;
constexpr UINT WM_CLOSE = 0x0010;
constexpr UINT WM_NOTIFY = 0x004E;
constexpr UINT WM_INITDIALOG = 0x0110;
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_LBUTTONDOWN = 0x0201;
constexpr UINT WM_USER = 0x0400;

constexpr UINT BM_GETCHECK = 0x00F0;
constexpr UINT BM_SETCHECK = 0x00F1;
constexpr UINT EM_LIMITTEXT = 0x00C5;
constexpr UINT EM_SETLIMITTEXT = EM_LIMITTEXT;
constexpr UINT LB_ADDSTRING = 0x0180;
constexpr UINT LB_INSERTSTRING = 0x0181;
constexpr UINT LB_DELETESTRING = 0x0182;
constexpr UINT LB_RESETCONTENT = 0x0184;
constexpr UINT LB_SETSEL = 0x0185;
constexpr UINT LB_SETCURSEL = 0x0186;
constexpr UINT LB_GETSEL = 0x0187;
constexpr UINT LB_GETCURSEL = 0x0188;
constexpr UINT LB_GETTEXT = 0x0189;
constexpr UINT LB_GETTEXTLEN = 0x018A;
constexpr UINT LB_GETCOUNT = 0x018B;
constexpr UINT LB_GETSELCOUNT = 0x0190;
constexpr UINT LB_GETSELITEMS = 0x0191;
constexpr UINT LB_SETHORIZONTALEXTENT = 0x0194;
constexpr UINT LB_GETHORIZONTALEXTENT = 0x0193;
constexpr UINT LB_FINDSTRINGEXACT = 0x01A2;
constexpr UINT CB_GETLBTEXTLEN = 0x0149;
constexpr UINT CB_ADDSTRING = 0x0143;
constexpr UINT CB_GETCOUNT = 0x0146;
constexpr UINT CB_GETCURSEL = 0x0147;
constexpr UINT CB_GETLBTEXT = 0x0148;
constexpr UINT CB_FINDSTRING = 0x014C;
constexpr UINT CB_SETCURSEL = 0x014E;
constexpr UINT CB_RESETCONTENT = 0x014B;
constexpr UINT TBM_GETPOS = WM_USER;
constexpr UINT TBM_SETPOS = WM_USER + 5;
constexpr UINT TBM_SETRANGE = WM_USER + 6;
constexpr UINT TBM_GETRANGEMIN = WM_USER + 1;
constexpr UINT TBM_GETRANGEMAX = WM_USER + 2;

constexpr UINT TV_FIRST = 0x1100;
constexpr UINT TVM_INSERTITEMA = TV_FIRST + 0;
constexpr UINT TVM_DELETEITEM = TV_FIRST + 1;
constexpr UINT TVM_EXPAND = TV_FIRST + 2;
constexpr UINT TVM_GETNEXTITEM = TV_FIRST + 10;
constexpr UINT TVM_SELECTITEM = TV_FIRST + 11;
constexpr UINT TVM_GETITEMA = TV_FIRST + 12;
constexpr UINT TVM_SETITEMA = TV_FIRST + 13;

// Notifications.
constexpr WORD BN_CLICKED = 0;
constexpr WORD LBN_SELCHANGE = 1;
constexpr WORD LBN_DBLCLK = 2;
constexpr WORD CBN_SELCHANGE = 1;
constexpr WORD EN_CHANGE = 0x0300;
constexpr UINT TVN_FIRST = static_cast<UINT>(-400);
constexpr UINT TVN_SELCHANGEDA = TVN_FIRST - 2;
constexpr UINT NM_DBLCLK = static_cast<UINT>(-3);

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_STATIC = -1;

constexpr WPARAM BST_UNCHECKED = 0;
constexpr WPARAM BST_CHECKED = 1;
constexpr LRESULT LB_ERR = -1;
constexpr LRESULT CB_ERR = -1;

constexpr int DWLP_MSGRESULT = 0;
constexpr int DWLP_USER = 16;

constexpr int SW_HIDE = 0;
constexpr int SW_SHOWNORMAL = 1;
constexpr int SW_SHOW = 5;

constexpr UINT MB_OK = 0x0;
constexpr UINT MB_OKCANCEL = 0x1;
constexpr UINT MB_ICONEXCLAMATION = 0x30;

struct NMHDR {
  HWND hwndFrom;
  UINT_PTR idFrom;
  UINT code;
};

// Tree view.
inline const HTREEITEM TVI_ROOT = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x10000));
inline const HTREEITEM TVI_FIRST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFF));
inline const HTREEITEM TVI_LAST = reinterpret_cast<HTREEITEM>(static_cast<std::intptr_t>(-0x0FFFE));
constexpr UINT TVIF_TEXT = 0x1;
constexpr UINT TVIF_PARAM = 0x4;
constexpr UINT TVIF_STATE = 0x8;
constexpr UINT TVIF_HANDLE = 0x10;
constexpr WPARAM TVGN_ROOT = 0x0;
constexpr WPARAM TVGN_NEXT = 0x1;
constexpr WPARAM TVGN_PARENT = 0x3;
constexpr WPARAM TVGN_CHILD = 0x4;
constexpr WPARAM TVGN_CARET = 0x9;
constexpr WPARAM TVE_COLLAPSE = 0x1;
constexpr WPARAM TVE_EXPAND = 0x2;

struct TVITEMA {
  UINT mask;
  HTREEITEM hItem;
  UINT state;
  UINT stateMask;
  LPSTR pszText;
  int cchTextMax;
  int iImage;
  int iSelectedImage;
  int cChildren;
  LPARAM lParam;
};

struct TVINSERTSTRUCTA {
  HTREEITEM hParent;
  HTREEITEM hInsertAfter;
  TVITEMA item;
};

struct NMTREEVIEWA {
  NMHDR hdr;
  UINT action;
  TVITEMA itemOld;
  TVITEMA itemNew;
  long ptDrag[2];
};

// Property sheets.
constexpr DWORD PSP_DEFAULT = 0x0;
constexpr DWORD PSP_USEICONID = 0x4;
constexpr DWORD PSP_USETITLE = 0x8;
constexpr UINT PSN_FIRST = static_cast<UINT>(-200);
constexpr UINT PSN_SETACTIVE = PSN_FIRST - 0;
constexpr UINT PSN_APPLY = PSN_FIRST - 2;
constexpr UINT PSN_RESET = PSN_FIRST - 3;
constexpr LONG_PTR PSNRET_NOERROR = 0;
constexpr UINT PSM_CHANGED = WM_USER + 104;

struct PROPSHEETPAGEA;
using LPFNPSPCALLBACKA = UINT (*)(HWND, UINT, PROPSHEETPAGEA*);

struct PROPSHEETPAGEA {
  DWORD dwSize;
  DWORD dwFlags;
  HINSTANCE hInstance;
  LPCSTR pszTemplate;
  LPCSTR pszIcon;
  LPCSTR pszTitle;
  DLGPROC pfnDlgProc;
  LPARAM lParam;
  LPFNPSPCALLBACKA pfnCallback;
  UINT* pcRefParent;
};

struct PSHNOTIFY {
  NMHDR hdr;
  LPARAM lParam;
};

// Windows.
HWND GetDlgItem(HWND dialog, int id) noexcept;
HWND GetParent(HWND window) noexcept;
BOOL IsWindow(HWND window) noexcept;
BOOL SetWindowTextA(HWND window, LPCSTR text) noexcept;
int GetWindowTextA(HWND window, LPSTR buffer, int bufferChars) noexcept;
int GetWindowTextLengthA(HWND window) noexcept;
BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) noexcept;
UINT GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferChars) noexcept;
BOOL EnableWindow(HWND window, BOOL enable) noexcept;
BOOL IsWindowEnabled(HWND window) noexcept;
BOOL ShowWindow(HWND window, int command) noexcept;
HWND SetActiveWindow(HWND window) noexcept;
BOOL DestroyWindow(HWND window) noexcept;
LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) noexcept;
LONG_PTR GetWindowLongPtrA(HWND window, int index) noexcept;

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

BOOL CheckDlgButton(HWND dialog, int id, UINT check) noexcept;
UINT IsDlgButtonChecked(HWND dialog, int id) noexcept;
BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) noexcept;

// Dialogs. A modal dialog runs its own message loop until EndDialog; its owner's window is
// disabled meanwhile.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) noexcept;
HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM param) noexcept;
BOOL EndDialog(HWND dialog, INT_PTR result) noexcept;
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) noexcept;

// Resources of a module (registered by the module when it is loaded).
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferChars) noexcept;
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD bufferChars) noexcept;

// Cursors.
inline const LPCSTR IDC_ARROW = reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(32512));
inline const LPCSTR IDC_WAIT = reinterpret_cast<LPCSTR>(static_cast<std::uintptr_t>(32514));
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) noexcept;
HCURSOR SetCursor(HCURSOR cursor) noexcept;

// Property sheet pages and the sheet's change notice.
HPROPSHEETPAGE CreatePropertySheetPageA(const PROPSHEETPAGEA* page) noexcept;
inline void PropSheet_Changed(HWND sheet, HWND page) {
  SendMessageA(sheet, PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

// Tree-view helpers, as commctrl.h's macros.
inline HTREEITEM TreeView_InsertItem(HWND tree, const TVINSERTSTRUCTA* insert) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(insert)));
}
inline BOOL TreeView_DeleteItem(HWND tree, HTREEITEM item) {
  return static_cast<BOOL>(SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
}
inline BOOL TreeView_DeleteAllItems(HWND tree) {
  return static_cast<BOOL>(SendMessageA(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)));
}
inline BOOL TreeView_SelectItem(HWND tree, HTREEITEM item) {
  return static_cast<BOOL>(SendMessageA(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)));
}
inline HTREEITEM TreeView_GetNextItem(HWND tree, HTREEITEM item, WPARAM code) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
}
inline HTREEITEM TreeView_GetSelection(HWND tree) { return TreeView_GetNextItem(tree, nullptr, TVGN_CARET); }
inline HTREEITEM TreeView_GetParent(HWND tree, HTREEITEM item) { return TreeView_GetNextItem(tree, item, TVGN_PARENT); }
inline HTREEITEM TreeView_GetChild(HWND tree, HTREEITEM item) { return TreeView_GetNextItem(tree, item, TVGN_CHILD); }
inline HTREEITEM TreeView_GetNextSibling(HWND tree, HTREEITEM item) { return TreeView_GetNextItem(tree, item, TVGN_NEXT); }
inline HTREEITEM TreeView_GetRoot(HWND tree) { return TreeView_GetNextItem(tree, nullptr, TVGN_ROOT); }
inline BOOL TreeView_Expand(HWND tree, HTREEITEM item, WPARAM code) {
  return static_cast<BOOL>(SendMessageA(tree, TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
}
inline BOOL TreeView_GetItem(HWND tree, TVITEMA* item) {
  return static_cast<BOOL>(SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(item)));
}

#endif  // _WIN32
