#pragma once
// A module's resources: dialog templates, the string table and icons, as the resource
// compiler would have linked them into a Windows DLL. A module registers its table when it
// is loaded; its instance handle is the base address it was loaded at, as on Windows.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/win_user.h"

namespace platform::ui {

// One control of a dialog template; position and size in dialog units.
struct ControlTemplate {
  std::string className;
  std::string caption;
  int id = IDC_STATIC;
  short x = 0, y = 0, cx = 0, cy = 0;
  DWORD style = WS_CHILD | WS_VISIBLE;
};

struct DialogTemplate {
  WORD id = 0;
  std::string caption;
  short cx = 0, cy = 0;
  std::vector<ControlTemplate> controls;
};

struct StringResource {
  WORD id;
  const char* text;
};

// An icon as the SVG picture the browser draws.
struct IconResource {
  WORD id;
  const char* svg;
};

struct ResourceTable {
  std::vector<const DialogTemplate*> dialogs;
  std::vector<StringResource> strings;
  std::vector<IconResource> icons;
};

// The instance handle of the module that holds address.
HINSTANCE moduleOf(const void* address);
void registerResources(HINSTANCE instance, const ResourceTable* table);

const DialogTemplate* findDialog(HINSTANCE instance, LPCSTR name);
const char* findIcon(HINSTANCE instance, LPCSTR name);
// The id a resource name stands for (0 for a text name).
WORD resourceId(LPCSTR name);

// Builders for the controls of a template, named as the resource script's statements.
namespace tpl {
ControlTemplate pushButton(std::string_view caption, int id, short x, short y, short cx, short cy, DWORD extra = 0);
ControlTemplate defPushButton(std::string_view caption, int id, short x, short y, short cx, short cy);
ControlTemplate checkBox(std::string_view caption, int id, short x, short y, short cx, short cy, DWORD extra = 0);
ControlTemplate radioButton(std::string_view caption, int id, short x, short y, short cx, short cy, DWORD extra = 0);
ControlTemplate groupBox(std::string_view caption, int id, short x, short y, short cx, short cy);
ControlTemplate label(std::string_view caption, int id, short x, short y, short cx, short cy, DWORD extra = 0);
ControlTemplate edit(int id, short x, short y, short cx, short cy, DWORD extra = 0);
ControlTemplate listBox(int id, short x, short y, short cx, short cy, DWORD extra = 0);
ControlTemplate dropDownList(int id, short x, short y, short cx, short cy);
ControlTemplate treeView(int id, short x, short y, short cx, short cy);
ControlTemplate slider(int id, short x, short y, short cx, short cy);
ControlTemplate icon(int iconId, int id, short x, short y);
}  // namespace tpl

}  // namespace platform::ui
