#include "w3svc/io_threads.h"

#include <algorithm>

namespace w3svc {

namespace {

// How long a thread above the base number runs without work before it ends.
constexpr auto kIdleLife = std::chrono::seconds(30);

}  // namespace

IoThreads::IoThreads(boost::asio::io_context& io, std::size_t maxThreads, std::chrono::milliseconds stallTime)
    : io_(io),
      base_(std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), std::max<std::size_t>(maxThreads, 1))),
      max_(std::max<std::size_t>(maxThreads, 1)),
      stall_(std::max(stallTime, std::chrono::milliseconds(2))) {
  std::lock_guard lock(mutex_);
  for (std::size_t i = 0; i < base_; ++i) startThread();
  watcher_ = std::thread([this] { watch(); });
}

IoThreads::~IoThreads() { join(); }

void IoThreads::startThread() {
  const bool base = threads_ < base_;
  ++threads_;
  std::thread([this, base] { run(base); }).detach();
}

void IoThreads::run(bool base) {
  if (base) {
    io_.run();
  } else {
    // run_one_for returns 0 when nothing came for that long, or at once once stopped.
    while (io_.run_one_for(kIdleLife) != 0) {
    }
  }
  std::lock_guard lock(mutex_);
  --threads_;
  ended_.notify_all();
}

void IoThreads::runHolding(const std::function<void()>& work) {
  std::list<Clock::time_point>::iterator began;
  {
    std::lock_guard lock(mutex_);
    began = held_.insert(held_.end(), Clock::now());
  }
  struct Release {
    IoThreads& pool;
    std::list<Clock::time_point>::iterator began;
    ~Release() {
      std::lock_guard lock(pool.mutex_);
      pool.held_.erase(began);
    }
  } release{*this, began};
  work();
}

void IoThreads::watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    watch_.wait_for(lock, stall_ / 2, [this] { return stopping_; });
    if (stopping_ || held_.empty()) continue;
    const auto since = Clock::now() - stall_;
    const auto stuck = static_cast<std::size_t>(
        std::count_if(held_.begin(), held_.end(), [&](Clock::time_point began) { return began < since; }));
    // A thread for each held one, beside the base number that keeps the cores busy.
    const std::size_t wanted = std::min(max_, base_ + stuck);
    while (threads_ < wanted) startThread();
  }
}

void IoThreads::join() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  watch_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  std::unique_lock lock(mutex_);
  ended_.wait(lock, [this] { return threads_ == 0; });
}

std::size_t IoThreads::threads() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

}  // namespace w3svc
