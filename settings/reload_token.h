#pragma once
// The secret that makes an HTTP request a settings reload: "/rstval=<token>". Kept in the
// settings store's global key as "ReloadToken", so the filter and the console read the
// same one; whoever needs it first creates it (128 random bits as 32 hex digits).

#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

constexpr const char* kReloadTokenValue = "ReloadToken";

// The stored token, created when missing. nullopt when the store cannot be read or written,
// and when the product's global key is missing: that key is never created here.
std::optional<std::string> ObtainReloadToken();

// The stored token, never created; nullopt when there is none.
std::optional<std::string> ReadReloadToken();

// The token a running process checks reload requests against: the stored one, read again
// for every request, so a token made anew (the console registered again) takes effect, and
// the old one ends, without a restart. Thread-safe.
class ReloadTokenCheck {
 public:
  void remember(std::string token);
  // True when candidate is the token (an empty one never is).
  bool matches(std::string_view candidate);

 private:
  std::mutex lock_;
  std::string token_;
};

}  // namespace settings
