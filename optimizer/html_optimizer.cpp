#include "optimizer/html_optimizer.h"

#include <cctype>
#include <optional>
#include <string>
#include <vector>

#include "optimizer/css_optimizer.h"
#include "optimizer/selector_learning.h"

namespace optimizer {

namespace {

// Names this long are not markup a browser would read; the document goes out unchanged.
constexpr std::size_t kMaxTagNameChars = 123;
constexpr std::size_t kMaxAttributeNameChars = 511;
constexpr std::size_t kMaxDeclarationChars = 1023;

struct Attribute {
  std::string name;
  std::optional<std::string> value;
};

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

class HtmlReader {
 public:
  HtmlReader(OptimizerState& state, std::string_view text) : st_(state), s_(text) {}

  bool run() {
    st_.ScriptDepth = st_.StyleDepth = st_.KeepDepth = 0;
    while (pos_ < s_.size()) {
      bool ok;
      if (at('<') && peek(1) == '!') {
        pos_ += 2;
        while (pos_ < s_.size() && isWhite(s_[pos_])) ++pos_;
        if (at('-')) {
          ok = comment();
        } else if (at('D') || at('d')) {
          ok = declaration();
        } else {
          ok = collapse("<!") && text();
        }
      } else if (at('<') && peek(1) == '/') {
        pos_ += 2;
        ok = closingTag();
      } else if (at('<') && peek(1) == '?') {
        // Processing instructions disappear.
        std::size_t end = s_.find('>', pos_);
        pos_ = end == std::string_view::npos ? s_.size() : end + 1;
        ok = true;
      } else if (at('<')) {
        ++pos_;
        ok = openingTag();
      } else {
        ok = st_.ScriptDepth ? scriptText() : text();
      }
      if (!ok) return false;
    }
    return true;
  }

 private:
  bool at(char c) const { return pos_ < s_.size() && s_[pos_] == c; }
  char peek(std::size_t ahead) const { return pos_ + ahead < s_.size() ? s_[pos_ + ahead] : '\0'; }
  bool allowed() const { return st_.KeepDepth != 0 || !st_.DropComments; }

  bool collapse(std::string_view t) {
    if (!st_.CollapseWhite) return st_.append(t);
    std::string out;
    out.reserve(t.size());
    bool inRun = false;
    for (char c : t) {
      if (!isWhite(c)) {
        out += c;
        inRun = false;
      } else if (!inRun) {
        out += ' ';
        inRun = true;
      }
    }
    return st_.append(out);
  }

  bool text() {
    std::size_t end = s_.find('<', pos_);
    if (end == std::string_view::npos) end = s_.size();
    std::string_view t = s_.substr(pos_, end - pos_);
    pos_ = end;
    if (!t.empty()) {
      if (st_.StyleDepth) LearnFromCss(st_, t);
      bool ok = st_.KeepDepth == 0 && st_.StyleDepth == 0 ? collapse(t)
                : st_.StyleDepth                          ? OptimizeCss(st_, t)
                                                          : st_.append(t);
      if (!ok) return false;
    }
    if (at('<') && peek(1) == '>') pos_ += 2;  // "<>" is written nowhere
    return true;
  }

  bool scriptText() {
    std::size_t end = pos_;
    for (;; ++end) {
      end = s_.find("</", end);
      if (end == std::string_view::npos) {
        end = s_.size();
        break;
      }
      const char s = end + 2 < s_.size() ? s_[end + 2] : '\0';
      const char t = end + 7 < s_.size() ? s_[end + 7] : '\0';
      if ((s == 's' || s == 'S') && (t == 't' || t == 'T')) break;
    }
    std::string_view t = s_.substr(pos_, end - pos_);
    pos_ = end;
    return st_.append(t);
  }

  bool declaration() {
    std::size_t end = s_.find('>', pos_);
    if (end == std::string_view::npos) end = s_.size();
    if (end - pos_ > kMaxDeclarationChars) return false;
    std::string_view decl = s_.substr(pos_, end - pos_);
    pos_ = end;  // the '>' is read as text
    return st_.append("<!") && collapse(decl);
  }

  bool comment() {
    while (pos_ < s_.size() && (s_[pos_] == '-' || isWhite(s_[pos_]))) ++pos_;
    if (at('>')) {
      ++pos_;
      return !allowed() || (st_.append("<!-- ") && st_.append(" -->"));
    }
    std::size_t end = s_.find("-->", pos_);
    std::string_view body = s_.substr(pos_, (end == std::string_view::npos ? s_.size() : end) - pos_);
    pos_ = end == std::string_view::npos ? s_.size() : end + 3;
    if (allowed() && !st_.append("<!-- ")) return false;
    // Script hidden in a comment must start on a line of its own.
    if (st_.ScriptDepth && !st_.append("\r\n")) return false;
    if (st_.StyleDepth) {
      LearnFromCss(st_, body);
      if (!OptimizeCss(st_, body)) return false;
    } else if (allowed() && !st_.append(body)) {
      return false;
    }
    return !allowed() || st_.append(" -->");
  }

  void enterElement(const std::string& name) {
    const std::string l = lower(name);
    if (l == "script") {
      ++st_.ScriptDepth;
      ++st_.KeepDepth;
    } else if (l == "style") {
      ++st_.StyleDepth;
      ++st_.KeepDepth;
    } else if (l == "pre" || l == "textarea") {
      ++st_.KeepDepth;
    }
  }

  void leaveElement(const std::string& name) {
    const std::string l = lower(name);
    if (l == "script") {
      --st_.ScriptDepth;
      --st_.KeepDepth;
    } else if (l == "style") {
      --st_.StyleDepth;
      --st_.KeepDepth;
    } else if (l == "pre" || l == "textarea") {
      --st_.KeepDepth;
    }
  }

  // The first selector made for an element of this name lets it go.
  void releaseSelector(const std::string& name) {
    if (!st_.KeepDepth || st_.Selectors.empty()) return;
    for (auto it = st_.Selectors.begin(); it != st_.Selectors.end(); ++it) {
      if (!equalsNoCase(it->elementName.str(), name)) continue;
      if (!it->persistent) st_.Selectors.erase(it);
      --st_.KeepDepth;
      return;
    }
  }

  // KeepDepth becomes 1 when a selector of this kind and name exists, else stays 0.
  void matchSelector(SelectorKind kind, const std::string& name, const std::string& tag) {
    if (st_.KeepDepth || st_.Selectors.empty()) return;
    for (auto& s : st_.Selectors) {
      if (s.kind != kind || !equalsNoCase(s.selectorName.str(), name)) continue;
      st_.KeepDepth = 1;
      if (kind != SelectorKind::kTag) s.elementName = tag;
      return;
    }
  }

  void attributeEffects(const std::string& tag, const Attribute& a) {
    if (!a.value) return;
    if (a.value->find("white-space") != std::string::npos) {
      WhiteSpaceSelector s;
      s.elementName = tag;
      s.selectorName = tag;
      s.kind = SelectorKind::kTag;
      st_.Selectors.push_back(std::move(s));
      ++st_.KeepDepth;
    }
    if (equalsNoCase(tag, "LINK") && equalsNoCase(a.name, "HREF")) LearnFromFile(st_, *a.value);
    if (equalsNoCase(a.name, "id")) matchSelector(SelectorKind::kId, *a.value, tag);
    if (equalsNoCase(a.name, "class")) matchSelector(SelectorKind::kClass, *a.value, tag);
  }

  bool writeTag(const std::string& name, const std::vector<Attribute>& attributes, bool selfClosing) {
    std::string out = "<" + (st_.LowerNames ? lower(name) : name);
    for (const Attribute& a : attributes) {
      out += ' ';
      out += st_.LowerNames ? lower(a.name) : a.name;
      if (!a.value) continue;
      const std::string& v = *a.value;
      if (v.find('"') == std::string::npos) {
        out += "=\"" + v + "\"";
      } else if (v.find('\'') == std::string::npos) {
        // A value holding a double quote survives only between single quotes.
        out += "='" + v + "'";
      } else {
        std::string escaped;
        for (char c : v) escaped += c == '"' ? std::string("&quot;") : std::string(1, c);
        out += "=\"" + escaped + "\"";
      }
    }
    if (selfClosing) out += '/';
    out += '>';
    return st_.append(out);
  }

  std::string quotedValue(char quote) {
    std::size_t i = pos_ + 1;
    for (;; ++i) {
      i = s_.find(quote, i);
      if (i == std::string_view::npos || s_[i - 1] != '\\') break;
    }
    if (i == std::string_view::npos) {
      std::string v(s_.substr(pos_ + 1));
      pos_ = s_.size();
      return v;
    }
    std::string v(s_.substr(pos_ + 1, i - pos_ - 1));
    pos_ = i + 1;
    return v;
  }

  bool openingTag() {
    std::size_t end = pos_;
    while (end < s_.size() && !isWhite(s_[end]) && s_[end] != '>' && s_[end] != '/') ++end;
    if (end - pos_ > kMaxTagNameChars) return false;
    const std::string name(s_.substr(pos_, end - pos_));
    pos_ = end;
    enterElement(name);
    matchSelector(SelectorKind::kTag, name, name);
    if (at('>')) {
      ++pos_;
      return writeTag(name, {}, false);
    }
    if (at('/')) {
      pos_ += 2;
      bool ok = writeTag(name, {}, true);
      releaseSelector(name);
      return ok;
    }
    std::vector<Attribute> attributes;
    bool selfClosing = false;
    while (pos_ < s_.size()) {
      while (pos_ < s_.size() && isWhite(s_[pos_])) ++pos_;
      if (pos_ >= s_.size()) break;
      if (at('>')) {
        ++pos_;
        break;
      }
      if (at('/') && peek(1) == '>') {
        pos_ += 2;
        selfClosing = true;
        break;
      }
      std::size_t nameEnd = pos_;
      while (nameEnd < s_.size() && !isWhite(s_[nameEnd]) && s_[nameEnd] != '=' && s_[nameEnd] != '>') ++nameEnd;
      if (nameEnd - pos_ > kMaxAttributeNameChars) return false;
      Attribute a{std::string(s_.substr(pos_, nameEnd - pos_)), std::nullopt};
      pos_ = nameEnd;
      std::size_t afterWhite = pos_;
      while (afterWhite < s_.size() && isWhite(s_[afterWhite])) ++afterWhite;
      bool ended = false;
      if (afterWhite < s_.size() && s_[afterWhite] == '=') {
        pos_ = afterWhite + 1;
        while (pos_ < s_.size() && isWhite(s_[pos_])) ++pos_;
        if (at('"') || at('\'')) {
          a.value = quotedValue(s_[pos_]);
          ended = pos_ >= s_.size();
        } else {
          std::size_t v = pos_;
          while (v < s_.size() && !isWhite(s_[v]) && s_[v] != '>' && !(s_[v] == '/' && v + 1 < s_.size() && s_[v + 1] == '>'))
            ++v;
          a.value = std::string(s_.substr(pos_, v - pos_));
          pos_ = v;
        }
      } else if (at('>')) {
        ++pos_;
        ended = true;
      } else {
        pos_ = afterWhite;  // an attribute without value; the next one (or the end) follows
      }
      attributeEffects(name, a);
      attributes.push_back(std::move(a));
      if (ended) break;
    }
    bool ok = writeTag(name, attributes, selfClosing);
    if (selfClosing) releaseSelector(name);
    return ok;
  }

  bool closingTag() {
    std::size_t end = s_.find('>', pos_);
    if (end == std::string_view::npos) end = s_.size();
    if (end - pos_ > kMaxTagNameChars) return false;
    const std::string name(s_.substr(pos_, end - pos_));
    pos_ = end < s_.size() ? end + 1 : end;
    if (!st_.append("</" + (st_.LowerNames ? lower(name) : name) + ">")) return false;
    leaveElement(name);
    releaseSelector(name);
    return true;
  }

  OptimizerState& st_;
  std::string_view s_;
  std::size_t pos_ = 0;
};

}  // namespace

bool OptimizeHtml(OptimizerState& state, std::string_view html) { return HtmlReader(state, html).run(); }

}  // namespace optimizer
