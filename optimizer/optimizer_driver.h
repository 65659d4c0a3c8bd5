#pragma once
// The markup optimizer's entry: picks the CSS or the HTML pass for one buffered body and
// hands back a strictly shorter body, or nothing (the body then goes out as it came).

#include <optional>
#include <string>
#include <string_view>

#include "filter/request_state.h"

namespace optimizer {

struct Switches {
  bool WsWhite = true;
  bool WsComment = true;
  bool WsLower = true;
  bool WsCss = true;
  bool WsCssCom = true;
};

// Reads state.body and state.physicalPath; keeps its working record in
// state.optimizerState. siteRoot bounds the style sheets a page may name. A body holding
// a NUL byte is not optimised.
std::optional<std::string> OptimizeBody(filter::ResponseState& state, std::string_view siteRoot,
                                        const Switches& switches);

}  // namespace optimizer
