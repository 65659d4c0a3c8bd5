#pragma once
// The threads that run the server's I/O and its requests, as IIS's completion threads do:
// a request is read and served on the same thread, with no hand-over between threads.
// As many as the machine has cores while the work is quick; when a request's work holds
// its thread for longer than the stall time (a filter waiting for a reload to drain, a
// client that does not read), a watcher starts another for each held thread, up to the
// limit, so that the other connections go on. Threads above the base number end after a
// while without work.

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

namespace w3svc {

class IoThreads {
 public:
  IoThreads(boost::asio::io_context& io, std::size_t maxThreads, std::chrono::milliseconds stallTime);
  IoThreads(const IoThreads&) = delete;
  IoThreads& operator=(const IoThreads&) = delete;
  ~IoThreads();  // join

  // Runs a request's work on the calling thread, which counts as held while it runs.
  void runHolding(const std::function<void()>& work);
  // Waits for every thread to end; the I/O context must be stopped first.
  void join();
  std::size_t threads() const;

 private:
  using Clock = std::chrono::steady_clock;
  void startThread();  // with mutex_ held
  void run(bool base);
  void watch();

  boost::asio::io_context& io_;
  const std::size_t base_;
  const std::size_t max_;
  const std::chrono::milliseconds stall_;
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::condition_variable watch_;
  std::list<Clock::time_point> held_;  // when each running request's work began
  std::size_t threads_ = 0;
  bool stopping_ = false;
  std::thread watcher_;
};

}  // namespace w3svc
