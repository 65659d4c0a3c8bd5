#pragma once
// CGI/1.1 programs for the extensions of the script maps: the request body on their
// standard input, the environment of the request, "Status:" and the other header lines of
// their output, and the rest streamed to the client (chunked to an HTTP/1.1 client when the
// program gives no Content-Length).

#include <chrono>
#include <filesystem>

#include "w3svc/exchange.h"
#include "w3svc/response_writer.h"

namespace w3svc {

// The script map for the URL's file, if any.
const ScriptMap* scriptMapFor(const Request& request);

// Runs the program and sends its response; false when the connection cannot carry another
// request (unsized output to an HTTP/1.0 client, a program that failed half-way).
bool runCgi(const Request& request, const ScriptMap& map, const std::filesystem::path& script, ResponseWriter& writer,
            std::chrono::milliseconds timeout);

}  // namespace w3svc
