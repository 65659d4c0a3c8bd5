#pragma once
// One input from the browser (a form-encoded POST body) delivered to the windows.

#include <string>
#include <string_view>

namespace mmc {

// On the user-interface thread. False when the input names nothing that takes it. Input
// that opens a modal dialog returns when the dialog ends.
bool deliverInput(std::string_view formBody);
// On the user-interface thread: whether deliverInput would reach its target now.
bool acceptsInput(std::string_view formBody);

// "a=1&b=x%20y" -> the value of name, %-decoded ('+' is a space); empty when absent.
std::string formValue(std::string_view body, std::string_view name);

}  // namespace mmc
