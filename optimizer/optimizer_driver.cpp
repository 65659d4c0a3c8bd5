#include "optimizer/optimizer_driver.h"

#include <cstring>
#include <string_view>

#include "optimizer/css_optimizer.h"
#include "optimizer/html_optimizer.h"
#include "platform/text/ascii_case.h"

namespace optimizer {

namespace {

// The path is the file's (the URL's path, no query): a style sheet is a file whose
// extension is ".css". A folder or a page merely holding ".css" in its name
// ("menu.cssfix\demo.htm", "howto.css.htm") is HTML, and the CSS pass would collapse its
// pre and script text.
bool namesStyleSheet(std::string_view path) {
  const std::size_t folderEnd = path.find_last_of("\\/");
  const std::string_view file = folderEnd == std::string_view::npos ? path : path.substr(folderEnd + 1);
  const std::size_t dot = file.rfind('.');
  return dot != std::string_view::npos && platform::text::equalsNoCase(file.substr(dot), ".css");
}

}  // namespace

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
  if (namesStyleSheet(st.FilePath) && st.CssWhite) {
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
