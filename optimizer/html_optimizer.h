#pragma once
// The HTML pass: one left-to-right reading, tag by tag, writing every tag anew; white space
// in text collapsed, comments dropped and names lower-cased as the switches say, and the
// content of script, style, pre, textarea and "white-space" elements left as it was. What a
// browser reads as text (a title's, xmp's or plaintext's content) is never read as tags.

#include <string_view>

#include "optimizer/optimizer_state.h"

namespace optimizer {

// Appends the optimised document to state.Output; false aborts the optimisation (an
// over-long name, or the output bound reached).
bool OptimizeHtml(OptimizerState& state, std::string_view html);

}  // namespace optimizer
