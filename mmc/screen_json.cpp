#include "mmc/screen_json.h"

#include <cstdio>

#include "platform/text/wide_text.h"

namespace mmc {

namespace {

using platform::ui::ControlView;
using platform::ui::WindowRole;

void text(std::string& out, std::string_view value) {
  out += '"';
  // Texts are ANSI, which is UTF-8 here, as the page sends them back: each UTF-16 unit
  // of the text is written, escaped beyond ASCII (surrogate pairs as pairs).
  for (const WCHAR unit : platform::text::widen(value)) {
    switch (unit) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (unit < 0x20 || unit >= 0x80) {
          char escape[8];
          std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(unit));
          out += escape;
        } else {
          out += static_cast<char>(unit);
        }
    }
  }
  out += '"';
}

void field(std::string& out, const char* name) {
  if (out.back() != '{') out += ',';
  out += '"';
  out += name;
  out += "\":";
}

void number(std::string& out, const char* name, long long value) {
  field(out, name);
  out += std::to_string(value);
}

void flag(std::string& out, const char* name, bool value) {
  field(out, name);
  out += value ? "true" : "false";
}

void string(std::string& out, const char* name, std::string_view value) {
  field(out, name);
  text(out, value);
}

const char* roleName(WindowRole role) {
  switch (role) {
    case WindowRole::kSheet: return "sheet";
    case WindowRole::kMessageBox: return "messagebox";
    case WindowRole::kPage: return "page";
    case WindowRole::kControl: return "control";
    case WindowRole::kDialog: break;
  }
  return "dialog";
}

void controls(std::string& out, const std::vector<ControlView>& list) {
  field(out, "controls");
  out += '[';
  for (std::size_t i = 0; i < list.size(); ++i) {
    const ControlView& c = list[i];
    out += i ? ",{" : "{";
    number(out, "handle", static_cast<long long>(c.handle));
    number(out, "id", c.id);
    string(out, "cls", c.className);
    string(out, "text", c.text);
    number(out, "style", c.style);
    number(out, "x", c.x);
    number(out, "y", c.y);
    number(out, "cx", c.cx);
    number(out, "cy", c.cy);
    flag(out, "enabled", c.enabled);
    flag(out, "visible", c.visible);
    number(out, "check", c.check);
    number(out, "current", c.current);
    field(out, "items");
    out += '[';
    for (std::size_t k = 0; k < c.items.size(); ++k) {
      out += k ? ",{" : "{";
      string(out, "text", c.items[k].text);
      flag(out, "selected", c.items[k].selected);
      out += '}';
    }
    out += ']';
    field(out, "tree");
    out += '[';
    for (std::size_t k = 0; k < c.tree.size(); ++k) {
      out += k ? ",{" : "{";
      number(out, "handle", static_cast<long long>(c.tree[k].handle));
      string(out, "text", c.tree[k].text);
      number(out, "depth", c.tree[k].depth);
      flag(out, "expanded", c.tree[k].expanded);
      flag(out, "hasChildren", c.tree[k].hasChildren);
      flag(out, "selected", c.tree[k].selected);
      out += '}';
    }
    out += ']';
    number(out, "min", c.rangeMin);
    number(out, "max", c.rangeMax);
    number(out, "pos", c.position);
    number(out, "extent", c.horizontalExtent);
    if (!c.iconSvg.empty()) string(out, "icon", c.iconSvg);
    out += '}';
  }
  out += ']';
}

}  // namespace

std::string screenToJson(const platform::ui::Screen& screen) {
  std::string out = "{";
  number(out, "version", static_cast<long long>(screen.version));
  string(out, "cursor", screen.cursor);
  field(out, "openings");
  out += '[';
  for (std::size_t i = 0; i < screen.openings.size(); ++i) {
    out += i ? ",{" : "{";
    number(out, "serial", static_cast<long long>(screen.openings[i].serial));
    string(out, "path", screen.openings[i].windowsPath);
    out += '}';
  }
  out += ']';
  field(out, "windows");
  out += '[';
  for (std::size_t i = 0; i < screen.windows.size(); ++i) {
    const auto& w = screen.windows[i];
    out += i ? ",{" : "{";
    number(out, "handle", static_cast<long long>(w.handle));
    string(out, "role", roleName(w.role));
    string(out, "caption", w.caption);
    number(out, "owner", static_cast<long long>(w.owner));
    flag(out, "enabled", w.enabled);
    flag(out, "active", w.active);
    number(out, "cx", w.cx);
    number(out, "cy", w.cy);
    controls(out, w.controls);
    number(out, "activePage", static_cast<long long>(w.activePage));
    field(out, "pages");
    out += '[';
    for (std::size_t k = 0; k < w.pages.size(); ++k) {
      out += k ? ",{" : "{";
      number(out, "handle", static_cast<long long>(w.pages[k].handle));
      string(out, "title", w.pages[k].title);
      if (!w.pages[k].iconSvg.empty()) string(out, "icon", w.pages[k].iconSvg);
      controls(out, w.pages[k].controls);
      out += '}';
    }
    out += "]}";
  }
  out += "]}";
  return out;
}

}  // namespace mmc
