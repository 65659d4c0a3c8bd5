#include "mmc/input_request.h"

#include <cstdlib>

#include "platform/ui/input.h"

namespace mmc {

namespace {

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string decode(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hexDigit(text[i + 1]) >= 0 &&
               hexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::uintptr_t handleValue(std::string_view body, std::string_view name) {
  return static_cast<std::uintptr_t>(std::strtoull(formValue(body, name).c_str(), nullptr, 10));
}

}  // namespace

std::string formValue(std::string_view body, std::string_view name) {
  std::size_t start = 0;
  while (start <= body.size()) {
    const std::size_t end = std::min(body.find('&', start), body.size());
    const std::string_view pair = body.substr(start, end - start);
    const std::size_t equals = pair.find('=');
    if (equals != std::string_view::npos && decode(pair.substr(0, equals)) == name) return decode(pair.substr(equals + 1));
    start = end + 1;
  }
  return {};
}

bool deliverInput(std::string_view body) {
  namespace input = platform::ui::input;
  const std::string action = formValue(body, "action");
  const std::uintptr_t target = handleValue(body, "target");
  const int index = std::atoi(formValue(body, "index").c_str());
  if (!input::accepts(target)) return false;
  // What follows may run a modal dialog's loop and return only when it ends.
  if (action == "click") return input::click(target);
  if (action == "type") return input::type(target, formValue(body, "text"));
  if (action == "select") return input::selectEntry(target, index, formValue(body, "extend") == "1");
  if (action == "dblclick") return input::doubleClickEntry(target, index);
  if (action == "tree-select") return input::selectTreeItem(target, handleValue(body, "item"));
  if (action == "tree-toggle") return input::toggleTreeItem(target, handleValue(body, "item"));
  if (action == "tree-dblclick") return input::doubleClickTreeItem(target, handleValue(body, "item"));
  if (action == "slider") return input::setSliderPosition(target, index);
  if (action == "mousedown") return input::mouseDown(target);
  if (action == "page") return input::selectSheetPage(target, static_cast<std::size_t>(index));
  if (action == "close") return input::close(target);
  return false;
}

bool acceptsInput(std::string_view body) {
  return platform::ui::input::accepts(static_cast<std::uintptr_t>(std::strtoull(formValue(body, "target").c_str(), nullptr, 10)));
}

}  // namespace mmc
