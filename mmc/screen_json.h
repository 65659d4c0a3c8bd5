#pragma once
// The windows as JSON for the console page.

#include <string>

#include "platform/ui/window_view.h"

namespace mmc {

std::string screenToJson(const platform::ui::Screen& screen);

}  // namespace mmc
