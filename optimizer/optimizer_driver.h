#pragma once
// The markup optimizer's entry: picks the CSS or the HTML pass for one buffered body and
// hands back a strictly shorter body, or nothing (the body then goes out as it came).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "optimizer/optimizer_state.h"

namespace optimizer {

struct Switches {
  bool WsWhite = true;
  bool WsComment = true;
  bool WsLower = true;
  bool WsCss = true;
  bool WsCssCom = true;
};

// The body of the file at physicalPath (its name picks the CSS pass); siteRoot bounds the
// style sheets a page may name. A body holding a NUL byte is not optimised. sheetsRead, when
// given, receives the style sheets the page named, whatever the result.
std::optional<std::string> OptimizeBody(std::string_view body, std::string_view physicalPath, std::string_view siteRoot,
                                        const Switches& switches,
                                        std::vector<platform::fs::StampedFile>* sheetsRead = nullptr);

}  // namespace optimizer
