// Writes the console's resources as a Windows resource script, from the same templates the
// platform's window system shows, for the Windows build to compile with windres. Styles are
// written as numbers: the templates hold them whole.
//
// write_rc OUTPUT

#include <cstdio>
#include <string>

#include "console/resources/resource_ids.h"
#include "console/resources/resource_table.h"

namespace {

constexpr DWORD kSetFont = 0x40;  // DS_SETFONT: the FONT line applies
constexpr DWORD kSysMenu = 0x00080000;
// A property page lives inside the sheet; every other dialog is a modal window of its own.
constexpr DWORD kPageStyle = kSetFont | WS_CHILD | WS_DISABLED | WS_CAPTION;
constexpr DWORD kDialogStyle = kSetFont | DS_MODALFRAME | WS_POPUP | WS_CAPTION | kSysMenu;

// A resource script string: quotes doubled, backslashes escaped.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    if (c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

void writeDialog(std::FILE* out, const platform::ui::DialogTemplate& dialog) {
  const DWORD style = dialog.id == console::res::kMainPage ? kPageStyle : kDialogStyle;
  std::fprintf(out, "%u DIALOGEX 0, 0, %d, %d\nSTYLE 0x%08lX\nCAPTION %s\nFONT 8, \"MS Shell Dlg\"\nBEGIN\n",
               dialog.id, dialog.cx, dialog.cy, static_cast<unsigned long>(style), quoted(dialog.caption).c_str());
  for (const platform::ui::ControlTemplate& c : dialog.controls) {
    if (c.className == WC_STATIC && (c.style & 0xF) == SS_ICON) {
      std::fprintf(out, "    ICON %s, %d, %d, %d, %d, %d\n", c.caption.c_str(), c.id, c.x, c.y, c.cx, c.cy);
      continue;
    }
    // windres, as rc, adds WS_VISIBLE to every control: a hidden one has to take it out.
    const char* hidden = (c.style & WS_VISIBLE) ? "" : " | NOT 0x10000000";
    std::fprintf(out, "    CONTROL %s, %d, %s, 0x%08lX%s, %d, %d, %d, %d\n", quoted(c.caption).c_str(), c.id,
                 quoted(c.className).c_str(), static_cast<unsigned long>(c.style), hidden, c.x, c.y, c.cx, c.cy);
  }
  std::fprintf(out, "END\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_rc OUTPUT\n");
    return 2;
  }
  std::FILE* out = std::fopen(argv[1], "w");
  if (!out) return 1;
  const platform::ui::ResourceTable& table = console::res::resourceTable();
  std::fprintf(out, "// Written by write_rc from the console's resource templates.\n\n");
  for (const platform::ui::DialogTemplate* dialog : table.dialogs) writeDialog(out, *dialog);
  std::fprintf(out, "STRINGTABLE\nBEGIN\n");
  for (const platform::ui::StringResource& s : table.strings) std::fprintf(out, "    %u, %s\n", s.id, quoted(s.text).c_str());
  std::fprintf(out, "END\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
