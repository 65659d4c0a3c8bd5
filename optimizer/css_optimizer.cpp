#include "optimizer/css_optimizer.h"

#include <string>

namespace optimizer {

bool OptimizeCss(OptimizerState& state, std::string_view text) {
  if (!state.CssWhite) return state.append(text);
  std::string work;
  work.reserve(text.size());
  bool inRun = false;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (isWhite(c)) {
      if (!inRun) work += ' ';
      inRun = true;
      ++i;
    } else if (state.CssComments && c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
      // A comment writes nothing and leaves the run mark alone, so the blanks on its two
      // sides become one. "/*/" closes at its own star-slash.
      std::size_t end = text.find("*/", i + 1);
      i = end == std::string_view::npos ? text.size() : end + 2;
    } else {
      work += c;
      inRun = false;
      ++i;
    }
  }
  return state.append(work);
}

}  // namespace optimizer
