#pragma once
// The server variables a filter or CGI program reads about a request.

#include <optional>
#include <string>
#include <string_view>

#include "w3svc/exchange.h"

namespace w3svc {

constexpr const char* kServerSoftware = "W3SVC/5.0";

// nullopt for a name the server does not know, or a header the request does not carry.
std::optional<std::string> serverVariable(const Request& request, std::string_view name);
// "HTTP_ACCEPT_ENCODING" for "Accept-Encoding".
std::string httpVariableName(std::string_view header);

}  // namespace w3svc
