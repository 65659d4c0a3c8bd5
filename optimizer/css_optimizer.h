#pragma once
// The CSS pass: runs of white space become one blank and, with CssComments, comments go.
// Nothing else changes (blanks around braces, colons and semicolons stay, collapsed).

#include <string_view>

#include "optimizer/optimizer_state.h"

namespace optimizer {

constexpr bool isWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Appends the optimised text to state.Output under the output bound; false when the
// bound is hit. With CssWhite off the text is appended unchanged.
bool OptimizeCss(OptimizerState& state, std::string_view text);

}  // namespace optimizer
