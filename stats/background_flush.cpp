#include "stats/background_flush.h"

namespace stats {

void BackgroundFlush::start(StatisticsBuffer& buffer, std::shared_ptr<UniqueHandle> logMutex,
                            std::chrono::milliseconds interval) {
  std::lock_guard lock(lock_);
  if (thread_.joinable()) return;
  stopping_ = false;
  woken_ = false;
  thread_ = std::thread([this, &buffer, logMutex = std::move(logMutex), interval] {
    std::unique_lock lock(lock_);
    while (!stopping_) {
      signal_.wait_for(lock, interval, [this] { return stopping_ || woken_; });
      if (stopping_) break;
      woken_ = false;
      lock.unlock();
      buffer.flush(logMutex ? logMutex->get() : nullptr);
      lock.lock();
    }
  });
}

void BackgroundFlush::wake() {
  {
    std::lock_guard lock(lock_);
    woken_ = true;
  }
  signal_.notify_one();
}

void BackgroundFlush::stop() {
  std::thread ending;
  {
    std::lock_guard lock(lock_);
    stopping_ = true;
    ending = std::move(thread_);
  }
  signal_.notify_one();
  if (ending.joinable()) ending.join();
}

}  // namespace stats
