// The open-file dialog and the folder chooser over the machine's drives (dosdevices).
// Both are ordinary dialogs of the stand-in with their own dialog procedures.

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fnmatch.h>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/com.h"
#include "platform/fs/windows_path.h"
#include "platform/machine_root.h"
#include "platform/ui/common_dialogs.h"
#include "platform/ui/window_model.h"

namespace {

namespace stdfs = std::filesystem;
using platform::ui::DialogTemplate;
using platform::ui::WindowRole;
namespace tpl = platform::ui::tpl;

constexpr int kFolderLabel = 1088;
constexpr int kDrives = 1137;
constexpr int kEntries = 1120;
constexpr int kFileName = 1152;
constexpr int kFileTypes = 1136;
constexpr int kReadOnly = 1040;
constexpr int kChooserTitle = 0x3742;
constexpr int kChooserTree = 0x3741;

// "C:", "Z:" ... as dosdevices names them.
std::vector<std::string> driveRoots() {
  std::vector<std::string> drives;
  std::error_code ec;
  for (const auto& entry : stdfs::directory_iterator(platform::machineRootPath() / "dosdevices", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() == 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
      drives.push_back(std::string(1, static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])))) + ":\\");
  }
  std::sort(drives.begin(), drives.end());
  return drives;
}

std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

std::string parentOf(const std::string& folder) {
  if (folder.size() <= 3) return folder;  // "C:\"
  const auto cut = folder.find_last_of('\\', folder.size() - 2);
  return cut == std::string::npos || cut < 2 ? folder.substr(0, 3) : folder.substr(0, std::max<std::size_t>(cut, 3));
}

struct Listing {
  std::vector<std::string> folders;
  std::vector<std::string> files;
};

Listing listFolder(const std::string& windowsFolder) {
  Listing out;
  const auto host = platform::fs::hostPath(windowsFolder);
  std::error_code ec;
  if (!host) return out;
  for (const auto& entry : stdfs::directory_iterator(*host, stdfs::directory_options::skip_permission_denied, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_directory(ec)) out.folders.push_back(name);
    else out.files.push_back(name);
  }
  auto byName = [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; };
  std::sort(out.folders.begin(), out.folders.end(), byName);
  std::sort(out.files.begin(), out.files.end(), byName);
  return out;
}

bool isFolder(const std::string& windowsPath) {
  const auto host = platform::fs::hostPath(windowsPath);
  std::error_code ec;
  return host && stdfs::is_directory(*host, ec);
}

bool isFile(const std::string& windowsPath) {
  const auto host = platform::fs::hostPath(windowsPath);
  std::error_code ec;
  return host && stdfs::is_regular_file(*host, ec);
}

// --- open-file dialog -----------------------------------------------------------------

struct OpenState {
  OPENFILENAMEA* request;
  std::vector<std::pair<std::string, std::string>> filters;  // display text, patterns
  std::string folder;
};

void fillEntries(HWND dialog, OpenState& state) {
  SetDlgItemTextA(dialog, kFolderLabel, state.folder.c_str());
  SendDlgItemMessageA(dialog, kEntries, LB_RESETCONTENT, 0, 0);
  const Listing listing = listFolder(state.folder);
  if (state.folder.size() > 3) SendDlgItemMessageA(dialog, kEntries, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("[..]"));
  for (const std::string& f : listing.folders)
    SendDlgItemMessageA(dialog, kEntries, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("[" + f + "]").c_str()));
  const LRESULT type = SendDlgItemMessageA(dialog, kFileTypes, CB_GETCURSEL, 0, 0);
  const std::string patterns = type >= 0 && static_cast<std::size_t>(type) < state.filters.size()
                                   ? state.filters[static_cast<std::size_t>(type)].second
                                   : "*.*";
  for (const std::string& file : listing.files) {
    bool shown = false;
    std::size_t start = 0;
    while (!shown && start <= patterns.size()) {
      const std::size_t end = std::min(patterns.find(';', start), patterns.size());
      std::string pattern = patterns.substr(start, end - start);
      if (pattern == "*.*") pattern = "*";
      shown = fnmatch(pattern.c_str(), file.c_str(), FNM_CASEFOLD) == 0;
      start = end + 1;
    }
    if (shown) SendDlgItemMessageA(dialog, kEntries, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(file.c_str()));
  }
}

std::string entryText(HWND dialog, int id, LRESULT index) {
  char text[MAX_PATH * 2] = {};
  const UINT get = id == kEntries ? LB_GETTEXT : CB_GETLBTEXT;
  const UINT length = id == kEntries ? LB_GETTEXTLEN : CB_GETLBTEXTLEN;
  if (SendDlgItemMessageA(dialog, id, length, static_cast<WPARAM>(index), 0) >= static_cast<LRESULT>(sizeof(text))) return {};
  SendDlgItemMessageA(dialog, id, get, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
  return text;
}

// A folder entry ("[name]") opens the folder; a file entry becomes the file name.
void openEntry(HWND dialog, OpenState& state, bool enterFolders) {
  const LRESULT index = SendDlgItemMessageA(dialog, kEntries, LB_GETCURSEL, 0, 0);
  if (index < 0) return;
  const std::string text = entryText(dialog, kEntries, index);
  if (text.size() > 2 && text.front() == '[' && text.back() == ']') {
    if (!enterFolders) return;
    const std::string name = text.substr(1, text.size() - 2);
    state.folder = name == ".." ? parentOf(state.folder) : joinPath(state.folder, name);
    fillEntries(dialog, state);
    return;
  }
  SetDlgItemTextA(dialog, kFileName, text.c_str());
}

bool finishOpen(HWND dialog, OpenState& state) {
  char typed[MAX_PATH * 2] = {};
  GetDlgItemTextA(dialog, kFileName, typed, sizeof(typed));
  std::string name = typed;
  if (name.empty()) return false;
  std::string path = (name.size() > 1 && name[1] == ':') ? name : joinPath(state.folder, name);
  if (isFolder(path)) {
    state.folder = path;
    SetDlgItemTextA(dialog, kFileName, "");
    fillEntries(dialog, state);
    return false;
  }
  const std::string leaf = path.substr(path.find_last_of('\\') + 1);
  if (leaf.find('.') == std::string::npos && state.request->lpstrDefExt && *state.request->lpstrDefExt)
    path += std::string(".") + state.request->lpstrDefExt;
  if ((state.request->Flags & OFN_FILEMUSTEXIST) && !isFile(path)) {
    MessageBoxA(dialog, (leaf + "\nFile not found.\nPlease verify the correct file name was given.").c_str(),
                state.request->lpstrTitle ? state.request->lpstrTitle : "Open", MB_OK | MB_ICONEXCLAMATION);
    return false;
  }
  if (!state.request->lpstrFile || path.size() >= state.request->nMaxFile) return false;
  std::memcpy(state.request->lpstrFile, path.c_str(), path.size() + 1);
  state.request->nFileOffset = static_cast<WORD>(path.find_last_of('\\') + 1);
  const auto dot = path.find_last_of('.');
  state.request->nFileExtension = static_cast<WORD>(dot == std::string::npos || dot < state.request->nFileOffset ? 0 : dot + 1);
  return true;
}

INT_PTR openProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<OpenState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<OpenState*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    for (const std::string& drive : driveRoots())
      SendDlgItemMessageA(dialog, kDrives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drive.c_str()));
    for (const auto& filter : state->filters)
      SendDlgItemMessageA(dialog, kFileTypes, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(filter.first.c_str()));
    const DWORD first = state->request->nFilterIndex ? state->request->nFilterIndex - 1 : 0;
    SendDlgItemMessageA(dialog, kFileTypes, CB_SETCURSEL, first, 0);
    if (state->request->Flags & OFN_HIDEREADONLY) ShowWindow(GetDlgItem(dialog, kReadOnly), SW_HIDE);
    if (state->request->lpstrFile && *state->request->lpstrFile) SetDlgItemTextA(dialog, kFileName, state->request->lpstrFile);
    fillEntries(dialog, *state);
    return TRUE;
  }
  if (message != WM_COMMAND || !state) return FALSE;
  const int id = LOWORD(wParam);
  const WORD code = HIWORD(wParam);
  if (id == kEntries && code == LBN_SELCHANGE) openEntry(dialog, *state, false);
  if (id == kEntries && code == LBN_DBLCLK) openEntry(dialog, *state, true);
  if ((id == kFileTypes || id == kDrives) && code == CBN_SELCHANGE) {
    if (id == kDrives) {
      const LRESULT drive = SendDlgItemMessageA(dialog, kDrives, CB_GETCURSEL, 0, 0);
      if (drive >= 0) state->folder = entryText(dialog, kDrives, drive);
    }
    fillEntries(dialog, *state);
  }
  if (id == IDOK && code == BN_CLICKED && finishOpen(dialog, *state)) EndDialog(dialog, IDOK);
  if (id == IDCANCEL && code == BN_CLICKED) EndDialog(dialog, IDCANCEL);
  return TRUE;
}

DialogTemplate openTemplate(const char* title) {
  DialogTemplate t;
  t.caption = title ? title : "Open";
  t.cx = 280;
  t.cy = 190;
  t.controls = {
      tpl::label("Drive:", IDC_STATIC, 7, 9, 30, 8),
      tpl::dropDownList(kDrives, 40, 7, 50, 80),
      tpl::label("", kFolderLabel, 96, 9, 177, 8),
      tpl::listBox(kEntries, 7, 22, 266, 110),
      tpl::label("File name:", IDC_STATIC, 7, 140, 50, 8),
      tpl::edit(kFileName, 60, 138, 155, 12),
      tpl::defPushButton("Open", IDOK, 223, 137, 50, 14),
      tpl::label("Files of type:", IDC_STATIC, 7, 158, 50, 8),
      tpl::dropDownList(kFileTypes, 60, 156, 155, 80),
      tpl::pushButton("Cancel", IDCANCEL, 223, 155, 50, 14),
      tpl::checkBox("Open as read-only", kReadOnly, 60, 173, 100, 10),
  };
  return t;
}

// --- folder chooser -------------------------------------------------------------------

struct ChooserState {
  BROWSEINFOA* request;
  std::vector<std::string> paths;  // by tree item value
  std::vector<bool> filled;
  std::string chosen;
};

HTREEITEM addFolderItem(HWND tree, HTREEITEM parent, const std::string& text, ChooserState& state, const std::string& path) {
  TVINSERTSTRUCTA insert{};
  insert.hParent = parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM;
  insert.item.pszText = const_cast<char*>(text.c_str());
  insert.item.lParam = static_cast<LPARAM>(state.paths.size());
  state.paths.push_back(path);
  state.filled.push_back(false);
  return TreeView_InsertItem(tree, &insert);
}

INT_PTR chooserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* state = reinterpret_cast<ChooserState*>(GetWindowLongPtrA(dialog, DWLP_USER));
  HWND tree = GetDlgItem(dialog, kChooserTree);
  if (message == WM_INITDIALOG) {
    state = reinterpret_cast<ChooserState*>(lParam);
    SetWindowLongPtrA(dialog, DWLP_USER, lParam);
    SetDlgItemTextA(dialog, kChooserTitle, state->request->lpszTitle ? state->request->lpszTitle : "");
    for (const std::string& drive : driveRoots()) addFolderItem(tree, TVI_ROOT, drive.substr(0, 2), *state, drive);
    EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
    return TRUE;
  }
  if (!state) return FALSE;
  if (message == WM_NOTIFY) {
    const auto* notice = reinterpret_cast<const NMTREEVIEWA*>(lParam);
    if (notice->hdr.code != TVN_SELCHANGEDA) return FALSE;
    const auto index = static_cast<std::size_t>(notice->itemNew.lParam);
    if (index >= state->paths.size()) return FALSE;
    const std::string path = state->paths[index];  // copied: adding items grows the list
    if (!state->filled[index]) {
      state->filled[index] = true;
      for (const std::string& folder : listFolder(path).folders)
        addFolderItem(tree, notice->itemNew.hItem, folder, *state, joinPath(path, folder));
      TreeView_Expand(tree, notice->itemNew.hItem, TVE_EXPAND);
    }
    state->chosen = path;
    EnableWindow(GetDlgItem(dialog, IDOK), TRUE);
    return TRUE;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK && !state->chosen.empty()) EndDialog(dialog, IDOK);
    if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
  }
  return TRUE;
}

DialogTemplate chooserTemplate() {
  DialogTemplate t;
  t.caption = "Browse for Folder";
  t.cx = 212;
  t.cy = 196;
  t.controls = {
      tpl::label("", kChooserTitle, 7, 7, 198, 16),
      tpl::treeView(kChooserTree, 7, 26, 198, 140),
      tpl::defPushButton("OK", IDOK, 100, 175, 50, 14),
      tpl::pushButton("Cancel", IDCANCEL, 155, 175, 50, 14),
  };
  return t;
}

INT_PTR runBuiltIn(const DialogTemplate& t, HWND owner, DLGPROC proc, void* state) {
  using namespace platform::ui::detail;
  const std::uintptr_t dialog = createDialogWindow(t, WindowRole::kDialog, 0, fromHwnd(owner), proc, nullptr);
  callDialogProc(dialog, WM_INITDIALOG, 0, reinterpret_cast<LPARAM>(state));
  return runModal(dialog, fromHwnd(owner));
}

}  // namespace

BOOL GetOpenFileNameA(OPENFILENAMEA* request) noexcept {
  if (!request) return FALSE;
  OpenState state{request, {}, {}};
  // The filter text: display, NUL, patterns, NUL, ..., a final NUL.
  for (const char* p = request->lpstrFilter; p && *p;) {
    std::string display = p;
    p += display.size() + 1;
    std::string patterns = p;
    p += patterns.size() + 1;
    state.filters.emplace_back(display, patterns);
  }
  if (state.filters.empty()) state.filters.emplace_back("All Files", "*.*");
  state.folder = request->lpstrInitialDir && isFolder(request->lpstrInitialDir) ? request->lpstrInitialDir : "C:\\";
  return runBuiltIn(openTemplate(request->lpstrTitle), request->hwndOwner, openProc, &state) == IDOK;
}

LPITEMIDLIST SHBrowseForFolderA(BROWSEINFOA* request) noexcept {
  if (!request) return nullptr;
  ChooserState state{request, {}, {}, {}};
  if (runBuiltIn(chooserTemplate(), request->hwndOwner, chooserProc, &state) != IDOK) return nullptr;
  if (request->pszDisplayName) {
    std::string leaf = state.chosen.size() <= 3 ? state.chosen.substr(0, 2) : state.chosen.substr(state.chosen.find_last_of('\\') + 1);
    leaf.resize(std::min<std::size_t>(leaf.size(), MAX_PATH - 1));
    std::memcpy(request->pszDisplayName, leaf.c_str(), leaf.size() + 1);
  }
  // The item list of the stand-in is the path's text.
  auto* list = static_cast<char*>(CoTaskMemAlloc(state.chosen.size() + 1));
  if (!list) return nullptr;
  std::memcpy(list, state.chosen.c_str(), state.chosen.size() + 1);
  return reinterpret_cast<LPITEMIDLIST>(list);
}

BOOL SHGetPathFromIDListA(PCIDLIST_ABSOLUTE list, LPSTR path) noexcept {
  if (!list || !path) return FALSE;
  const char* text = reinterpret_cast<const char*>(list);
  const std::size_t n = strnlen(text, MAX_PATH);
  if (n >= MAX_PATH) return FALSE;
  std::memcpy(path, text, n + 1);
  return TRUE;
}
