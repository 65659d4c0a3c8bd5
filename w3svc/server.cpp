#include "w3svc/server.h"

#include <sys/resource.h>

#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>

#include <chrono>
#include <iostream>
#include <set>

#include "platform/machine_root.h"
#include "platform/text/ascii_case.h"
#include "w3svc/client_output.h"

namespace w3svc {

namespace asio = boost::asio;
using asio::ip::tcp;

namespace {

// A thread on one request's work this long is taken to be held (a filter waiting, a client
// not reading): only then does another start.
constexpr auto kHeldTooLong = std::chrono::milliseconds(50);
// Descriptors no connection may take: files being sent, CGI pipes, logs, the registry and
// what the filters open.
constexpr std::size_t kReservedDescriptors = 256;
// After a failed accept (most often: out of descriptors) the next try waits this long, so
// that the loop does not spin on an error that lasts.
constexpr auto kAcceptPause = std::chrono::milliseconds(50);

// Raises the descriptor limit as far as allowed, and says how many connections fit in it:
// each takes its socket, and may hold a copy of the descriptor of a file its client has not
// taken yet.
std::size_t connectionRoom() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024 - kReservedDescriptors;
  if (limit.rlim_cur < limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const std::size_t descriptors = limit.rlim_cur == RLIM_INFINITY ? std::size_t{1} << 20 : limit.rlim_cur;
  return (descriptors > 2 * kReservedDescriptors ? descriptors - kReservedDescriptors : descriptors / 2) / 2;
}

}  // namespace

Server::Server(ServerOptions options, ServerConfig config) : options_(std::move(options)), config_(std::move(config)) {}

Server::~Server() { stop(); }

bool Server::start(std::string& error) {
  const auto logRoot = platform::machineRootPath() / "logs";
  for (const SiteConfig& site : config_.sites)
    logs_[site.id] = std::make_unique<AccessLog>(logRoot / ("W3SVC" + std::to_string(site.id)));
  filters_.load(config_.filters, [this](const std::string& line) {
    std::cerr << "w3svc: " << line << std::endl;
    for (auto& [id, log] : logs_) log->remark(line);
  });

  // A port with an all-addresses binding is listened on once for every address; otherwise
  // on each address named.
  std::set<std::pair<std::string, unsigned short>> endpoints;
  std::set<unsigned short> wildcardPorts;
  for (const SiteConfig& site : config_.sites)
    for (const Binding& binding : site.bindings)
      if (binding.ip.empty()) wildcardPorts.insert(binding.port);
  for (const SiteConfig& site : config_.sites)
    for (const Binding& binding : site.bindings)
      endpoints.insert({wildcardPorts.count(binding.port) ? "0.0.0.0" : binding.ip, binding.port});

  threads_ = std::make_unique<IoThreads>(options_.workers, kHeldTooLong);
  for (const auto& [ip, port] : endpoints) {
    boost::system::error_code ec;
    const auto address = asio::ip::make_address(ip, ec);
    if (ec) {
      error += "bad address " + ip + "; ";
      continue;
    }
    auto acceptor = std::make_unique<tcp::acceptor>(threads_->first());
    const tcp::endpoint endpoint(address, port);
    acceptor->open(endpoint.protocol(), ec);
    if (!ec) acceptor->set_option(asio::socket_base::reuse_address(true), ec);
    if (!ec) acceptor->bind(endpoint, ec);
    if (!ec) acceptor->listen(asio::socket_base::max_listen_connections, ec);
    if (ec) {
      error += "cannot listen on " + ip + ":" + std::to_string(port) + ": " + ec.message() + "; ";
      continue;
    }
    acceptors_.push_back(std::move(acceptor));
  }
  if (acceptors_.empty()) {
    if (error.empty()) error = "no site has a binding";
    return false;
  }
  max_connections_ = std::min(options_.maxConnections, connectionRoom());
  SocketOutput::setHeldFileBudget(max_connections_);
  // Enough threads for every site's share of programs, so that no site waits for another's.
  programs_ = std::make_unique<WorkerPool>(std::min<std::size_t>(1024, options_.maxProgramsPerSite * config_.sites.size()));
  for (auto& acceptor : acceptors_) accept(*acceptor);
  return true;
}

std::vector<std::string> Server::listening() const {
  std::vector<std::string> addresses;
  for (const auto& acceptor : acceptors_) {
    boost::system::error_code ec;
    const auto endpoint = acceptor->local_endpoint(ec);
    if (!ec) addresses.push_back(endpoint.address().to_string() + ":" + std::to_string(endpoint.port()));
  }
  return addresses;
}

void Server::accept(tcp::acceptor& acceptor) {
  acceptor.async_accept(asio::make_strand(threads_->next()), [this, &acceptor](boost::system::error_code ec, Connection::Socket socket) {
    if (stopping_) return;
    if (ec) {
      // Out of descriptors, most likely: an idle connection gives one back.
      {
        std::lock_guard lock(connections_mutex_);
        closeOldestIdle();
      }
      return acceptLater(acceptor);
    }
    std::shared_ptr<Connection> connection;
    {
      std::lock_guard lock(connections_mutex_);
      if (open_connections_ < max_connections_ || closeOldestIdle()) {
        ++open_connections_;
        connection = std::make_shared<Connection>(*this, std::move(socket));
        // A weak reference holds the memory of a connection made with make_shared: those of
        // ended connections go before they outnumber the open ones.
        if (connections_.size() > 2 * open_connections_ + 256)
          std::erase_if(connections_, [](const std::weak_ptr<Connection>& c) { return c.expired(); });
        connections_.push_back(connection);
      }
    }
    // Refused (every connection is busy with a request): the socket closes here.
    if (connection) connection->start();
    accept(acceptor);
  });
}

void Server::acceptLater(tcp::acceptor& acceptor) {
  auto timer = std::make_shared<asio::steady_timer>(acceptor.get_executor(), kAcceptPause);
  timer->async_wait([this, &acceptor, timer](boost::system::error_code) {
    if (!stopping_) accept(acceptor);
  });
}

bool Server::closeOldestIdle() {
  for (const auto& weak : connections_) {
    const auto connection = weak.lock();
    if (connection && connection->closeIfIdle()) return true;
  }
  return false;
}

void Server::connectionEnded() { --open_connections_; }

bool Server::runProgram(unsigned siteId, std::function<void()> work) {
  {
    std::lock_guard lock(programs_mutex_);
    std::size_t& running = programs_running_[siteId];
    if (running >= options_.maxProgramsPerSite) return false;
    ++running;
  }
  programs_->post([this, siteId, work = std::move(work)] {
    work();
    std::lock_guard lock(programs_mutex_);
    --programs_running_[siteId];
  });
  return true;
}

const SiteConfig* Server::route(const std::string& localIp, unsigned short port, const std::string& host) const {
  // IIS's order: the exact address and host, then any address with the host, then the
  // address without a host, then the catch-all.
  const SiteConfig* best = nullptr;
  int bestRank = 0;
  for (const SiteConfig& site : config_.sites) {
    for (const Binding& binding : site.bindings) {
      if (binding.port != port) continue;
      const bool ipMatches = binding.ip == localIp;
      if (!binding.ip.empty() && !ipMatches) continue;
      const bool hostMatches = !binding.host.empty() && platform::text::equalsNoCase(binding.host, host);
      if (!binding.host.empty() && !hostMatches) continue;
      const int rank = (hostMatches ? 2 : 0) + (ipMatches ? 1 : 0) + 1;
      if (rank > bestRank) {
        best = &site;
        bestRank = rank;
      }
    }
  }
  return best;
}

AccessLog* Server::accessLog(unsigned siteId) {
  auto it = logs_.find(siteId);
  return it == logs_.end() ? nullptr : it->second.get();
}

void Server::runHolding(const std::function<void()>& work) { threads_->runHolding(work); }

void Server::stop() {
  if (stopped_) return;
  stopped_ = true;
  stopping_ = true;
  for (auto& acceptor : acceptors_) {
    asio::post(threads_->first(), [&acceptor] {
      boost::system::error_code ec;
      acceptor->close(ec);
    });
  }
  const auto deadline = std::chrono::steady_clock::now() + options_.stopTimeout;
  while (true) {
    std::vector<std::shared_ptr<Connection>> alive;
    {
      std::lock_guard lock(connections_mutex_);
      for (const auto& weak : connections_)
        if (auto connection = weak.lock()) alive.push_back(std::move(connection));
    }
    if (alive.empty() || std::chrono::steady_clock::now() > deadline) break;
    for (const auto& connection : alive) connection->stopIfIdle();
    alive.clear();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (programs_) programs_->join();
  if (threads_) threads_->stop();
  // Connections still open end with the I/O contexts (their filters see the end of their
  // sessions); only then are the filters told to terminate.
  acceptors_.clear();
  threads_.reset();
  filters_.terminate();
}

}  // namespace w3svc
