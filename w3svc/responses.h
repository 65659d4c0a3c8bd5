#pragma once
// Building blocks shared by the static file and CGI paths.

#include <string>

#include "w3svc/exchange.h"
#include "w3svc/response_writer.h"

namespace w3svc {

// A response with the status, its reason and the server's own headers (Server, Date).
Response makeResponse(unsigned status);
// An error page (or only its header for HEAD); true when it went out whole.
bool sendErrorPage(const Request& request, ResponseWriter& writer, unsigned status, HeaderList extra = {});

}  // namespace w3svc
