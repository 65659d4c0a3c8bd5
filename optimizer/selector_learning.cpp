#include "optimizer/selector_learning.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <utility>
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
// Conditional blocks inside each other: each level reads its block again, so a page of
// thousands of nested "@media" blocks would keep a worker reading for minutes.
constexpr int kMaxBlockNesting = 8;
// The largest style sheets in use (whole frameworks in one file) are a few hundred
// kilobytes; a bigger file is no hand-made sheet, and reading it for every optimised page
// would cost a worker more than the page saves. Such a file teaches nothing.
constexpr std::size_t kMaxSheetBytes = 1 << 20;

// Where the last compound of a selector starts: after its last combinator outside brackets
// and parentheses ("code" of ".post code").
std::size_t subjectStart(std::string_view selector) {
  std::size_t start = selector.size();
  int nesting = 0;
  while (start > 0) {
    const char c = selector[start - 1];
    if (c == ']' || c == ')') ++nesting;
    if ((c == '[' || c == '(') && nesting > 0) --nesting;
    if (nesting == 0 && (isWhite(c) || c == '>' || c == '+' || c == '~')) break;
    --start;
  }
  return start;
}

// Of a compound, what names its elements: a class or id before a tag ("pre.x" is ".x"),
// without pseudo-classes or attribute tests; empty or "*" when it names none. Protecting
// every element it names keeps some white space a more exact match would drop, and never
// drops any the rule keeps.
std::string_view nameOf(std::string_view compound) {
  compound = compound.substr(0, compound.find_first_of(":["));
  const std::size_t mark = compound.find_first_of(".#");
  if (mark == std::string_view::npos) return compound;
  const std::size_t end = compound.find_first_of(".#", mark + 1);
  return compound.substr(mark, end == std::string_view::npos ? std::string_view::npos : end - mark);
}

// The selectors of a list, split at the commas between them, not at those inside ":is(...)"
// or "[...]".
std::vector<std::string_view> selectorList(std::string_view text) {
  std::vector<std::string_view> list;
  int nesting = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ',';
    if (c == '(' || c == '[') ++nesting;
    if ((c == ')' || c == ']') && nesting > 0) --nesting;
    if (c != ',' || (nesting > 0 && i < text.size())) continue;
    std::string_view one = text.substr(start, i - start);
    while (!one.empty() && isWhite(one.front())) one.remove_prefix(1);
    while (!one.empty() && isWhite(one.back())) one.remove_suffix(1);
    list.push_back(one);
    start = i + 1;
  }
  return list;
}

void protectNamed(OptimizerState& state, std::string_view piece) {
  if (piece.empty() || piece.size() > kMaxSelectorChars || piece == "." || piece == "#") return;
  WhiteSpaceSelector s;
  s.persistent = true;
  if (piece[0] == '.' || piece[0] == '#') {
    s.kind = piece[0] == '.' ? SelectorKind::kClass : SelectorKind::kId;
    s.selectorName = std::string(piece.substr(1));
  } else {
    s.kind = SelectorKind::kTag;
    s.selectorName = std::string(piece);
    s.elementName = std::string(piece);
  }
  state.Selectors.push_back(std::move(s));
}

// Selector lists inside selectors (":is(:where(...))") are followed this deep.
constexpr int kMaxSelectorNesting = 4;

void addSelectors(OptimizerState& state, std::string_view selectorText, int nesting = 0) {
  for (const std::string_view whole : selectorList(selectorText)) {
    const std::size_t start = subjectStart(whole);
    const std::string_view compound = whole.substr(start);
    // A pseudo-class that takes a list of selectors: any of them may be the element.
    bool listed = false;
    for (const std::string_view function : {":is(", ":where(", ":matches(", ":-webkit-any(", ":-moz-any("}) {
      const std::size_t at = platform::text::findNoCase(compound, function);
      if (at == std::string_view::npos || nesting >= kMaxSelectorNesting) continue;
      std::string_view inner = compound.substr(at + function.size());
      int depth = 1;
      std::size_t end = 0;
      for (; end < inner.size() && depth > 0; ++end) depth += inner[end] == '(' ? 1 : inner[end] == ')' ? -1 : 0;
      addSelectors(state, inner.substr(0, depth == 0 ? end - 1 : end), nesting + 1);
      listed = true;
    }
    const std::string_view name = nameOf(compound);
    if (!name.empty() && name != "*") {
      protectNamed(state, name);
      continue;
    }
    if (listed) continue;
    // Generated content ("[title]:after") holds no text of the page.
    if (platform::text::findNoCase(compound, ":before") != std::string_view::npos ||
        platform::text::findNoCase(compound, ":after") != std::string_view::npos)
      continue;
    // Nothing names the element ("[data-pre]", ".listing *"): an ancestor that holds it
    // protects it with its content; a sibling does not, and without either it may be any
    // element, so the rest of the page keeps its white space (a depth no end tag lowers).
    std::string_view before = whole.substr(0, start);
    auto trim = [&] {
      while (!before.empty() && isWhite(before.back())) before.remove_suffix(1);
    };
    trim();
    const bool sibling = !before.empty() && (before.back() == '+' || before.back() == '~');
    if (!before.empty() && before.back() == '>') {
      before.remove_suffix(1);
      trim();
    }
    if (!before.empty() && !sibling && nesting < kMaxSelectorNesting) {
      addSelectors(state, before, nesting + 1);
    } else if (!state.keepsAll) {
      state.keepsAll = true;
      ++state.KeepDepth;
    }
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
// the folder of the sheet that names it (the page's, for the page's own text), '/' or '\'
// names against the root. nullopt for names that leave it or that are not files of this
// site (URLs with a scheme).
std::optional<std::string> resolveSheet(const OptimizerState& state, std::string_view name) {
  name = name.substr(0, name.find_first_of("?#"));
  if (name.empty() || name.find(':') != std::string_view::npos || state.siteRoot.empty()) return std::nullopt;
  std::vector<std::string> rootParts;
  appendComponents(rootParts, state.siteRoot, 0);
  std::vector<std::string> parts;
  if (name[0] == '/' || name[0] == '\\') {
    parts = rootParts;
  } else {
    const std::string& base = state.sheetPath.empty() ? state.FilePath : state.sheetPath;
    const std::size_t cut = base.find_last_of('\\');
    if (cut == std::string::npos) return std::nullopt;
    appendComponents(parts, std::string_view(base).substr(0, cut), 0);
    if (parts.size() < rootParts.size()) return std::nullopt;
    for (std::size_t i = 0; i < rootParts.size(); ++i)
      if (!platform::text::equalsNoCase(parts[i], rootParts[i])) return std::nullopt;
  }
  if (!appendComponents(parts, name, rootParts.size()) || parts.size() <= rootParts.size()) return std::nullopt;
  std::string path;
  for (const auto& p : parts) path += (path.empty() ? "" : "\\") + p;
  return path;
}

// The sheet with its comments and HTML comment markers turned into blanks (strings kept
// whole): a comment before a selector is no part of its name.
std::string withoutComments(std::string_view css) {
  std::string out;
  out.reserve(css.size());
  char quote = 0;
  for (std::size_t i = 0; i < css.size(); ++i) {
    const char c = css[i];
    if (quote) {
      out += c;
      if (c == '\\' && i + 1 < css.size()) {
        out += css[++i];
      } else if (c == quote) {
        quote = 0;
      }
    } else if (c == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      const std::size_t close = css.find("*/", i + 2);
      i = close == std::string_view::npos ? css.size() : close + 1;
      out += ' ';
    } else if (css.substr(i, 4) == "<!--" || css.substr(i, 3) == "-->") {
      // The markers that hide a sheet from old browsers are no part of a selector.
      i += css[i] == '<' ? 3 : 2;
      out += ' ';
    } else {
      if (c == '"' || c == '\'') quote = c;
      out += c;
    }
  }
  return out;
}

// Where the block opened at `open` ends: behind its matching '}', or the end of the text.
std::size_t blockEnd(std::string_view css, std::size_t open) {
  int depth = 0;
  for (std::size_t i = open; i < css.size(); ++i) {
    if (css[i] == '{') ++depth;
    if (css[i] == '}' && --depth == 0) return i + 1;
  }
  return css.size();
}

// The sheet an "@import" names, quoted or in url(...); empty when none.
std::string_view importedName(std::string_view rule) {
  std::size_t start = rule.find_first_of("\"'(");
  if (start == std::string_view::npos) return {};
  char close = rule[start] == '(' ? ')' : rule[start];
  if (close == ')') {
    while (start + 1 < rule.size() && (isWhite(rule[start + 1]) || rule[start + 1] == '"' || rule[start + 1] == '\'')) ++start;
  }
  std::size_t end = rule.find_first_of(close == ')' ? "\"') \t\r\n" : std::string_view(&close, 1), start + 1);
  if (end == std::string_view::npos) return {};
  return rule.substr(start + 1, end - start - 1);
}

// Property names ignore case in CSS: "WHITE-SPACE:pre" keeps white space as well.
bool namesWhiteSpace(std::string_view text) { return platform::text::findNoCase(text, "white-space") != std::string_view::npos; }

// Whether an at-rule's block holds style rules, by its keyword ("@media screen", "@layer base").
bool holdsRules(std::string_view head) {
  const std::string_view keyword = head.substr(0, head.find_first_of(" \t\r\n\f("));
  for (const char* grouping : {"@media", "@supports", "@layer", "@container", "@scope", "@document"})
    if (platform::text::equalsNoCase(keyword, grouping)) return true;
  return false;
}

void learnFromRules(OptimizerState& state, std::string_view css, int nesting = 0) {
  std::size_t pos = 0;
  while (pos < css.size()) {
    while (pos < css.size() && (isWhite(css[pos]) || css[pos] == ';' || css[pos] == '}')) ++pos;
    if (pos >= css.size()) return;
    if (css[pos] == '@') {
      // An at-rule ends at its ';' or with its block. Rules inside a block that holds rules
      // (@media, @supports, @layer...) count as any other; other blocks (@font-face, @page)
      // hold none.
      const std::size_t stop = css.find_first_of(";{", pos);
      const std::string_view head = css.substr(pos, stop == std::string_view::npos ? std::string_view::npos : stop - pos);
      if (head.size() > 7 && platform::text::equalsNoCase(head.substr(0, 7), "@import")) {
        const std::string_view name = importedName(head);
        if (!name.empty() && name.size() <= kMaxSelectorChars) LearnFromFile(state, name);
      }
      if (stop == std::string_view::npos) return;
      if (css[stop] == ';') {
        pos = stop + 1;
        continue;
      }
      const std::size_t end = blockEnd(css, stop);
      if (holdsRules(head) && nesting < kMaxBlockNesting) learnFromRules(state, css.substr(stop + 1, end - stop - 1), nesting + 1);
      pos = end;
      continue;
    }
    const std::size_t open = css.find('{', pos);
    if (open == std::string_view::npos) return;
    const std::string_view selectorText = css.substr(pos, open - pos);
    const std::size_t end = blockEnd(css, open);
    const std::string_view block = css.substr(open, end - open);
    // A rule too long to learn from (a reset's list of tags, a data: image) is passed over;
    // the rules after it still count.
    if (selectorText.size() <= kMaxSelectorChars && block.size() <= kMaxBlockChars && namesWhiteSpace(block))
      addSelectors(state, selectorText);
    pos = end;
  }
}

}  // namespace

void LearnFromCss(OptimizerState& state, std::string_view css) {
  if (!namesWhiteSpace(css) && css.find('@') == std::string_view::npos) return;
  learnFromRules(state, withoutComments(css));
}

void LearnFromFile(OptimizerState& state, std::string_view name) {
  if (state.importDepth >= kMaxImportDepth) return;
  auto path = resolveSheet(state, name);
  if (!path) return;
  // Each sheet once per document: sheets that import each other (or themselves) end here.
  if (!state.sheetsRead.insert(upper(*path)).second) return;
  state.sheetStamps.push_back({*path, platform::fs::stampFile(*path)});
  auto file = platform::fs::openFile(*path, "rb");
  if (!file) return;
  std::string text;
  char buffer[8192];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0;) {
    text.append(buffer, n);
    if (text.size() > kMaxSheetBytes) return;
  }
  file.reset();
  ++state.importDepth;
  std::string naming = std::exchange(state.sheetPath, *path);
  LearnFromCss(state, text);
  state.sheetPath = std::move(naming);
  --state.importDepth;
}

}  // namespace optimizer
