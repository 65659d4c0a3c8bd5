#pragma once
// One client connection: requests read with Boost.Beast's parser on the I/O threads, run on
// a worker thread through the filters, and answered with blocking writes from that worker.
// Keep-alive and pipelining for HTTP/1.1; HTTP/1.0 closes after each response.

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <atomic>
#include <cstdint>
#include <chrono>
#include <memory>
#include <optional>

#include "w3svc/client_output.h"
#include "w3svc/exchange.h"
#include "w3svc/filter_session.h"
#include "w3svc/response_writer.h"
#include "w3svc/server_context.h"
#include "w3svc/static_files.h"

namespace w3svc {

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // A connection's work runs on a strand of one I/O thread's context. Named as what it is,
  // not as any executor: every read and timer wait would otherwise copy and allocate
  // through the type-erased one.
  using Executor = boost::asio::strand<boost::asio::io_context::executor_type>;
  using Socket = boost::asio::basic_stream_socket<boost::asio::ip::tcp, Executor>;

  Connection(ServerContext& server, Socket socket);
  ~Connection();
  void start();
  // Ends the connection if it is waiting for a request; one in progress finishes first.
  void stopIfIdle();
  // Closes the connection soon if no request has begun on it (to make room for others);
  // false when it is busy or already told.
  bool closeIfIdle();
  bool idle() const { return idle_; }

 private:
  using Parser = boost::beast::http::request_parser<boost::beast::http::string_body>;

  void waitForRequest();
  void readHeader();
  void parseHeader();
  void onHeader(boost::beast::error_code ec);
  void processHeader();
  void readBody();
  void onBody(boost::beast::error_code ec);
  void processRequest();
  // Sends a file, or the error or redirect the URL leads to.
  bool answer(StaticTarget& target);
  void completeRequest(bool framed);
  // Sends what the client has not taken yet, then goes on as next says.
  enum class AfterFlush { kNextRequest, kClose, kReadBody };
  void flushOutput(AfterFlush next);
  // Answers a request that never reached the filters (it could not be parsed) and closes.
  bool reserveBody(std::size_t bytes);
  void releaseBody();
  void reject(unsigned status);
  void answerServerOptions();
  void sendAndClose(const std::string& text);
  void lingerAndClose();
  void drainInput();
  void closeSocket();
  // Our own deadline rather than the stream's: the stream's closes the socket when it
  // fires, and a slow client is still owed its 408. Arming and disarming only set the
  // deadline; the timer is moved only when it would wake too late, and on waking it looks
  // at the deadline of the moment, so a busy connection does not reset it every request.
  void armTimer(std::chrono::milliseconds after);
  void disarmTimer();
  void waitForDeadline();
  void onTimer(boost::beast::error_code ec);

  ServerContext& server_;
  Socket socket_;
  boost::beast::flat_buffer buffer_;
  boost::asio::basic_waitable_timer<std::chrono::steady_clock, boost::asio::wait_traits<std::chrono::steady_clock>,
                                    Executor>
      timer_;
  bool timed_out_ = false;
  // A deadline that fired just as its read completed must not cancel the next read: the
  // timer acts only on the deadline that holds when it wakes.
  std::chrono::steady_clock::time_point deadline_ = std::chrono::steady_clock::time_point::max();
  bool timer_waiting_ = false;
  std::optional<Parser> parser_;
  SocketOutput output_;
  std::unique_ptr<FilterSession> session_;
  std::unique_ptr<Request> request_;
  std::unique_ptr<ResponseWriter> writer_;
  bool keep_alive_wanted_ = false;
  bool request_line_taken_ = false;  // the parser has taken this request's line
  std::size_t requests_served_ = 0;
  std::size_t body_reserved_ = 0;  // of what all request bodies may hold
  std::atomic<bool> idle_{false};
  std::atomic<bool> closing_{false};  // told to close by closeIfIdle
  bool closed_idle_ = false;          // and closed by it (on the strand)
  std::chrono::steady_clock::time_point started_;
  std::string remote_ip_;
  unsigned short remote_port_ = 0;
  std::string local_ip_;
  unsigned short local_port_ = 0;
};

}  // namespace w3svc
