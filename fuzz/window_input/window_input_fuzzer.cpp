// Input as the console page sends it, from a hostile page: any action on any handle (real
// controls, tree items, or made-up numbers), any index and any text, against a dialog with
// every kind of control whose procedure edits its lists in answer. Nothing may crash, and
// every list's selection stays inside the list.

#include <cstdlib>
#include <string>

#include "fuzz/fuzz_support.h"
#include "mmc/input_request.h"
#include "platform/ui/resources.h"
#include "platform/ui/window_view.h"

namespace {

using namespace platform::ui::tpl;

const platform::ui::DialogTemplate kTemplate = {
    1, "Everything", 200, 200,
    {
        pushButton("Add", 10, 0, 0, 10, 10),
        checkBox("Check", 11, 0, 0, 10, 10),
        radioButton("One", 12, 0, 0, 10, 10, WS_GROUP),
        radioButton("Two", 13, 0, 0, 10, 10),
        edit(14, 0, 0, 10, 10, ES_NUMBER),
        listBox(15, 0, 0, 10, 10, LBS_SORT | LBS_EXTENDEDSEL),
        listBox(16, 0, 0, 10, 10),
        dropDownList(17, 0, 0, 10, 10),
        treeView(18, 0, 0, 10, 10),
        slider(19, 0, 0, 10, 10),
        pushButton("Remove", 20, 0, 0, 10, 10, WS_DISABLED),
    }};
const platform::ui::ResourceTable kResources{{&kTemplate}, {}, {}};

// Grows and shrinks the lists and the tree as buttons are pressed and entries chosen.
INT_PTR proc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message != WM_COMMAND && message != WM_NOTIFY) return FALSE;
  const int id = LOWORD(wParam);
  if (message == WM_COMMAND && id == 10) {
    SendDlgItemMessageA(dialog, 15, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("entry"));
    SendDlgItemMessageA(dialog, 16, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>("other"));
    SendDlgItemMessageA(dialog, 17, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("choice"));
    TVINSERTSTRUCTA insert{};
    insert.hParent = TreeView_GetSelection(GetDlgItem(dialog, 18));
    if (!insert.hParent) insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<char*>("node");
    TreeView_InsertItem(GetDlgItem(dialog, 18), &insert);
    EnableWindow(GetDlgItem(dialog, 20), TRUE);
  }
  if (message == WM_COMMAND && (id == 15 || id == 16) && HIWORD(wParam) == LBN_DBLCLK) {
    const LRESULT at = SendDlgItemMessageA(dialog, id, LB_GETCURSEL, 0, 0);
    SendDlgItemMessageA(dialog, id, LB_DELETESTRING, static_cast<WPARAM>(at), 0);
  }
  if (message == WM_COMMAND && id == 11) {
    int selected[512];
    const LRESULT n = SendDlgItemMessageA(dialog, 15, LB_GETSELITEMS, 512, reinterpret_cast<LPARAM>(selected));
    for (LRESULT i = n - 1; i >= 0; --i)
      SendDlgItemMessageA(dialog, 15, LB_DELETESTRING, static_cast<WPARAM>(selected[i]), 0);
  }
  if (message == WM_COMMAND && id == 20) {
    HWND tree = GetDlgItem(dialog, 18);
    TreeView_DeleteItem(tree, TreeView_GetSelection(tree));
  }
  return TRUE;
}

HWND g_dialog = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::useTemporaryMachine();
  HINSTANCE instance = platform::ui::moduleOf(reinterpret_cast<const void*>(&proc));
  platform::ui::registerResources(instance, &kResources);
  g_dialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(1), nullptr, proc, 0);
  return g_dialog ? 0 : 1;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const char* kActions[] = {"click", "type", "select", "dblclick", "tree-select", "tree-toggle",
                                   "tree-dblclick", "slider", "mousedown", "page", "close", "nonsense"};
  // Each input starts from empty lists.
  SendDlgItemMessageA(g_dialog, 15, LB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(g_dialog, 16, LB_RESETCONTENT, 0, 0);
  SendDlgItemMessageA(g_dialog, 17, CB_RESETCONTENT, 0, 0);
  TreeView_DeleteAllItems(GetDlgItem(g_dialog, 18));
  fuzz_support::Input input(data, size);
  while (!input.rest().empty()) {
    const auto screen = platform::ui::takeScreen();
    const auto& controls = screen.windows.front().controls;
    // Mostly real targets, sometimes any number at all.
    std::uintptr_t target = controls[input.number(controls.size())].handle;
    if (input.number(8) == 0) target = std::strtoull(std::string(input.until(';')).c_str(), nullptr, 10);
    std::uintptr_t item = 0;
    const auto& tree = controls[8].tree;
    if (!tree.empty()) item = tree[input.number(tree.size())].handle;
    if (input.number(8) == 0) item = input.number(256) + 0x20000;
    const std::string body = std::string("action=") + kActions[input.number(std::size(kActions))] +
                             "&target=" + std::to_string(target) + "&item=" + std::to_string(item) +
                             "&index=" + std::to_string(static_cast<int>(input.number(256)) - 8) +
                             "&extend=" + (input.number(2) ? "1" : "0") + "&text=" + std::string(input.until('&'));
    if (mmc::acceptsInput(body)) mmc::deliverInput(body);
  }
  const auto after = platform::ui::takeScreen();
  for (const auto& c : after.windows.front().controls)
    if (c.current >= static_cast<int>(c.items.size()) || c.current < -1) std::abort();
  return 0;
}
