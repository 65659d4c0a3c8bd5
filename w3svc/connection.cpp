#include "w3svc/connection.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core/read_size.hpp>

#include <algorithm>
#include <optional>

#include "w3svc/cgi_runner.h"
#include "w3svc/error_pages.h"
#include "w3svc/request_checks.h"
#include "w3svc/responses.h"
#include "w3svc/static_files.h"

namespace w3svc {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = boost::beast::http;

namespace {

// A request line may hold a URL up to the URL limit on top of the header limit.
constexpr std::size_t kRequestLineExtra = 64;
// After the last response, unread input is drained this long so that the kernel does not
// answer it with a reset that could destroy the response on its way.
constexpr auto kLingerTime = std::chrono::seconds(2);
// What the bodies of all requests may hold in memory at once (at least one body of the
// largest size allowed): each is read whole before it is served, and thousands of
// connections at --max-body-bytes each would take the machine's.
constexpr std::size_t kBodiesInAll = 256u << 20;
std::atomic<std::size_t> bodiesInAll{0};

// The version of a request line the parser refused for it, when it is another than 1.0 and
// 1.1 (a line of three words whose last is "HTTP/d.d"): its major digit, and where its minor
// digit lies in the line. nullopt when the line failed for another reason.
struct OtherVersion {
  char major;
  std::size_t minorAt;
};
std::optional<OtherVersion> otherVersion(std::string_view line) {
  if (line.ends_with('\r')) line.remove_suffix(1);
  const std::size_t at = line.rfind(" HTTP/");
  if (std::count(line.begin(), line.end(), ' ') != 2 || at == std::string_view::npos) return std::nullopt;
  const std::string_view version = line.substr(at + 6);
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (version.size() != 3 || !digit(version[0]) || version[1] != '.' || !digit(version[2])) return std::nullopt;
  if (version[0] == '1' && (version[2] == '0' || version[2] == '1')) return std::nullopt;
  return OtherVersion{version[0], at + 8};
}

}  // namespace

Connection::Connection(ServerContext& server, Socket socket)
    : server_(server),
      socket_(std::move(socket)),
      buffer_(server.options().maxHeaderBytes + server.options().maxUrlBytes + 65536),
      timer_(socket_.get_executor()),
      output_(socket_.native_handle(), server.options().sendTimeout) {
  beast::error_code ec;
  const auto remote = socket_.remote_endpoint(ec);
  if (!ec) {
    remote_ip_ = remote.address().to_string();
    remote_port_ = remote.port();
  }
  const auto local = socket_.local_endpoint(ec);
  if (!ec) {
    local_ip_ = local.address().to_string();
    local_port_ = local.port();
  }
  socket_.set_option(asio::ip::tcp::no_delay(true), ec);
}

Connection::~Connection() {
  releaseBody();
  server_.connectionEnded();
}

bool Connection::reserveBody(std::size_t bytes) {
  releaseBody();
  const std::size_t budget = std::max(kBodiesInAll, server_.options().maxBodyBytes);
  if (bodiesInAll.fetch_add(bytes) + bytes > budget) {
    bodiesInAll -= bytes;
    return false;
  }
  body_reserved_ = bytes;
  return true;
}

void Connection::releaseBody() {
  bodiesInAll -= body_reserved_;
  body_reserved_ = 0;
}

void Connection::start() {
  session_ = std::make_unique<FilterSession>(server_.filters(), output_);
  asio::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->waitForRequest(); });
}

bool Connection::closeIfIdle() {
  if (!idle_ || closing_.exchange(true)) return false;
  asio::post(socket_.get_executor(), [self = shared_from_this()] {
    if (!self->idle_) {
      self->closing_ = false;  // a request began meanwhile
      return;
    }
    // Nothing was said on it: no answer is owed, and lingering would hold the descriptor
    // that is wanted back.
    self->idle_ = false;
    self->closed_idle_ = true;
    self->disarmTimer();
    beast::error_code ec;
    self->socket_.close(ec);
  });
  return true;
}

void Connection::stopIfIdle() {
  asio::post(socket_.get_executor(), [self = shared_from_this()] {
    beast::error_code ignored;
    if (self->idle_) self->socket_.cancel(ignored);
  });
}

void Connection::waitForRequest() {
  if (server_.stopping()) return lingerAndClose();
  idle_ = true;
  if (buffer_.size() > 0) return readHeader();  // a pipelined request is already here
  armTimer(server_.options().idleTimeout);
  socket_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](beast::error_code ec, std::size_t n) {
    self->disarmTimer();
    self->buffer_.commit(n);
    // Idle time-out, the client closed, or stop. Closed to make room, the bytes that came
    // meanwhile are not served: the descriptor may already belong to another connection.
    if (ec || n == 0 || self->closed_idle_) return self->lingerAndClose();
    self->readHeader();
  });
}

void Connection::readHeader() {
  idle_ = false;
  const ServerOptions& options = server_.options();
  parser_.emplace();
  parser_->header_limit(static_cast<std::uint32_t>(options.maxHeaderBytes + options.maxUrlBytes + kRequestLineExtra));
  parser_->body_limit(options.maxBodyBytes);
  started_ = std::chrono::steady_clock::now();
  request_line_taken_ = false;
  armTimer(options.requestTimeout);
  parseHeader();
}

void Connection::parseHeader() {
  // Fed by hand rather than read with async_read_header: the parser joins folded lines
  // without a word, so the raw header is looked at before the parser consumes it.
  beast::error_code ec;
  // Empty lines before a request line are passed over: a client may end a body with one.
  while (!parser_->got_some() && buffer_.size() > 0) {
    const char first = *static_cast<const char*>(buffer_.data().data());
    if (first != '\r' && first != '\n') break;
    buffer_.consume(1);
  }
  if (buffer_.size() > 0) {
    const std::size_t used = parser_->put(buffer_.data(), ec);
    if (used > 0) request_line_taken_ = true;  // the parser takes the line, then each field
    if (!ec && parser_->is_header_done()) {
      const bool folded = hasFoldedLine(std::string_view(static_cast<const char*>(buffer_.data().data()), used));
      buffer_.consume(used);
      if (folded) {
        disarmTimer();
        return reject(400);
      }
      return onHeader({});
    }
    buffer_.consume(used);
    if (ec && ec != http::error::need_more) return onHeader(ec);
  }
  // As much as the buffer holds already (64 KB at most): a header that comes slowly does
  // not make every connection take its largest buffer.
  const std::size_t room = beast::read_size(buffer_, 65536);
  if (room == 0) return onHeader(http::error::buffer_overflow);
  socket_.async_read_some(buffer_.prepare(room),
                          [self = shared_from_this()](beast::error_code ec, std::size_t n) {
                            self->buffer_.commit(n);
                            if (ec == asio::error::eof)
                              self->parser_->got_some() ? self->parser_->put_eof(ec) : void(ec = http::error::end_of_stream);
                            if (ec) return self->onHeader(ec);
                            self->parseHeader();
                          });
}

void Connection::onHeader(beast::error_code ec) {
  disarmTimer();
  if (ec && timed_out_) return reject(408);
  // The parser reads the request line and the fields as one header and keeps them unread
  // until it has all of it: what overflowed is told apart here.
  const std::string_view unread(static_cast<const char*>(buffer_.data().data()), buffer_.size());
  const std::size_t lineEnd = unread.find('\n');
  if (ec == http::error::header_limit || ec == http::error::buffer_overflow) {
    const std::size_t longestLine = server_.options().maxUrlBytes + kRequestLineExtra;
    return reject(!request_line_taken_ && std::min(lineEnd, unread.size()) > longestLine ? 414 : 431);
  }
  // The parser knows HTTP/1.0 and 1.1 only: another major version is one this server does
  // not serve (505), a later 1.x is served as 1.1.
  if (ec == http::error::bad_version && !request_line_taken_ && lineEnd != std::string_view::npos) {
    if (const auto version = otherVersion(unread.substr(0, lineEnd))) {
      if (version->major != '1') return reject(505);
      static_cast<char*>(buffer_.data().data())[version->minorAt] = '1';
      return readHeader();  // a fresh parser over the same bytes
    }
  }
  if (ec == http::error::body_limit) return reject(413);
  if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset ||
      ec == asio::error::operation_aborted)
    return lingerAndClose();
  if (ec) return reject(400);
  server_.runHolding([self = shared_from_this()] { self->processHeader(); });
}

void Connection::processHeader() {
  if (server_.stopping()) return reject(503);
  const ServerOptions& options = server_.options();
  const auto& header = parser_->get();
  const unsigned version = header.version();
  if (version != 10 && version != 11) return reject(505);
  const std::string_view target(header.target().data(), header.target().size());
  if (target.size() > options.maxUrlBytes) return reject(414);
  std::size_t count = 0;
  std::size_t fieldBytes = 0;
  for (const auto& field : header) {
    ++count;
    fieldBytes += field.name_string().size() + field.value().size() + 4;
  }
  if (count > options.maxHeaderCount || fieldBytes > options.maxHeaderBytes) return reject(431);

  auto request = std::make_unique<Request>();
  request->method = std::string(header.method_string());
  request->version = version;
  request->headers.reserve(count);
  for (const auto& field : header)
    request->headers.push_back({std::string(field.name_string()), std::string(field.value())});
  if (const unsigned status = checkRequestHeader(request->headers, version)) return reject(status);
  // The asterisk form asks about the server as a whole, and CONNECT asks for a tunnel, which
  // no site here makes: neither names anything a site holds.
  if (target == "*") return request->method == "OPTIONS" ? answerServerOptions() : reject(400);
  if (request->method == "CONNECT") return reject(501);
  request->remoteAddress = remote_ip_;
  request->remotePort = remote_port_;
  request->localAddress = local_ip_;
  request->localPort = local_port_;
  request->url = canonicalizeUrl(target);
  if (request->url.status) return reject(request->url.status);
  // An absolute-form target names its host, which wins over the Host field: the site, a
  // program's HTTP_HOST and a redirect all take that one host.
  const auto authority = absoluteFormAuthority(target);
  if (authority) {
    if (!validHostField(*authority)) return reject(400);
    setHeader(request->headers, "Host", *authority);
  }
  std::string host;
  if (const std::string* value = findHeader(request->headers, "Host")) host = std::string(hostName(*value));
  request->site = server_.route(local_ip_, local_port_, host);
  if (!request->site) return reject(400);
  // Filters read the URL as the client sent it (IIS hands them the raw one), an absolute
  // form's without its scheme and host; a filter that rewrites it has its text made safe
  // again below.
  const std::string_view raw = originFormTarget(target);
  request->target = raw.empty() || raw.front() != '/' ? "/" + std::string(raw) : std::string(raw);
  keep_alive_wanted_ = version == 11 && header.keep_alive() && ++requests_served_ < options.maxRequestsPerConnection;

  request_ = std::move(request);
  session_->beginRequest(*request_);
  writer_ = std::make_unique<ResponseWriter>(*session_, options.pieceSize);
  if (!keep_alive_wanted_) writer_->closeAfter();
  const FilterOutcome outcome = session_->preprocHeaders();
  if (outcome != FilterOutcome::Next) return completeRequest(outcome == FilterOutcome::FinishedKeepAlive);

  // A filter may have rewritten the URL: it is made safe again before it is used.
  const std::string seen = request_->url.path + (request_->url.query.empty() ? "" : "?" + request_->url.query);
  if (request_->target != seen) {
    CanonicalUrl url = canonicalizeUrl(request_->target);
    if (url.status) return completeRequest(sendErrorPage(*request_, *writer_, url.status));
    request_->url = std::move(url);
  }
  if (header.has_content_length() && parser_->content_length() && *parser_->content_length() > options.maxBodyBytes) {
    writer_->closeAfter();
    sendErrorPage(*request_, *writer_, 413);
    return completeRequest(false);
  }
  if (parser_->is_done()) return processRequest();
  // Counted by its declared length; a chunked one by the most it may grow to. Past what all
  // may hold, the server is busy for it.
  if (!reserveBody(parser_->content_length().value_or(options.maxBodyBytes))) {
    writer_->closeAfter();
    sendErrorPage(*request_, *writer_, 503);
    return completeRequest(false);
  }
  // An HTTP/1.0 client knows no interim answers: it would take one for the final answer.
  const auto expect = header.find(http::field::expect);
  if (request_->version >= 11 && expect != header.end() && beast::iequals(expect->value(), "100-continue")) {
    if (!writer_->sendInterim(100, reasonPhrase(100))) return completeRequest(false);
  }
  // The interim answer must reach the client before it sends the body it waits to send.
  asio::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->flushOutput(AfterFlush::kReadBody); });
}

void Connection::readBody() {
  armTimer(server_.options().requestTimeout);
  http::async_read(socket_, buffer_, *parser_,
                   [self = shared_from_this()](beast::error_code ec, std::size_t) { self->onBody(ec); });
}

void Connection::onBody(beast::error_code ec) {
  disarmTimer();
  const bool timedOut = ec && timed_out_;
  server_.runHolding([self = shared_from_this(), ec, timedOut] {
    if (!ec) return self->processRequest();
    // The filters saw this request begin, so they see it end, with an answer if one fits;
    // the connection closes after it, and the answer says so.
    self->writer_->closeAfter();
    if (ec == http::error::body_limit) {
      sendErrorPage(*self->request_, *self->writer_, 413);
    } else if (timedOut) {
      sendErrorPage(*self->request_, *self->writer_, 408);
    } else if (ec != asio::error::eof && ec != http::error::partial_message) {
      sendErrorPage(*self->request_, *self->writer_, 400);
    }
    self->completeRequest(false);
  });
}

void Connection::processRequest() {
  request_->body = std::move(parser_->get().body());
  StaticTarget target = resolveStaticTarget(*request_);
  const ScriptMap* map = target.status ? nullptr : scriptMapFor(*request_);
  if (!map) return completeRequest(answer(target));
  // A program may run for minutes: it waits on threads of its own, and past its site's
  // share it is not started at all, so files and other sites never queue behind it.
  const bool started = server_.runProgram(request_->site->id, [self = shared_from_this(), map, file = target.file] {
    self->completeRequest(runCgi(*self->request_, *map, file, *self->writer_, self->server_.options().cgiTimeout));
  });
  if (!started) completeRequest(sendErrorPage(*request_, *writer_, 503));
}

bool Connection::answer(StaticTarget& target) {
  Request& request = *request_;
  if (target.status == 302) {
    const std::string* host = findHeader(request.headers, "Host");
    const std::string authority = host && !host->empty() ? *host : local_ip_ + ":" + std::to_string(local_port_);
    std::string location = "http://" + authority + encodePath(request.url.path) + "/";
    if (!request.url.query.empty()) location += "?" + request.url.query;
    return sendErrorPage(request, *writer_, 302, {{"Location", location}});
  }
  if (target.status) return sendErrorPage(request, *writer_, target.status);
  return serveFile(request, target, *writer_);
}

void Connection::completeRequest(bool framed) {
  const FilterOutcome end = session_->endOfRequest();
  const Request& request = *request_;
  const std::string& method = request.method;
  const std::string& stem = request.url.path;
  const std::string& query = request.url.query;
  const std::string& server = request.localAddress;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started_);
  // What the client was answered: a filter's own status line stands in for the server's; a
  // filter's raw answer counts as 200, and no answer at all (the client left during its
  // body) as the 400 an incomplete request is, never as a success.
  unsigned status = session_->filterStatus() ? session_->filterStatus() : writer_->status();
  if (!status) status = session_->bytesSent() ? 200 : 400;
  HTTP_FILTER_LOG record{remote_ip_.c_str(), "",  server.c_str(), method.c_str(), stem.c_str(), query.c_str(),
                         status, 0, static_cast<DWORD>(session_->bytesSent()),
                         static_cast<DWORD>(request.body.size()), static_cast<DWORD>(elapsed.count())};
  session_->log(record);
  if (AccessLog* log = server_.accessLog(request.site->id)) {
    const std::string* agent = findHeader(request.headers, "User-Agent");
    log->write({std::time(nullptr), remote_ip_, method, stem, query, record.dwHttpStatus, record.dwBytesSent,
                agent ? std::string_view(*agent) : std::string_view()});
  }
  const FilterOutcome outcome = writer_->outcome();
  const bool finishedByFilter = outcome == FilterOutcome::Finished || outcome == FilterOutcome::Error ||
                                end == FilterOutcome::Finished || end == FilterOutcome::Error;
  const bool keep = keep_alive_wanted_ && !finishedByFilter && !session_->clientGone() &&
                    !session_->filterSentHeader() && (framed || outcome == FilterOutcome::FinishedKeepAlive) &&
                    !server_.stopping();
  writer_.reset();
  request_.reset();
  parser_.reset();
  releaseBody();  // the body is gone with the request: an idle connection holds no room
  asio::dispatch(socket_.get_executor(), [self = shared_from_this(), keep] {
    self->flushOutput(keep ? AfterFlush::kNextRequest : AfterFlush::kClose);
  });
}

void Connection::flushOutput(AfterFlush next) {
  switch (output_.drainPending()) {
    case SocketOutput::Drain::kDone:
      if (next == AfterFlush::kReadBody) return readBody();
      return next == AfterFlush::kNextRequest ? waitForRequest() : lingerAndClose();
    case SocketOutput::Drain::kFailed:
      disarmTimer();
      return closeSocket();
    case SocketOutput::Drain::kWouldBlock:
      break;
  }
  // The client takes its answer slowly: this connection waits, no thread does.
  armTimer(server_.options().sendTimeout);
  socket_.async_wait(asio::ip::tcp::socket::wait_write, [self = shared_from_this(), next](beast::error_code ec) {
    if (ec) {  // the send time-out, or the stop
      self->disarmTimer();
      return self->closeSocket();
    }
    self->flushOutput(next);
  });
}

void Connection::reject(unsigned status) {
  const std::string body = errorPage(status);
  sendAndClose("HTTP/1.1 " + std::to_string(status) + " " + reasonPhrase(status) +
               "\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
               "\r\nConnection: close\r\n\r\n" + body);
}

void Connection::answerServerOptions() {
  sendAndClose("HTTP/1.1 200 OK\r\nAllow: GET, HEAD, POST\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
}

void Connection::sendAndClose(const std::string& text) {
  output_.write(text.data(), text.size());
  asio::dispatch(socket_.get_executor(), [self = shared_from_this()] { self->flushOutput(AfterFlush::kClose); });
}

void Connection::lingerAndClose() {
  idle_ = false;
  // A shut-down of the sending side would cut what the client has still to take.
  if (output_.hasPending()) return flushOutput(AfterFlush::kClose);
  beast::error_code ec;
  socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ec);
  if (ec) {
    disarmTimer();
    return closeSocket();
  }
  buffer_.clear();
  armTimer(kLingerTime);
  drainInput();
}

void Connection::closeSocket() {
  beast::error_code ignored;
  socket_.close(ignored);
}

void Connection::armTimer(std::chrono::milliseconds after) {
  timed_out_ = false;
  deadline_ = std::chrono::steady_clock::now() + after;
  if (timer_waiting_ && timer_.expiry() <= deadline_) return;  // it wakes in time and looks again
  waitForDeadline();
}

void Connection::disarmTimer() { deadline_ = std::chrono::steady_clock::time_point::max(); }

void Connection::waitForDeadline() {
  timer_waiting_ = true;
  timer_.expires_at(deadline_);  // a wait for a later moment ends with operation_aborted
  // The timer does not keep the connection: it goes with it when nothing else holds it.
  timer_.async_wait([weak = weak_from_this()](beast::error_code ec) {
    if (auto self = weak.lock()) self->onTimer(ec);
  });
}

void Connection::onTimer(beast::error_code ec) {
  if (ec == asio::error::operation_aborted) return;  // moved earlier: another wait is pending
  timer_waiting_ = false;
  if (deadline_ == std::chrono::steady_clock::time_point::max()) return;  // disarmed
  if (std::chrono::steady_clock::now() < deadline_) return waitForDeadline();  // armed again since
  timed_out_ = true;
  beast::error_code ignored;
  socket_.cancel(ignored);
}

void Connection::drainInput() {
  // Reads until the client closes its side or the linger time ends; the socket then closes
  // with the last reference to this connection.
  socket_.async_read_some(buffer_.prepare(4096), [self = shared_from_this()](beast::error_code ec, std::size_t) {
    self->buffer_.clear();
    if (ec) {
      self->disarmTimer();
      return self->closeSocket();
    }
    self->drainInput();
  });
}

}  // namespace w3svc
