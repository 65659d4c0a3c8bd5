#include "optimizer/css_optimizer.h"

#include <algorithm>
#include <cctype>

namespace optimizer {

namespace {

// Where the string that opens at `at` ends (after its closing quote): a backslash escapes
// the next character; a bare line end or the end of the text ends a string left open. That
// line end is taken with the string, as it came: made a blank, it would no longer end the
// string, which would run on over the rules that follow.
std::size_t stringEnd(std::string_view text, std::size_t at) {
  const char quote = text[at];
  std::size_t i = at + 1;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '\\') {
      // An escaped line end continues the string; a CR LF is one.
      i += i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n' ? 3 : 2;
    } else if (c == quote) {
      return i + 1;
    } else if (c == '\n' || c == '\r' || c == '\f') {
      return text.compare(i, 2, "\r\n") == 0 ? i + 2 : i + 1;
    } else {
      ++i;
    }
  }
  return text.size();
}

// "url(" at `at`, in any case, after something that cannot end a longer name ("myurl(").
bool urlOpensAt(std::string_view text, std::size_t at) {
  if (at + 4 > text.size() || text[at + 3] != '(') return false;
  for (std::size_t k = 0; k < 3; ++k)
    if ((text[at + k] | 0x20) != "url"[k]) return false;
  if (at == 0) return true;
  const char before = text[at - 1];
  return !(std::isalnum(static_cast<unsigned char>(before)) || before == '-' || before == '_' || before == '\\');
}

// Where the url(...) that opens at `at` ends (after its ')'); strings inside it count whole.
std::size_t urlEnd(std::string_view text, std::size_t at) {
  std::size_t i = at + 4;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ')') return i + 1;
    if (c == '"' || c == '\'') {
      i = stringEnd(text, i);
    } else {
      i += c == '\\' ? 2 : 1;
    }
  }
  return text.size();
}

bool nameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '\\' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// Whether `left` and `right` written side by side could read as one token where a comment
// between them made two: a name or number running on ("0/**/auto", "1/**/.5", "0/**/%"),
// a name becoming a function ("and/**/("), "@" or "#" taking a name, "|=" and its kin, or
// a new comment. Anywhere else a comment leaves nothing ("a/**/.b" is one compound).
bool couldJoin(char left, char right) {
  const bool digitLeft = std::isdigit(static_cast<unsigned char>(left)) != 0;
  if (nameChar(left) && (nameChar(right) || right == '(')) return true;
  if (digitLeft && (right == '%' || right == '.')) return true;
  if ((left == '.' || left == '+') && std::isdigit(static_cast<unsigned char>(right))) return true;
  if ((left == '@' || left == '#') && nameChar(right)) return true;
  if (right == '=' && (left == '$' || left == '^' || left == '|' || left == '*' || left == '~')) return true;
  return (left == '|' && right == '|') || (left == '/' && right == '*');
}

// Where the escape that starts with the backslash at `at` ends: up to six hex digits and
// one white space (a CR LF counts as one), or the one character escaped.
std::size_t escapeEnd(std::string_view text, std::size_t at) {
  std::size_t i = at + 1;
  if (i >= text.size()) return i;
  if (!std::isxdigit(static_cast<unsigned char>(text[i]))) return i + 1;
  const std::size_t digitsEnd = std::min(text.size(), i + 6);
  while (i < digitsEnd && std::isxdigit(static_cast<unsigned char>(text[i]))) ++i;
  if (i < text.size() && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') return i + 2;
  if (i < text.size() && isWhite(text[i])) return i + 1;
  return i;
}

}  // namespace

bool OptimizeCss(OptimizerState& state, std::string_view text) {
  if (!state.CssWhite) return state.append(text);
  // Strings and url(...) are values, not layout: their blanks and "/*" are the author's.
  static constexpr StopSet kStops("/\"'uU\\", true);
  std::string& out = state.Output;
  bool inRun = false;
  std::size_t i = 0;
  while (i < text.size()) {
    // Copy the span up to the next white space, slash, quote or possible "url(" whole.
    std::size_t start = i;
    while (i < text.size() && !kStops(text[i])) ++i;
    if (i > start) {
      out.append(text, start, i - start);
      inRun = false;
      continue;
    }
    const char c = text[i];
    if (c == '"' || c == '\'' || ((c == 'u' || c == 'U') && urlOpensAt(text, i))) {
      const std::size_t end = c == '"' || c == '\'' ? stringEnd(text, i) : urlEnd(text, i);
      out.append(text, i, end - i);
      inRun = isWhite(out.back());  // the line end that ended an open string starts a run
      i = end;
    } else if (isWhite(c)) {
      if (!inRun) out += ' ';
      inRun = true;
      ++i;
    } else if (c == '/' && state.CssComments && i + 1 < text.size() && text[i + 1] == '*') {
      // A comment writes nothing and leaves the run mark alone, so the blanks on its two
      // sides become one. "/*/" closes at its own star-slash. Where it kept two tokens apart
      // ("0/**/auto") a blank stays in its place.
      std::size_t end = text.find("*/", i + 1);
      i = end == std::string_view::npos ? text.size() : end + 2;
      if (!inRun && !out.empty() && i < text.size() && couldJoin(out.back(), text[i])) {
        out += ' ';
        inRun = true;
      }
    } else if (c == '\\') {
      // An escape is copied whole, with the one white space that may end a hex escape:
      // the blanks after it are the next run ("\\31  .b" keeps its descendant blank).
      const std::size_t end = escapeEnd(text, i);
      out.append(text, i, end - i);
      inRun = false;
      i = end;
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
