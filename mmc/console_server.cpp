#include "mmc/console_server.h"

#include <fcntl.h>
#include <unistd.h>

#include <utility>  // asio's awaitable needs std::exchange

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <list>
#include <sstream>
#include <thread>

#include "mmc/input_request.h"
#include "mmc/page_assets.h"
#include "mmc/screen_json.h"
#include "platform/ui/window_view.h"

namespace mmc {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using asio::awaitable;
using asio::use_awaitable;
using asio::ip::tcp;

namespace {

constexpr auto kIdleTimeout = std::chrono::seconds(60);
constexpr auto kLongPoll = std::chrono::seconds(20);
constexpr std::size_t kBodyLimit = 64 * 1024;
// Connections of the console's own page, which has shown the secret; a browser keeps a few.
constexpr int kMaxConnections = 64;
// Any local process may connect. Until a connection shows the secret it has little time and
// few places, and the oldest goes when another comes, so such connections never lock the
// administrator out; the browser sends its request the moment it connects.
constexpr auto kFirstRequestTime = std::chrono::seconds(3);
constexpr std::size_t kMaxStrangers = 16;

using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;

std::string contentTypeOf(const std::string& path) {
  const auto dot = path.rfind('.');
  std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  // The help file is an HTML page under the name the page opens.
  if (ext == "hlp" || ext == "htm" || ext == "html") return "text/html; charset=iso-8859-1";
  if (ext == "css") return "text/css";
  if (ext == "txt") return "text/plain; charset=iso-8859-1";
  if (ext == "svg") return "image/svg+xml";
  if (ext == "png") return "image/png";
  return "application/octet-stream";
}

}  // namespace

std::string makeSecret() {
  unsigned char bytes[16] = {};
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::read(fd, bytes, sizeof(bytes)) != static_cast<ssize_t>(sizeof(bytes))) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("no random source for the console's secret");
  }
  ::close(fd);
  std::string secret;
  char hex[3];
  for (unsigned char b : bytes) {
    std::snprintf(hex, sizeof(hex), "%02x", b);
    secret += hex;
  }
  return secret;
}

struct ConsoleServer::Impl {
  platform::ui::UiThread& ui;
  asio::io_context io;
  tcp::acceptor acceptor{io};
  asio::thread_pool blocking{4};  // input waits for the user-interface thread to settle
  std::string secret = makeSecret();
  std::string prefix = "/" + secret + "/";
  std::thread thread;
  // Both touched on the I/O thread only.
  struct Peer {
    explicit Peer(tcp::socket socket) : stream(std::move(socket)) {}
    beast::tcp_stream stream;
  };
  std::list<std::shared_ptr<Peer>> strangers;  // oldest first
  int connections = 0;                          // that have shown the secret

  explicit Impl(platform::ui::UiThread& u) : ui(u) {}

  unsigned short port() const { return acceptor.local_endpoint().port(); }

  bool ownHost(std::string_view host) const {
    const std::string p = ":" + std::to_string(port());
    return host == "127.0.0.1" + p || host == "localhost" + p;
  }
  bool ownOrigin(std::string_view origin) const {
    const std::string p = ":" + std::to_string(port());
    return origin == "http://127.0.0.1" + p || origin == "http://localhost" + p;
  }

  static Response plain(const Request& req, http::status status, std::string body) {
    Response res{status, req.version()};
    res.set(http::field::content_type, "text/plain; charset=utf-8");
    res.set(http::field::cache_control, "no-store");
    res.keep_alive(req.keep_alive());
    res.body() = std::move(body);
    res.prepare_payload();
    return res;
  }

  static Response content(const Request& req, std::string type, std::string body) {
    Response res = plain(req, http::status::ok, std::move(body));
    res.set(http::field::content_type, type);
    // The page is the console's own; nothing else may frame it or run script in it.
    res.set("X-Frame-Options", "DENY");
    res.set("Content-Security-Policy", "default-src 'self'; img-src 'self' data:; style-src 'self'; frame-ancestors 'none'");
    res.prepare_payload();
    return res;
  }

  awaitable<Response> screen(const Request& req, std::string_view query) {
    std::uint64_t since = 0;
    if (auto at = query.find("since="); at != std::string_view::npos)
      since = std::strtoull(std::string(query.substr(at + 6)).c_str(), nullptr, 10);
    // Waits (without holding a thread) until the windows change or the poll's time is up.
    asio::steady_timer timer(co_await asio::this_coro::executor);
    const auto deadline = std::chrono::steady_clock::now() + kLongPoll;
    while (since != 0 && platform::ui::waitForChange(since, 0) == since && std::chrono::steady_clock::now() < deadline) {
      timer.expires_after(std::chrono::milliseconds(40));
      co_await timer.async_wait(use_awaitable);
    }
    co_return content(req, "application/json", screenToJson(platform::ui::takeScreen()));
  }

  awaitable<Response> input(const Request& req) {
    const auto origin = req[http::field::origin];
    if (!ownOrigin(std::string_view(origin.data(), origin.size()))) co_return plain(req, http::status::forbidden, "input from another origin is refused\n");
    // To a thread that may wait for the user-interface thread, and back.
    auto home = co_await asio::this_coro::executor;
    co_await asio::post(blocking, use_awaitable);
    // The answer is known before the input goes in; the input itself may open a modal dialog
    // and run on long after this request is answered.
    auto delivered = std::make_shared<bool>(false);
    ui.runAndSettle([delivered, body = req.body()] {
      *delivered = acceptsInput(body);
      if (*delivered) deliverInput(body);
    });
    co_await asio::post(home, use_awaitable);
    co_return content(req, "application/json",
                      std::string("{\"delivered\":") + (*delivered ? "true" : "false") + ",\"version\":" +
                          std::to_string(platform::ui::takeScreen().version) + "}");
  }

  Response opened(const Request& req, std::string_view serialText) {
    const auto serial = std::strtoull(std::string(serialText).c_str(), nullptr, 10);
    for (const auto& opening : platform::ui::takeScreen().openings) {
      if (opening.serial != serial) continue;
      std::ifstream file(opening.hostPath, std::ios::binary);
      if (!file) break;
      std::ostringstream data;
      data << file.rdbuf();
      return content(req, contentTypeOf(opening.windowsPath), data.str());
    }
    return plain(req, http::status::not_found, "no such file was opened\n");
  }

  awaitable<Response> handle(const Request& req) {
    const auto host = req[http::field::host];
    if (!ownHost(std::string_view(host.data(), host.size()))) co_return plain(req, http::status::forbidden, "wrong host\n");
    const std::string_view target(req.target().data(), req.target().size());
    if (target.substr(0, prefix.size()) != prefix) co_return plain(req, http::status::forbidden, "forbidden\n");
    std::string_view rest = target.substr(prefix.size());
    std::string_view query;
    if (auto q = rest.find('?'); q != std::string_view::npos) {
      query = rest.substr(q + 1);
      rest = rest.substr(0, q);
    }
    if (req.method() == http::verb::post) {
      if (rest == "input") co_return co_await input(req);
      co_return plain(req, http::status::method_not_allowed, "no\n");
    }
    if (req.method() != http::verb::get) co_return plain(req, http::status::method_not_allowed, "no\n");
    if (rest.empty()) co_return content(req, "text/html; charset=utf-8", std::string(assets::kConsoleHtml));
    if (rest == "console.js") co_return content(req, "text/javascript; charset=utf-8", std::string(assets::kConsoleJs));
    if (rest == "console.css") co_return content(req, "text/css; charset=utf-8", std::string(assets::kConsoleCss));
    if (rest == "screen") co_return co_await screen(req, query);
    if (rest.substr(0, 5) == "open/") co_return opened(req, rest.substr(5));
    co_return plain(req, http::status::not_found, "not found\n");
  }

  bool showsSecret(const Request& req) const {
    const auto host = req[http::field::host];
    const std::string_view target(req.target().data(), req.target().size());
    return ownHost(std::string_view(host.data(), host.size())) && target.substr(0, prefix.size()) == prefix;
  }

  awaitable<void> serve(std::shared_ptr<Peer> peer) {
    beast::tcp_stream& stream = peer->stream;
    beast::flat_buffer buffer;
    bool known = false;
    try {
      for (;;) {
        stream.expires_after(known ? kIdleTimeout : kFirstRequestTime);
        http::request_parser<http::string_body> parser;
        parser.body_limit(kBodyLimit);
        parser.header_limit(16 * 1024);
        co_await http::async_read(stream, buffer, parser, use_awaitable);
        Request req = parser.release();
        if (!known && showsSecret(req) && connections < kMaxConnections) {
          known = true;
          strangers.remove(peer);
          ++connections;
        }
        stream.expires_never();
        Response res = co_await handle(req);
        // A refused request ends its connection: it earns no further tries.
        if (!known) res.keep_alive(false);
        stream.expires_after(kIdleTimeout);
        co_await http::async_write(stream, res, use_awaitable);
        if (!res.keep_alive()) break;
      }
    } catch (const std::exception&) {
      // A client that went away, timed out, was closed to make room or sent something unreadable.
    }
    beast::error_code ec;
    stream.socket().shutdown(tcp::socket::shutdown_send, ec);
    if (known) {
      --connections;
    } else {
      strangers.remove(peer);
    }
  }

  awaitable<void> accept() {
    for (;;) {
      tcp::socket socket = co_await acceptor.async_accept(use_awaitable);
      if (strangers.size() >= kMaxStrangers) {
        beast::error_code ec;
        strangers.front()->stream.socket().close(ec);
        strangers.pop_front();
      }
      auto peer = std::make_shared<Peer>(std::move(socket));
      strangers.push_back(peer);
      asio::co_spawn(io, serve(std::move(peer)), asio::detached);
    }
  }
};

ConsoleServer::ConsoleServer(platform::ui::UiThread& ui, unsigned short port) : impl_(std::make_unique<Impl>(ui)) {
  const tcp::endpoint endpoint(asio::ip::make_address("127.0.0.1"), port);
  impl_->acceptor.open(endpoint.protocol());
  impl_->acceptor.set_option(asio::socket_base::reuse_address(true));
  impl_->acceptor.bind(endpoint);
  impl_->acceptor.listen();
  asio::co_spawn(impl_->io, impl_->accept(), asio::detached);
  impl_->thread = std::thread([this] { impl_->io.run(); });
}

ConsoleServer::~ConsoleServer() {
  impl_->io.stop();
  impl_->thread.join();
  impl_->blocking.join();
}

unsigned short ConsoleServer::port() const { return impl_->port(); }

std::string ConsoleServer::url() const {
  return "http://127.0.0.1:" + std::to_string(port()) + impl_->prefix;
}

}  // namespace mmc
