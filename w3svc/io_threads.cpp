#include "w3svc/io_threads.h"

#include <algorithm>

namespace w3svc {

namespace {

// How long a thread above one per context runs without work before it ends.
constexpr auto kIdleLife = std::chrono::seconds(30);

}  // namespace

IoThreads::IoThreads(std::size_t maxThreads, std::chrono::milliseconds stallTime)
    : max_(std::max<std::size_t>(maxThreads, 1)), stall_(std::max(stallTime, std::chrono::milliseconds(2))) {
  const std::size_t count = std::min<std::size_t>(std::max(1u, std::thread::hardware_concurrency()), max_);
  for (std::size_t i = 0; i < count; ++i) contexts_.push_back(std::make_unique<Context>());
  std::lock_guard lock(mutex_);
  for (auto& context : contexts_) startThread(*context);
  watcher_ = std::thread([this] { watch(); });
}

IoThreads::~IoThreads() { stop(); }

boost::asio::io_context& IoThreads::next() {
  return contexts_[turn_.fetch_add(1, std::memory_order_relaxed) % contexts_.size()]->io;
}

namespace {

// The calling thread's mark, for runHolding; none on threads that are not ours.
thread_local void* currentWorker = nullptr;

}  // namespace

void IoThreads::startThread(Context& context) {
  const bool first = context.threads == 0;
  ++context.threads;
  ++threads_;
  std::thread([this, &context, first] { run(context, first); }).detach();
}

void IoThreads::run(Context& context, bool first) {
  Worker worker;
  {
    std::lock_guard lock(mutex_);
    context.workers.push_back(&worker);
  }
  currentWorker = &worker;
  if (first) {
    context.io.run();
  } else {
    // run_one_for returns 0 when nothing came for that long, or at once once stopped.
    while (context.io.run_one_for(kIdleLife) != 0) {
    }
  }
  std::lock_guard lock(mutex_);
  std::erase(context.workers, &worker);
  --context.threads;
  --threads_;
  ended_.notify_all();
}

void IoThreads::runHolding(const std::function<void()>& work) {
  auto* worker = static_cast<Worker*>(currentWorker);
  // Not one of ours (nobody to stand in for it), or already held by an outer call.
  if (!worker || worker->heldSince.load(std::memory_order_relaxed) != 0) return work();
  worker->heldSince.store(std::max<Clock::rep>(Clock::now().time_since_epoch().count(), 1),
                          std::memory_order_relaxed);
  struct Release {
    Worker& worker;
    ~Release() { worker.heldSince.store(0, std::memory_order_relaxed); }
  } release{*worker};
  work();
}

void IoThreads::watch() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    watch_.wait_for(lock, stall_ / 2, [this] { return stopping_; });
    if (stopping_) break;
    const Clock::rep since = (Clock::now() - stall_).time_since_epoch().count();
    for (auto& context : contexts_) {
      const auto stuck =
          static_cast<std::size_t>(std::count_if(context->workers.begin(), context->workers.end(), [&](Worker* w) {
            const Clock::rep began = w->heldSince.load(std::memory_order_relaxed);
            return began != 0 && began < since;
          }));
      // One thread for each held one, beside the one that keeps the context going.
      while (context->threads < 1 + stuck && threads_ < max_) startThread(*context);
    }
  }
}

void IoThreads::stop() {
  {
    std::lock_guard lock(mutex_);
    if (stopping_ && !watcher_.joinable()) return;
    stopping_ = true;
  }
  watch_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  for (auto& context : contexts_) {
    context->keep.reset();
    context->io.stop();
  }
  std::unique_lock lock(mutex_);
  ended_.wait(lock, [this] { return threads_ == 0; });
}

std::size_t IoThreads::threads() const {
  std::lock_guard lock(mutex_);
  return threads_;
}

}  // namespace w3svc
