#pragma once
// Everything the console's module holds as resources, registered when the module loads.

#include "platform/ui/resources.h"

namespace console::res {

const platform::ui::ResourceTable& resourceTable();

}  // namespace console::res
