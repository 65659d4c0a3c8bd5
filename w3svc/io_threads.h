#pragma once
// The threads that run the server's I/O and its requests, as IIS's completion threads do:
// a request is read and served on the same thread, with no hand-over between threads.
// One I/O context per core, each run by a thread of its own, so that a connection's events
// are waited for, read and answered on one thread without waking another; new connections
// go to the contexts in turn. When a request's work holds its thread for longer than the
// stall time (a filter waiting for a reload to drain, a client that does not read), a
// watcher starts another thread on that context for each held one, up to the limit, so
// that the context's other connections go on. Threads above one per context end after a
// while without work.

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace w3svc {

class IoThreads {
 public:
  IoThreads(std::size_t maxThreads, std::chrono::milliseconds stallTime);
  IoThreads(const IoThreads&) = delete;
  IoThreads& operator=(const IoThreads&) = delete;
  ~IoThreads();  // stop

  // The context of the listeners, and the one for the next connection.
  boost::asio::io_context& first() { return contexts_.front()->io; }
  boost::asio::io_context& next();
  // Runs a request's work on the calling thread, which counts as held while it runs.
  void runHolding(const std::function<void()>& work);
  // Stops every context and waits for every thread to end.
  void stop();
  std::size_t threads() const;

 private:
  using Clock = std::chrono::steady_clock;
  // One per thread. A request's work marks its start here without a lock, so that threads
  // serving requests never wait for each other; the watcher reads the marks.
  struct Worker {
    std::atomic<Clock::rep> heldSince{0};  // 0: not in a request's work
  };
  struct Context {
    boost::asio::io_context io;
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> keep{io.get_executor()};
    std::vector<Worker*> workers;  // under mutex_
    std::size_t threads = 0;
  };
  void startThread(Context& context);  // with mutex_ held
  void run(Context& context, bool first);
  void watch();

  const std::size_t max_;
  const std::chrono::milliseconds stall_;
  std::vector<std::unique_ptr<Context>> contexts_;
  std::atomic<std::size_t> turn_{0};
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::condition_variable watch_;
  std::size_t threads_ = 0;
  bool stopping_ = false;
  std::thread watcher_;
};

}  // namespace w3svc
