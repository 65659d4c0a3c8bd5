#pragma once
// The web server: listeners for every binding of the metabase's sites, the threads that
// read requests and run them through the filters, the programs' own threads, and a clean
// stop (running requests finish, filters are told to terminate).

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "w3svc/access_log.h"
#include "w3svc/connection.h"
#include "w3svc/io_threads.h"
#include "w3svc/server_context.h"
#include "w3svc/worker_pool.h"

namespace w3svc {

class Server final : public ServerContext {
 public:
  Server(ServerOptions options, ServerConfig config);
  ~Server() override;

  // Loads the filters and opens the listeners; false with error when nothing can listen.
  bool start(std::string& error);
  void stop();
  // The addresses listened on, "127.0.0.1:8080".
  std::vector<std::string> listening() const;

  const ServerOptions& options() const override { return options_; }
  const FilterChain& filters() const override { return filters_; }
  const SiteConfig* route(const std::string& localIp, unsigned short port, const std::string& host) const override;
  AccessLog* accessLog(unsigned siteId) override;
  void runHolding(const std::function<void()>& work) override;
  bool runProgram(unsigned siteId, std::function<void()> work) override;
  void connectionEnded() override;
  bool stopping() const override { return stopping_; }

 private:
  void accept(boost::asio::ip::tcp::acceptor& acceptor);
  void acceptLater(boost::asio::ip::tcp::acceptor& acceptor);
  // Tells the oldest connection waiting for a request to close (to make room for a new
  // one); false when none waits. With connections_mutex_ held.
  bool closeOldestIdle();

  ServerOptions options_;
  ServerConfig config_;
  FilterChain filters_;
  std::map<unsigned, std::unique_ptr<AccessLog>> logs_;
  std::unique_ptr<IoThreads> threads_;
  std::unique_ptr<WorkerPool> programs_;
  std::mutex programs_mutex_;
  std::map<unsigned, std::size_t> programs_running_;  // by site
  std::size_t max_connections_ = 0;
  std::vector<std::unique_ptr<boost::asio::ip::tcp::acceptor>> acceptors_;
  std::mutex connections_mutex_;
  std::vector<std::weak_ptr<Connection>> connections_;  // in the order accepted
  // Ends without the mutex: a connection may end as closeOldestIdle lets go of it.
  std::atomic<std::size_t> open_connections_{0};
  std::atomic<bool> stopping_{false};
  bool stopped_ = false;
};

}  // namespace w3svc
