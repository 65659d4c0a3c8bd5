#include "optimizer/html_optimizer.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "optimizer/css_optimizer.h"
#include "optimizer/selector_learning.h"
#include "platform/text/ascii_case.h"

namespace optimizer {

namespace {

// Names this long are not markup a browser would read; the document goes out unchanged.
constexpr std::size_t kMaxTagNameChars = 123;
constexpr std::size_t kMaxAttributeNameChars = 511;
constexpr std::size_t kMaxDeclarationChars = 1023;

// Name and value point into the document: nothing is copied until the tag is written.
struct Attribute {
  std::string_view name;
  std::optional<std::string_view> value;
  char quote = '\0';  // the quote the value came in, if any
  bool closed = true;  // false: the document ended inside the quoted value
};

char lowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

class HtmlReader {
 public:
  HtmlReader(OptimizerState& state, std::string_view text) : st_(state), s_(text) {}

  bool run() {
    st_.ScriptDepth = st_.StyleDepth = st_.KeepDepth = 0;
    while (pos_ < s_.size()) {
      // Output only grows, so checking the bound after each step fails exactly the
      // documents that a check before every single append would fail.
      if (!withinBound()) return false;
      bool ok;
      if (st_.StyleDepth && !endTagHere("style")) {
        // A style sheet's '<' (in a comment, a string, a "<!--") starts no tag: only its
        // end tag ends it, as in a browser.
        ok = styleText();
      } else if (!textElement_.empty() && (textElement_ == "plaintext" || !endTagHere(textElement_))) {
        ok = rawText();
      } else if (st_.ScriptDepth && !endTagHere("script")) {
        // A "<!--" in a script is the script's text (a one-line comment to its engine).
        ok = scriptText();
      } else if (at('<') && peek(1) == '!') {
        // Only "<!--" opens a comment and only "<!D" a declaration; a browser reads any
        // other "<!" ("<! - x >", "<! DOCTYPE", "<![CDATA[") as a bogus comment up to the
        // next '>', which goes as it came (in SVG a CDATA section is text).
        if (s_.compare(pos_, 4, "<!--") == 0) {
          pos_ += 4;
          ok = comment();
        } else if (peek(2) == 'D' || peek(2) == 'd') {
          pos_ += 2;
          ok = declaration();
        } else {
          const std::size_t end = s_.find('>', pos_);
          const std::size_t next = end == std::string_view::npos ? s_.size() : end + 1;
          put(s_.substr(pos_, next - pos_));
          pos_ = next;
          ok = true;
        }
      } else if (at('<') && peek(1) == '/') {
        pos_ += 2;
        ok = closingTag();
      } else if (at('<') && peek(1) == '?') {
        // Processing instructions disappear.
        std::size_t end = s_.find('>', pos_);
        pos_ = end == std::string_view::npos ? s_.size() : end + 1;
        ok = true;
      } else if (at('<') && startsName(peek(1))) {
        ++pos_;
        ok = openingTag();
      } else if (at('<')) {
        // "5 < 6", "a <> b": a '<' before no name is text, as browsers show it.
        put("<");
        ++pos_;
        ok = true;
      } else {
        ok = text();
      }
      if (!ok) return false;
    }
    return withinBound();
  }

 private:
  bool withinBound() const { return st_.Output.size() < st_.inputLength; }
  std::int32_t preDepth_ = 0;  // open pre, textarea, xmp, listing and plaintext elements
  std::string textElement_;     // the open element whose content is text, not tags (lower case)
  std::vector<std::pair<std::string, int>> nested_;
  // The elements a selector protects that are open, innermost last: only their end tags
  // release the protection. A stray "</code>" inside a pre must not end the pre's.
  std::vector<std::string> selectorOpened_;
  void put(std::string_view t) { st_.Output.append(t); }
  void putName(std::string_view name) {
    if (!st_.LowerNames) return put(name);
    for (char c : name) st_.Output.push_back(lowerChar(c));
  }

  static bool startsName(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
  char peek(std::size_t ahead) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }
  bool allowed() const { return st_.KeepDepth != 0 || !st_.DropComments; }

  bool collapse(std::string_view t) {
    if (!st_.CollapseWhite) {
      put(t);
      return true;
    }
    // Copy the spans between runs whole; each run becomes one blank.
    // The collapsed text is never longer than the text: write it in place.
    std::string& out = st_.Output;
    const std::size_t base = out.size();
    out.resize(base + t.size());
    char* d = out.data() + base;
    bool inRun = false;
    for (char c : t) {
      const bool white = isWhite(c);
      if (!white || !inRun) *d++ = white ? ' ' : c;
      inRun = white;
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
    return true;
  }

  bool text() {
    std::size_t end = s_.find('<', pos_);
    if (end == std::string_view::npos) end = s_.size();
    std::string_view t = s_.substr(pos_, end - pos_);
    pos_ = end;
    // Style text never comes here: a style element's text goes whole to its own pass.
    if (st_.KeepDepth == 0) {
      collapse(t);
    } else {
      put(t);
    }
    return true;
  }

  // Whether the end tag of the element named starts at `at`, in any case: the name ends
  // where a browser's does, so "</style >" ends a style and "</scriptx" no script.
  bool endTagAt(std::size_t at, std::string_view name) const {
    return at + 1 < s_.size() && s_[at] == '<' && s_[at + 1] == '/' && tagNameAt(at + 2, name);
  }
  bool openTagAt(std::size_t at, std::string_view name) const { return s_[at] == '<' && tagNameAt(at + 1, name); }
  // The name, in any case, followed by a blank, '/', '>' or the end of the text.
  bool tagNameAt(std::size_t at, std::string_view name) const {
    const std::size_t after = at + name.size();
    return after <= s_.size() && platform::text::equalsNoCase(s_.substr(at, name.size()), name) &&
           (after == s_.size() || kTagNameEnd(s_[after]));
  }
  static constexpr StopSet kTagNameEnd{"/>", true};
  bool endTagHere(std::string_view name) const { return endTagAt(pos_, name); }

  // The text from here to the element's end tag (or the document's end).
  std::string_view textUpToEndTag(std::string_view name) {
    std::size_t end = pos_;
    for (;; ++end) {
      end = s_.find("</", end);
      if (end == std::string_view::npos) {
        end = s_.size();
        break;
      }
      if (endTagAt(end, name)) break;
    }
    const std::string_view text = s_.substr(pos_, end - pos_);
    pos_ = end;
    return text;
  }

  // A style element's text up to its end tag, whole.
  bool styleText() {
    const std::string_view css = textUpToEndTag("style");
    LearnFromCss(st_, css);
    return OptimizeCss(st_, css);
  }

  // The content of a text area, a title, xmp or plaintext is text, tags and all (what a
  // form sends, what a reader sees), up to the element's own end tag; nothing ends
  // plaintext. Only a title's is not protected: its blanks collapse as a browser shows them.
  static bool holdsText(std::string_view name) {
    for (const char* element : {"textarea", "title", "xmp", "plaintext"})
      if (platform::text::equalsNoCase(name, element)) return true;
    return false;
  }
  bool rawText() {
    std::string_view t;
    if (textElement_ == "plaintext") {
      t = s_.substr(pos_);
      pos_ = s_.size();
    } else {
      t = textUpToEndTag(textElement_);
    }
    if (st_.KeepDepth == 0) return collapse(t);
    put(t);
    return true;
  }

  // A script's text up to its end tag as a browser finds it: after a "<!--", a "<script"
  // opens a block whose "</script" does not end the script, up to the next "-->" (old
  // pages write scripts from scripts that way).
  bool scriptText() {
    enum class Escape { kNone, kEscaped, kDoubly } escape = Escape::kNone;
    std::size_t end = pos_;
    for (; end < s_.size(); ++end) {
      if (escape != Escape::kNone && s_.compare(end, 3, "-->") == 0) {
        escape = Escape::kNone;
        end += 2;
      } else if (s_[end] != '<') {
        continue;
      } else if (escape == Escape::kNone && s_.compare(end, 4, "<!--") == 0) {
        escape = Escape::kEscaped;
        ++end;  // its dashes may close it at once ("<!-->")
      } else if (endTagAt(end, "script")) {
        if (escape != Escape::kDoubly) break;
        escape = Escape::kEscaped;
      } else if (escape == Escape::kEscaped && openTagAt(end, "script")) {
        escape = Escape::kDoubly;
      }
    }
    put(s_.substr(pos_, end - pos_));
    pos_ = end;
    return true;
  }

  bool declaration() {
    std::size_t end = s_.find('>', pos_);
    if (end == std::string_view::npos) end = s_.size();
    if (end - pos_ > kMaxDeclarationChars) return false;
    std::string_view decl = s_.substr(pos_, end - pos_);
    pos_ = end;  // the '>' is read as text
    put("<!");
    return collapse(decl);
  }

  // Reading starts after "<!--". The comment ends where a browser ends it: at once for
  // "<!-->" and "<!--->", else at "-->" or "--!>".
  bool comment() {
    if (at('>') || (at('-') && peek(1) == '>')) {
      pos_ += at('>') ? 1 : 2;
      if (allowed()) put("<!--  -->");
      return true;
    }
    // The first of the two endings, found in one pass: a search for each past the other
    // would read the rest of the page for every comment.
    std::size_t end = s_.find("--", pos_);
    std::size_t markerLength = 3;
    for (; end != std::string_view::npos; end = s_.find("--", end + 1)) {
      const std::string_view after = s_.substr(end + 2, 2);
      if (after.starts_with('>')) break;
      if (after == "!>") {
        markerLength = 4;
        break;
      }
    }
    if (end == std::string_view::npos) end = s_.size();
    while (pos_ < end && (s_[pos_] == '-' || isWhite(s_[pos_]))) ++pos_;
    std::string_view body = s_.substr(pos_, end - pos_);
    pos_ = end == s_.size() ? end : end + markerLength;
    if (allowed()) put("<!-- ");
    if (allowed()) put(body);
    if (allowed()) put(" -->");
    return true;
  }

  // +1 entering, -1 leaving an element whose content is protected. An end tag with no
  // such element open is ignored, as browsers ignore it: it must not unprotect the next one.
  void countElement(std::string_view name, int step) {
    std::int32_t* depth = nullptr;
    if (platform::text::equalsNoCase(name, "script")) {
      depth = &st_.ScriptDepth;
    } else if (platform::text::equalsNoCase(name, "style")) {
      depth = &st_.StyleDepth;
    } else if (platform::text::equalsNoCase(name, "pre") || platform::text::equalsNoCase(name, "textarea") ||
               platform::text::equalsNoCase(name, "xmp") || platform::text::equalsNoCase(name, "listing") ||
               platform::text::equalsNoCase(name, "plaintext")) {
      depth = &preDepth_;
    }
    if (!depth || (step < 0 && *depth == 0) || (step < 0 && st_.KeepDepth == 0)) return;
    *depth += step;
    st_.KeepDepth += step;
  }

  // Elements opened inside a protected one with the name a selector protects: their ends
  // are theirs, not the protected element's ("<div class=keep><div>x</div>  y</div>").
  int& nestedCount(std::string_view name) {
    for (auto& [open, count] : nested_)
      if (platform::text::equalsNoCase(open, name)) return count;
    return nested_.emplace_back(std::string(name), 0).second;
  }
  void noteNested(std::string_view name) {
    if (!st_.KeepDepth) return;
    for (const auto& s : st_.Selectors)
      if (platform::text::equalsNoCase(s.elementName.str(), name)) {
        ++nestedCount(name);
        return;
      }
  }

  // The first selector made for an element of this name lets it go, when such an element
  // is open.
  void releaseSelector(std::string_view name) {
    if (!st_.KeepDepth || st_.Selectors.empty()) return;
    // Looked up, not added: an entry for every end tag's name made each later look-up longer.
    for (auto& [open, count] : nested_) {
      if (count > 0 && platform::text::equalsNoCase(open, name)) {
        --count;
        return;
      }
    }
    const auto opened = std::find_if(selectorOpened_.rbegin(), selectorOpened_.rend(),
                                     [name](const std::string& open) { return platform::text::equalsNoCase(open, name); });
    if (opened == selectorOpened_.rend()) return;
    selectorOpened_.erase(std::next(opened).base());
    for (auto it = st_.Selectors.begin(); it != st_.Selectors.end(); ++it) {
      if (!platform::text::equalsNoCase(it->elementName.str(), name)) continue;
      if (!it->persistent) st_.Selectors.erase(it);
      --st_.KeepDepth;
      return;
    }
  }

  // KeepDepth becomes 1 when a selector of this kind and name exists, else stays 0.
  void matchSelector(SelectorKind kind, std::string_view name, std::string_view tag) {
    if (st_.KeepDepth || st_.Selectors.empty()) return;
    for (auto& s : st_.Selectors) {
      if (s.kind != kind || !platform::text::equalsNoCase(s.selectorName.str(), name)) continue;
      st_.KeepDepth = 1;
      selectorOpened_.emplace_back(tag);
      if (kind != SelectorKind::kTag) s.elementName = tag;
      return;
    }
  }

  void attributeEffects(std::string_view tag, const Attribute& a) {
    if (!a.value) return;
    if (platform::text::findNoCase(*a.value, "white-space") != std::string_view::npos) {
      WhiteSpaceSelector s;
      s.elementName = tag;
      s.selectorName = tag;
      s.kind = SelectorKind::kTag;
      st_.Selectors.push_back(std::move(s));
      selectorOpened_.emplace_back(tag);
      ++st_.KeepDepth;
    }
    if (platform::text::equalsNoCase(a.name, "id")) matchSelector(SelectorKind::kId, *a.value, tag);
    if (platform::text::equalsNoCase(a.name, "class")) {
      // Any one of the element's classes ("code block").
      std::string_view classes = *a.value;
      while (!classes.empty()) {
        std::size_t start = 0;
        while (start < classes.size() && isWhite(classes[start])) ++start;
        std::size_t end = start;
        while (end < classes.size() && !isWhite(classes[end])) ++end;
        if (end > start) matchSelector(SelectorKind::kClass, classes.substr(start, end - start), tag);
        classes.remove_prefix(end);
      }
    }
  }

  // A link teaches selectors only when it brings a style sheet: its other kinds (icons,
  // feeds, prefetched downloads) name files that may be large and are no CSS. Its rel may
  // follow its href, so the tag is read whole first.
  void learnFromLink(const std::vector<Attribute>& attributes) {
    const Attribute* rel = nullptr;
    const Attribute* href = nullptr;
    for (const Attribute& a : attributes) {
      if (!rel && platform::text::equalsNoCase(a.name, "rel")) rel = &a;
      if (!href && platform::text::equalsNoCase(a.name, "href")) href = &a;
    }
    if (rel && rel->value && href && href->value &&
        platform::text::findNoCase(*rel->value, "stylesheet") != std::string_view::npos)
      LearnFromFile(st_, *href->value);
  }

  void writeTag(std::string_view name, const std::vector<Attribute>& attributes, bool selfClosing) {
    st_.Output.push_back('<');
    putName(name);
    for (const Attribute& a : attributes) {
      st_.Output.push_back(' ');
      putName(a.name);
      if (!a.value) continue;
      const std::string_view v = *a.value;
      if (a.quote && !a.closed) {
        // Left open at the end of the document: it goes as it came, no closing quote made up.
        put("=");
        st_.Output.push_back(a.quote);
        put(v);
        if (a.closed) st_.Output.push_back(a.quote);
      } else if (v.find('"') == std::string_view::npos) {
        put("=\"");
        put(v);
        st_.Output.push_back('"');
      } else if (v.find('\'') == std::string_view::npos) {
        // A value holding a double quote survives only between single quotes.
        put("='");
        put(v);
        st_.Output.push_back('\'');
      } else {
        put("=\"");
        for (char c : v) c == '"' ? put("&quot;") : st_.Output.push_back(c);
        st_.Output.push_back('"');
      }
    }
    if (selfClosing) st_.Output.push_back('/');
    st_.Output.push_back('>');
  }

  std::string_view quotedValue(char quote, bool& closed) {
    // HTML has no escapes: a value ends at its quote, a backslash before it or not.
    const std::size_t i = s_.find(quote, pos_ + 1);
    closed = i != std::string_view::npos;
    if (!closed) {
      std::string_view v = s_.substr(pos_ + 1);
      pos_ = s_.size();
      return v;
    }
    std::string_view v = s_.substr(pos_ + 1, i - pos_ - 1);
    pos_ = i + 1;
    return v;
  }

  bool openingTag() {
    static constexpr StopSet kNameEnd(">/", true);
    std::size_t end = pos_;
    while (end < s_.size() && !kNameEnd(s_[end])) ++end;
    if (end - pos_ > kMaxTagNameChars) return false;
    const std::string_view name = s_.substr(pos_, end - pos_);
    pos_ = end;
    noteNested(name);
    countElement(name, +1);
    if (holdsText(name)) {
      textElement_ = name;
      platform::text::lowerInPlace(textElement_);
    }
    matchSelector(SelectorKind::kTag, name, name);
    attributes_.clear();
    if (at('>')) {
      ++pos_;
      writeTag(name, attributes_, false);
      return true;
    }
    if (at('/')) {
      if (solidusEndsTag()) {
        writeTag(name, attributes_, true);
        releaseSelector(name);
        return true;
      }
      ++pos_;  // "<div/title=a>": the '/' is no part of the tag, as browsers read it
    }
    std::vector<Attribute>& attributes = attributes_;
    bool selfClosing = false;
    while (pos_ < s_.size()) {
      while (pos_ < s_.size() && isWhite(s_[pos_])) ++pos_;
      if (pos_ >= s_.size()) break;
      if (at('>')) {
        ++pos_;
        break;
      }
      if (at('/')) {
        if (solidusEndsTag()) {
          selfClosing = true;
          break;
        }
        ++pos_;
        continue;
      }
      static constexpr StopSet kAttributeEnd("=>", true);
      std::size_t nameEnd = pos_;
      while (nameEnd < s_.size() && !kAttributeEnd(s_[nameEnd])) ++nameEnd;
      if (nameEnd - pos_ > kMaxAttributeNameChars) return false;
      Attribute a{s_.substr(pos_, nameEnd - pos_), std::nullopt};
      pos_ = nameEnd;
      std::size_t afterWhite = pos_;
      while (afterWhite < s_.size() && isWhite(s_[afterWhite])) ++afterWhite;
      bool ended = false;
      if (afterWhite < s_.size() && s_[afterWhite] == '=') {
        pos_ = afterWhite + 1;
        while (pos_ < s_.size() && isWhite(s_[pos_])) ++pos_;
        if (at('"') || at('\'')) {
          a.quote = s_[pos_];
          a.value = quotedValue(a.quote, a.closed);
          ended = pos_ >= s_.size();
        } else {
          std::size_t v = pos_;
          // Up to white space or '>', as browsers read it: "href=/docs/>" keeps its slash.
          while (v < s_.size() && !isWhite(s_[v]) && s_[v] != '>') ++v;
          a.value = s_.substr(pos_, v - pos_);
          pos_ = v;
        }
      } else if (at('>')) {
        ++pos_;
        ended = true;
      } else {
        pos_ = afterWhite;  // an attribute without value; the next one (or the end) follows
      }
      attributeEffects(name, a);
      attributes.push_back(a);
      if (ended) break;
    }
    if (platform::text::equalsNoCase(name, "link")) learnFromLink(attributes);
    writeTag(name, attributes, selfClosing);
    if (selfClosing) releaseSelector(name);
    return true;
  }

  // At a '/' in a tag: whether it closes the tag ("/>", "/ >"); then the tag has been read.
  bool solidusEndsTag() {
    std::size_t after = pos_ + 1;
    while (after < s_.size() && isWhite(s_[after])) ++after;
    if (after < s_.size() && s_[after] != '>') return false;
    pos_ = after < s_.size() ? after + 1 : after;
    return true;
  }

  bool closingTag() {
    std::size_t end = s_.find('>', pos_);
    if (end == std::string_view::npos) end = s_.size();
    if (end - pos_ > kMaxTagNameChars) return false;
    const std::string_view name = s_.substr(pos_, end - pos_);
    pos_ = end < s_.size() ? end + 1 : end;
    put("</");
    putName(name);
    st_.Output.push_back('>');
    // The element is the name up to a blank or '/': "</style >" closes a style.
    std::size_t elementEnd = 0;
    while (elementEnd < name.size() && !kTagNameEnd(name[elementEnd])) ++elementEnd;
    countElement(name.substr(0, elementEnd), -1);
    if (platform::text::equalsNoCase(name.substr(0, elementEnd), textElement_)) textElement_.clear();
    releaseSelector(name.substr(0, elementEnd));
    return true;
  }

  OptimizerState& st_;
  std::string_view s_;
  std::size_t pos_ = 0;
  std::vector<Attribute> attributes_;  // of the tag being read; reused from tag to tag
};

}  // namespace

bool OptimizeHtml(OptimizerState& state, std::string_view html) { return HtmlReader(state, html).run(); }

}  // namespace optimizer
