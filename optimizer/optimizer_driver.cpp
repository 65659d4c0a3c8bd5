#include "optimizer/optimizer_driver.h"

#include <cstring>
#include <string_view>

#include "optimizer/css_optimizer.h"
#include "optimizer/html_optimizer.h"
#include "platform/text/ascii_case.h"

namespace optimizer {

std::optional<std::string> OptimizeBody(std::string_view body, std::string_view physicalPath, std::string_view siteRoot,
                                        const Switches& switches, std::vector<platform::fs::StampedFile>* sheetsRead) {
  if (physicalPath.empty()) return std::nullopt;
  OptimizerState st;
  st.FilePath = physicalPath;
  st.siteRoot = siteRoot;
  st.CollapseWhite = switches.WsWhite;
  st.DropComments = switches.WsComment;
  st.LowerNames = switches.WsLower;
  st.CssWhite = switches.WsCss;
  st.CssComments = switches.WsCssCom;
  // Everything after a NUL would be lost from the result: such a body stays as it is.
  if (std::memchr(body.data(), '\0', body.size())) return std::nullopt;
  st.inputLength = body.size();
  st.Output.reserve(body.size());
  bool ok;
  if (st.FilePath.find(".css") != std::string::npos && st.CssWhite) {
    ok = OptimizeCss(st, body);
  } else if (platform::text::findNoCase(body, "<html") != std::string_view::npos ||
             platform::text::findNoCase(body, "<body") != std::string_view::npos) {
    ok = OptimizeHtml(st, body);
  } else {
    return std::nullopt;
  }
  if (sheetsRead) *sheetsRead = std::move(st.sheetStamps);
  if (!ok || st.Output.empty()) return std::nullopt;
  return std::move(st.Output);
}

}  // namespace optimizer
