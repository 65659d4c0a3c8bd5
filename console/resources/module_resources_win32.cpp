// Windows finds a module's resources in its image, where the resource compiler put them
// (squashconsole.rc, written from the same templates): nothing to hand over at load time.
#include "console/resources/module_resources.h"

namespace console::res {

void registerModuleResources(HINSTANCE) {}

}  // namespace console::res
