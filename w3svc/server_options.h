#pragma once
// The web server's knobs, from its command line. Defaults are those of a stock IIS where
// IIS has one, otherwise values that keep a bad client from holding a worker for long.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace w3svc {

struct ServerOptions {
  bool foreground = false;
  std::size_t pieceSize = 0;         // raw data piece size; 0 = header whole, body 64 KB
  std::size_t workers = 64;          // most threads that run requests (filters may block)
  // Open connections at most; past it the idle ones close first. Kept below the process's
  // descriptor limit, so that files, programs and logs always find descriptors.
  std::size_t maxConnections = 4096;
  // CGI programs running at once per site; past it a program request is answered 503.
  std::size_t maxProgramsPerSite = 64;
  std::size_t maxHeaderBytes = 16384;  // request line excluded
  std::size_t maxHeaderCount = 100;
  std::size_t maxUrlBytes = 8192;
  std::size_t maxBodyBytes = 16u << 20;
  // A keep-alive connection closes after this many responses, as nginx's does: the filter's
  // per-request memory lives as long as its connection, so none can grow without end.
  std::size_t maxRequestsPerConnection = 1000;
  std::chrono::milliseconds idleTimeout{120000};     // waiting for a request to begin
  std::chrono::milliseconds requestTimeout{30000};   // receiving one request, header and body
  std::chrono::milliseconds sendTimeout{60000};      // a client that stops reading
  std::chrono::milliseconds cgiTimeout{300000};
  std::chrono::milliseconds stopTimeout{20000};      // requests still running at stop
};

// nullopt with error set for an unknown option or a bad number.
std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args, std::string& error);
std::string serverUsage();

}  // namespace w3svc
