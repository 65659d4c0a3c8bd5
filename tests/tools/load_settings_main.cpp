// Runs one settings load against the machine named by TAMSIC_MACHINE, as the filter does
// when the web server starts it: exit 0 when the load succeeds.

#include <cstdio>

#include "settings/settings_loader.h"

int main() {
  settings::LoadedSettings loaded;
  if (!settings::LoadSettings(loaded)) {
    std::fprintf(stderr, "the settings load failed\n");
    return 1;
  }
  std::printf("%zu slots\n", loaded.table->SlotCount());
  return 0;
}
