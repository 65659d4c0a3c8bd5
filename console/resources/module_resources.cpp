// The platform's window system keeps each module's resource table, handed over at load time.
#include "console/resources/module_resources.h"

#include "console/resources/resource_table.h"

namespace console::res {

void registerModuleResources(HINSTANCE instance) { platform::ui::registerResources(instance, &resourceTable()); }

}  // namespace console::res
