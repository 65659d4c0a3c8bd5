#pragma once
// A text of at most N characters: assigning a longer one keeps its first N. The settings'
// fixed-width fields ("text, 512 bytes" holds 511 characters and its terminator) are kept
// as this, so a cut is where the store's readers expect it and nothing overruns.

#include <cstddef>
#include <string>
#include <string_view>

namespace settings {

template <std::size_t N>
class BoundedText {
 public:
  static constexpr std::size_t kMaxChars = N;

  BoundedText() = default;
  BoundedText(std::string_view text) { assign(text); }  // NOLINT: implicit by design
  BoundedText(const char* text) { assign(text); }       // NOLINT: implicit by design
  BoundedText(const std::string& text) { assign(text); }  // NOLINT: implicit by design
  void assign(std::string_view text) { text_.assign(text.substr(0, N)); }

  const std::string& str() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  std::size_t size() const { return text_.size(); }
  bool empty() const { return text_.empty(); }
  operator std::string_view() const { return text_; }  // NOLINT: implicit by design

  friend bool operator==(const BoundedText& a, std::string_view b) { return a.text_ == b; }

 private:
  std::string text_;
};

}  // namespace settings
