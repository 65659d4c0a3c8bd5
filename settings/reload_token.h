#pragma once
// The secret that makes an HTTP request a settings reload: "/rstval=<token>". Kept in the
// settings store's global key as "ReloadToken", so the filter and the console read the
// same one; whoever needs it first creates it (128 random bits as 32 hex digits).

#include <optional>
#include <string>

namespace settings {

constexpr const char* kReloadTokenValue = "ReloadToken";

// The stored token, created when missing. nullopt when the store cannot be read or written.
std::optional<std::string> ObtainReloadToken();

}  // namespace settings
