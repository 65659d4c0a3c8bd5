#include "w3svc/worker_pool.h"

#include <algorithm>

namespace w3svc {

namespace {

// How long a thread above the base number waits for work before it ends.
constexpr auto kIdleLife = std::chrono::seconds(30);

}  // namespace

WorkerPool::WorkerPool(std::size_t maxThreads)
    : base_(std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), maxThreads)),
      max_(std::max<std::size_t>(maxThreads, 1)) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < base_; ++i) startThread();
}

WorkerPool::~WorkerPool() { join(); }

void WorkerPool::startThread() {
  ++threads_;
  std::thread([this] { run(); }).detach();
}

void WorkerPool::post(std::function<void()> task) {
  std::lock_guard lock(mutex_);
  tasks_.push_back(std::move(task));
  // Every thread busy (some may be blocked in a filter): one more, if the limit allows.
  if (idle_ < tasks_.size() && threads_ < max_ && !stopping_) startThread();
  wake_.notify_one();
}

void WorkerPool::run() {
  std::unique_lock lock(mutex_);
  while (true) {
    if (tasks_.empty()) {
      if (stopping_) break;
      ++idle_;
      const bool woken = wake_.wait_for(lock, kIdleLife, [this] { return !tasks_.empty() || stopping_; });
      --idle_;
      if (!woken && threads_ > base_) break;
      continue;
    }
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    lock.unlock();
    task();
    task = nullptr;  // what the task held goes before the thread takes the lock again
    lock.lock();
  }
  --threads_;
  ended_.notify_all();
}

void WorkerPool::join() {
  std::unique_lock lock(mutex_);
  stopping_ = true;
  wake_.notify_all();
  ended_.wait(lock, [this] { return threads_ == 0; });
}

std::size_t WorkerPool::threads() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

}  // namespace w3svc
