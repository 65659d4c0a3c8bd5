#pragma once
// HTTP dates of the server's own headers (Date, Last-Modified) and of the conditional
// request headers it reads.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace w3svc {

// "Mon, 07 Dec 2026 10:00:00 GMT"
std::string httpDate(std::time_t when);
// The three forms a client may send (RFC 1123, RFC 850, asctime); nullopt otherwise.
std::optional<std::time_t> parseHttpDateHeader(std::string_view text);

}  // namespace w3svc
