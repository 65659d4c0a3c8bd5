#pragma once
// What a connection needs of the server that accepted it.

#include <functional>
#include <string>

#include "w3svc/access_log.h"
#include "w3svc/filter_chain.h"
#include "w3svc/server_config.h"
#include "w3svc/server_options.h"

namespace w3svc {

class ServerContext {
 public:
  virtual ~ServerContext() = default;
  virtual const ServerOptions& options() const = 0;
  virtual const FilterChain& filters() const = 0;
  // The site bound to the address a request came in on and its Host header; nullptr if none.
  virtual const SiteConfig* route(const std::string& localIp, unsigned short port, const std::string& host) const = 0;
  virtual AccessLog* accessLog(unsigned siteId) = 0;
  // Runs a request's work on the calling I/O thread, which counts as held while it runs
  // (the work may block: other threads then serve the other connections).
  virtual void runHolding(const std::function<void()>& work) = 0;
  // Runs a CGI program's request on the programs' own threads; false (and not run) when
  // the site already runs as many programs as it may.
  virtual bool runProgram(unsigned siteId, std::function<void()> work) = 0;
  // Called by each connection as it goes (its descriptor is free again).
  virtual void connectionEnded() = 0;
  virtual bool stopping() const = 0;
};

}  // namespace w3svc
