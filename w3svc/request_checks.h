#pragma once
// What a request's header must be before the server acts on it. Each check closes a way to
// make the server and a proxy in front of it read the bytes differently (request smuggling)
// or to carry markup into what the server writes back (the Host of a redirect).

#include <optional>
#include <string_view>

#include "w3svc/exchange.h"

namespace w3svc {

// True when a field line of the raw header (request line to the empty line) is continued
// on the next line by a leading blank (obsolete line folding).
bool hasFoldedLine(std::string_view rawHeader);

// 0 when the framing fields can be trusted; else the status to answer: 501 for a transfer
// coding the server does not implement, 400 for Transfer-Encoding without chunked once and
// last, for two Host fields, none in HTTP/1.1 (version 11), or a Host that is no host.
unsigned checkRequestHeader(const HeaderList& headers, unsigned version);

// host[:port]: a name of letters, digits, '-', '.', '_' and '~', or an IPv6 literal in
// brackets; a port of at most five digits up to 65535. Empty is valid (no authority).
bool validHostField(std::string_view host);

// The host of a valid host[:port] without its port: "[::1]:80" -> "[::1]", "a.b:80" -> "a.b".
std::string_view hostName(std::string_view host);

}  // namespace w3svc
