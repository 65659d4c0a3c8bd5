#pragma once
// Converts a settings store of version 1.4 or earlier, whose rule lists are trees of
// registry keys, to the current layout of list values, in place and beside the old trees.
// Stops at the first site already converted; failures are not reported.

namespace setup {

void UpgradeSettings();

}  // namespace setup
