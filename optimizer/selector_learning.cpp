#include "optimizer/selector_learning.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "optimizer/css_optimizer.h"
#include "platform/fs/file_api.h"
#include "platform/text/ascii_case.h"

namespace optimizer {

namespace {

constexpr std::size_t kMaxSelectorChars = 254;
constexpr std::size_t kMaxBlockChars = 511;
// Deep enough for real sheet hierarchies, small enough that a chain of distinct sheets
// cannot keep a worker thread reading.
constexpr int kMaxImportDepth = 8;

void addSelectors(OptimizerState& state, std::string_view selectorText) {
  std::size_t start = 0;
  while (start <= selectorText.size()) {
    std::size_t comma = selectorText.find(',', start);
    if (comma == std::string_view::npos) comma = selectorText.size();
    std::string piece;
    for (char c : selectorText.substr(start, comma - start))
      if (!isWhite(c)) piece += c;
    start = comma + 1;
    if (piece.empty() || piece.size() > kMaxSelectorChars) continue;
    WhiteSpaceSelector s;
    s.persistent = true;
    if (piece[0] == '.' || piece[0] == '#') {
      s.kind = piece[0] == '.' ? SelectorKind::kClass : SelectorKind::kId;
      s.selectorName = piece.substr(1);
    } else {
      s.kind = SelectorKind::kTag;
      s.selectorName = piece;
      s.elementName = piece;
    }
    state.Selectors.push_back(std::move(s));
  }
}

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Appends the components of text; ".." removes the last one but never goes below floor.
bool appendComponents(std::vector<std::string>& parts, std::string_view text, std::size_t floor) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view part = text.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (parts.size() <= floor) return false;
      parts.pop_back();
      continue;
    }
    parts.emplace_back(part);
  }
  return true;
}

// Resolves a sheet name to a Windows path inside the site's root: relative names against
// the page's folder, '/' or '\' names against the root. nullopt for names that leave it
// or that are not files of this site (URLs with a scheme).
std::optional<std::string> resolveSheet(const OptimizerState& state, std::string_view name) {
  name = name.substr(0, name.find_first_of("?#"));
  if (name.empty() || name.find(':') != std::string_view::npos || state.siteRoot.empty()) return std::nullopt;
  std::vector<std::string> rootParts;
  appendComponents(rootParts, state.siteRoot, 0);
  std::vector<std::string> parts;
  if (name[0] == '/' || name[0] == '\\') {
    parts = rootParts;
  } else {
    const std::size_t cut = state.FilePath.find_last_of('\\');
    if (cut == std::string::npos) return std::nullopt;
    appendComponents(parts, std::string_view(state.FilePath).substr(0, cut), 0);
    if (parts.size() < rootParts.size()) return std::nullopt;
    for (std::size_t i = 0; i < rootParts.size(); ++i)
      if (!platform::text::equalsNoCase(parts[i], rootParts[i])) return std::nullopt;
  }
  if (!appendComponents(parts, name, rootParts.size()) || parts.size() <= rootParts.size()) return std::nullopt;
  std::string path;
  for (const auto& p : parts) path += (path.empty() ? "" : "\\") + p;
  return path;
}

}  // namespace

void LearnFromCss(OptimizerState& state, std::string_view css) {
  if (css.find("white-space") == std::string_view::npos && css.find('@') == std::string_view::npos) return;
  std::size_t pos = 0;
  while (pos < css.size()) {
    if (css[pos] == '<' || css[pos] == '>') return;
    std::size_t next = css.find_first_of("<@{", pos);
    if (next == std::string_view::npos || css[next] == '<') return;
    if (css[next] == '@') {
      std::size_t open = css.find('"', next);
      if (open == std::string_view::npos) return;
      std::size_t close = css.find('"', open + 1);
      if (close == std::string_view::npos || close - open - 1 > kMaxSelectorChars) return;
      LearnFromFile(state, css.substr(open + 1, close - open - 1));
      // The import statement ends at its ';': the next selector starts after it, not at
      // the quote (";kbd" would protect nothing).
      std::size_t semicolon = css.find(';', close);
      std::size_t brace = css.find('{', close);
      pos = semicolon != std::string_view::npos && semicolon < brace ? semicolon + 1 : close + 1;
      continue;
    }
    std::string_view selectorText = css.substr(pos, next - pos);
    if (selectorText.size() > kMaxSelectorChars) return;
    std::size_t end = css.find_first_of("}<", next);
    std::size_t blockEnd = end == std::string_view::npos ? css.size() : (css[end] == '}' ? end + 1 : end);
    std::string_view block = css.substr(next, blockEnd - next);
    if (block.size() > kMaxBlockChars) return;
    if (block.find("white-space") != std::string_view::npos) addSelectors(state, selectorText);
    pos = blockEnd;
  }
}

void LearnFromFile(OptimizerState& state, std::string_view name) {
  if (state.importDepth >= kMaxImportDepth) return;
  auto path = resolveSheet(state, name);
  if (!path) return;
  // Each sheet once per document: sheets that import each other (or themselves) end here.
  if (!state.sheetsRead.insert(upper(*path)).second) return;
  auto file = platform::fs::openFile(*path, "rb");
  if (!file) return;
  std::string text;
  char buffer[8192];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0;) text.append(buffer, n);
  file.reset();
  ++state.importDepth;
  LearnFromCss(state, text);
  --state.importDepth;
}

}  // namespace optimizer
