#include "optimizer/css_optimizer.h"


namespace optimizer {

bool OptimizeCss(OptimizerState& state, std::string_view text) {
  if (!state.CssWhite) return state.append(text);
  static constexpr StopSet kStops("/", true);
  std::string& out = state.Output;
  bool inRun = false;
  std::size_t i = 0;
  while (i < text.size()) {
    // Copy the span up to the next white space or slash whole.
    std::size_t start = i;
    while (i < text.size() && !kStops(text[i])) ++i;
    if (i > start) {
      out.append(text, start, i - start);
      inRun = false;
      continue;
    }
    const char c = text[i];
    if (isWhite(c)) {
      if (!inRun) out += ' ';
      inRun = true;
      ++i;
    } else if (state.CssComments && i + 1 < text.size() && text[i + 1] == '*') {
      // A comment writes nothing and leaves the run mark alone, so the blanks on its two
      // sides become one. "/*/" closes at its own star-slash.
      std::size_t end = text.find("*/", i + 1);
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else {
      out += c;
      inRun = false;
      ++i;
    }
  }
  // Written in place: the output only grows, so one check at the end fails exactly when a
  // check before each piece would have (and a failure discards the whole output).
  return out.size() < state.inputLength;
}

}  // namespace optimizer
