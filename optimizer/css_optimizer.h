#pragma once
// The CSS pass: runs of white space become one blank and, with CssComments, comments go.
// Nothing else changes (blanks around braces, colons and semicolons stay, collapsed); strings
// and url(...) pass exactly as they are.

#include <string_view>

#include "optimizer/optimizer_state.h"

namespace optimizer {

constexpr bool isWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// A 256-entry table of the characters a scanning loop must stop at, so that the spans in
// between are found with one load per character.
struct StopSet {
  bool stop[256] = {};
  constexpr StopSet(std::string_view chars, bool white) {
    for (char c : chars) stop[static_cast<unsigned char>(c)] = true;
    if (white)
      for (char c : std::string_view(" \t\n\v\f\r")) stop[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool operator()(char c) const { return stop[static_cast<unsigned char>(c)]; }
};

// Appends the optimised text to state.Output under the output bound; false when the
// bound is hit. With CssWhite off the text is appended unchanged.
bool OptimizeCss(OptimizerState& state, std::string_view text);

}  // namespace optimizer
