#pragma once
// Learning "white-space" selectors from CSS: from a style element, a comment inside one,
// or a linked or imported style sheet.

#include <string_view>

#include "optimizer/optimizer_state.h"

namespace optimizer {

// Adds a persistent selector for every selector of a rule block that mentions
// "white-space"; follows "@import" names. Nothing unless the text holds "white-space" or '@'.
void LearnFromCss(OptimizerState& state, std::string_view css);

// Reads the style sheet named (relative to the folder of the page or sheet that names it,
// or to the site's root when it starts with '/' or '\') and learns from it. Names that
// leave the site's root, sheets already read for this document, imports nested too deep
// and files larger than a style sheet would be (over 1 MB) are ignored.
void LearnFromFile(OptimizerState& state, std::string_view name);

}  // namespace optimizer
