#include "w3svc/server_options.h"

#include <cstdlib>
#include <functional>
#include <map>

namespace w3svc {

namespace {

std::optional<unsigned long long> number(const std::string& text) {
  if (text.empty() || text.size() > 12 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  return std::strtoull(text.c_str(), nullptr, 10);
}

}  // namespace

std::string serverUsage() {
  return "usage: w3svc --foreground [--piece-size N] [--workers N] [--max-connections N]\n"
         "             [--max-programs-per-site N] [--max-header-bytes N]\n"
         "             [--max-header-count N] [--max-url-bytes N] [--max-body-bytes N]\n"
         "             [--max-requests-per-connection N]\n"
         "             [--idle-timeout-ms N] [--request-timeout-ms N] [--send-timeout-ms N]\n"
         "             [--cgi-timeout-ms N] [--stop-timeout-ms N]\n"
         "Started by the service manager (sc start W3SVC) it runs as the service W3SVC.\n";
}

std::optional<ServerOptions> parseServerOptions(const std::vector<std::string>& args, std::string& error) {
  ServerOptions options;
  using Setter = std::function<bool(unsigned long long)>;
  auto size = [](std::size_t& field, unsigned long long low) {
    return Setter([&field, low](unsigned long long v) { return v >= low ? (field = v, true) : false; });
  };
  auto millis = [](std::chrono::milliseconds& field) {
    return Setter([&field](unsigned long long v) { return v > 0 ? (field = std::chrono::milliseconds(v), true) : false; });
  };
  const std::map<std::string, Setter> setters = {
      {"--piece-size", size(options.pieceSize, 0)},
      {"--workers", size(options.workers, 1)},
      {"--max-connections", size(options.maxConnections, 1)},
      {"--max-programs-per-site", size(options.maxProgramsPerSite, 1)},
      {"--max-header-bytes", size(options.maxHeaderBytes, 256)},
      {"--max-header-count", size(options.maxHeaderCount, 1)},
      {"--max-url-bytes", size(options.maxUrlBytes, 16)},
      {"--max-body-bytes", size(options.maxBodyBytes, 0)},
      {"--max-requests-per-connection", size(options.maxRequestsPerConnection, 1)},
      {"--idle-timeout-ms", millis(options.idleTimeout)},
      {"--request-timeout-ms", millis(options.requestTimeout)},
      {"--send-timeout-ms", millis(options.sendTimeout)},
      {"--cgi-timeout-ms", millis(options.cgiTimeout)},
      {"--stop-timeout-ms", millis(options.stopTimeout)},
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--foreground") {
      options.foreground = true;
      continue;
    }
    const auto setter = setters.find(args[i]);
    if (setter == setters.end()) {
      error = "unknown option " + args[i];
      return std::nullopt;
    }
    const auto value = i + 1 < args.size() ? number(args[i + 1]) : std::nullopt;
    if (!value || !setter->second(*value)) {
      error = "bad value for " + args[i];
      return std::nullopt;
    }
    ++i;
  }
  if (options.workers > 1024) options.workers = 1024;
  return options;
}

}  // namespace w3svc
