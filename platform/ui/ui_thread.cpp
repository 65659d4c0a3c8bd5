#include "platform/ui/ui_thread.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/com/com.h"
#include "platform/ui/window_model.h"

namespace platform::ui {

namespace {

struct TaskQueue {
  std::mutex mutex;
  std::condition_variable wake;
  std::condition_variable idle;
  std::deque<std::function<void()>> tasks;
  bool waiting = false;  // the thread is blocked in a loop with nothing to run
  bool quitting = false;
  std::thread::id uiThread;
};

TaskQueue& queue() {
  static TaskQueue q;
  return q;
}

}  // namespace

namespace detail {

bool pumpUntil(const std::function<bool()>& stop) {
  TaskQueue& q = queue();
  while (!stop()) {
    std::function<void()> task;
    {
      std::unique_lock lock(q.mutex);
      while (q.tasks.empty() && !q.quitting) {
        q.waiting = true;
        q.idle.notify_all();
        q.wake.wait(lock);
      }
      q.waiting = false;
      if (q.quitting) return false;
      task = std::move(q.tasks.front());
      q.tasks.pop_front();
    }
    task();
  }
  return true;
}

}  // namespace detail

UiThread::UiThread() {
  std::mutex started;
  std::condition_variable ready;
  bool up = false;
  thread_ = std::thread([&] {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    {
      // Notified under the lock: the constructor, whose stack holds both, cannot return
      // and end them while the notice is still being given.
      std::lock_guard lock(started);
      queue().uiThread = std::this_thread::get_id();
      queue().quitting = false;
      up = true;
      ready.notify_all();
    }
    detail::pumpUntil([] { return false; });
    detail::destroyAllWindows();
    CoUninitialize();
  });
  std::unique_lock lock(started);
  ready.wait(lock, [&] { return up; });
}

UiThread::~UiThread() {
  {
    std::lock_guard lock(queue().mutex);
    queue().quitting = true;
    queue().tasks.clear();
  }
  queue().wake.notify_all();
  thread_.join();
  std::lock_guard lock(queue().mutex);
  queue().waiting = false;
}

void UiThread::post(std::function<void()> task) {
  {
    std::lock_guard lock(queue().mutex);
    queue().tasks.push_back(std::move(task));
  }
  queue().wake.notify_one();
}

void UiThread::waitIdle() {
  std::unique_lock lock(queue().mutex);
  queue().idle.wait(lock, [] { return queue().quitting || (queue().waiting && queue().tasks.empty()); });
}

void UiThread::runAndSettle(std::function<void()> task) {
  {
    std::lock_guard lock(queue().mutex);
    queue().tasks.push_back(std::move(task));
    queue().waiting = false;  // not idle until the thread has taken this task
  }
  queue().wake.notify_one();
  waitIdle();
}

bool UiThread::onUiThread() const { return std::this_thread::get_id() == queue().uiThread; }

}  // namespace platform::ui
