#include "settings/reload_token.h"

#include <cstring>

#include "platform/gen_random.h"
#include "platform/registry/unique_key.h"
#include "platform/sync/named_mutex.h"
#include "settings/registry_layout.h"

namespace settings {

namespace {

// A token as long as the filter's reading of a reload URL ("/rstval=" and the token in 256
// bytes) still leaves room for: a longer one could never reload, and is made anew.
constexpr std::size_t kLongestToken = 256 - sizeof("/rstval=");

std::optional<std::string> readToken(HKEY key) {
  char buffer[kLongestToken + 2] = {};  // the token, the terminator stored with it, and our own
  DWORD size = sizeof(buffer) - 1;
  if (RegQueryValueExA(key, kReloadTokenValue, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  std::string token(buffer, strnlen(buffer, size));
  if (token.size() < 32) return std::nullopt;  // too short to be a secret: make a new one
  return token;
}

std::optional<std::string> randomToken() {
  unsigned char bytes[16];
  if (!RtlGenRandom(bytes, sizeof(bytes))) return std::nullopt;
  static const char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

}  // namespace

std::optional<std::string> ReadReloadToken() {
  UniqueKey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings::kGlobalKeyPath, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  return readToken(key.get());
}

void ReloadTokenCheck::remember(std::string token) {
  std::lock_guard<std::mutex> hold(lock_);
  token_ = std::move(token);
}

bool ReloadTokenCheck::matches(std::string_view candidate) {
  if (candidate.empty()) return false;
  std::lock_guard<std::mutex> hold(lock_);
  // Only requests of the reload form get here, so the store is read for them alone, and
  // for each: a token replaced there ends the old one at once. Without a stored one the
  // token last known stands.
  if (auto stored = ReadReloadToken()) token_ = std::move(*stored);
  return !token_.empty() && candidate == token_;
}

std::optional<std::string> ObtainReloadToken() {
  UniqueKey key;
  // Opened, not created: without the product's global key there is nothing to reload, and
  // the console's page stays inert.
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings::kGlobalKeyPath, 0, KEY_ALL_ACCESS, key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  if (auto token = readToken(key.get())) return token;
  // The filter and the console may both start first: one creates, the other reads it.
  UniqueHandle mutex(CreateMutexA(nullptr, FALSE, "TamsicReloadToken"));
  if (!mutex || WaitForSingleObject(mutex.get(), 10000) != WAIT_OBJECT_0) return std::nullopt;
  std::optional<std::string> token = readToken(key.get());
  if (!token) {
    token = randomToken();
    if (token && RegSetValueExA(key.get(), kReloadTokenValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(token->c_str()),
                                static_cast<DWORD>(token->size() + 1)) != ERROR_SUCCESS)
      token.reset();
  }
  ReleaseMutex(mutex.get());
  return token;
}

}  // namespace settings
