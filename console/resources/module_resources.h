#pragma once
// Makes the module's dialogs, strings and icon known to the window system when it loads.

#include "platform/ui/win_user.h"

namespace console::res {

void registerModuleResources(HINSTANCE instance);

}  // namespace console::res
