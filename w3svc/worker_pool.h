#pragma once
// The threads that run CGI programs' requests. As many as the machine has cores to begin
// with, more when they block: a task that finds no idle thread starts another at once, up
// to the limit, because a program may hold its thread for minutes. Threads above the base
// number end after a while without work.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace w3svc {

class WorkerPool {
 public:
  explicit WorkerPool(std::size_t maxThreads);
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;
  ~WorkerPool();  // joins: queued work still runs

  void post(std::function<void()> task);
  // Runs what is queued, then ends every thread.
  void join();
  std::size_t threads() const;

 private:
  void startThread();  // with mutex_ held
  void run();

  const std::size_t base_;
  const std::size_t max_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable ended_;
  std::deque<std::function<void()>> tasks_;
  std::size_t threads_ = 0;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

}  // namespace w3svc
