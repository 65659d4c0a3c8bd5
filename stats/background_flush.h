#pragma once
// The thread that writes a StatisticsBuffer to the files at a steady pace, and at once when
// woken (too much pending). Started with the filter, stopped with it.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/handle.h"
#include "stats/statistics_buffer.h"

namespace stats {

class BackgroundFlush {
 public:
  BackgroundFlush() = default;
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;
  ~BackgroundFlush() { stop(); }

  // Starts the thread unless it runs; it flushes `buffer` every `interval` with the mutex
  // it keeps a reference to. The buffer must outlive stop().
  void start(StatisticsBuffer& buffer, std::shared_ptr<UniqueHandle> logMutex, std::chrono::milliseconds interval);
  void wake();
  // Ends the thread after a flush in progress; writes nothing more itself.
  void stop();

 private:
  std::mutex lock_;
  std::condition_variable signal_;
  bool stopping_ = false;
  bool woken_ = false;
  std::thread thread_;
};

}  // namespace stats
