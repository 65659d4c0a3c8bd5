#pragma once
// The user-interface thread: every dialog procedure runs on it. Work reaches it as tasks
// (input from the browser or a test, a request to open a sheet); modal dialogs take tasks
// in their own nested loops, as a Win32 modal loop dispatches messages.

#include <functional>
#include <thread>

namespace platform::ui {

class UiThread {
 public:
  // Starts the thread, which joins a single-threaded COM apartment.
  UiThread();
  // Ends the loop (open modal dialogs are ended with IDCANCEL) and joins the thread.
  ~UiThread();
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;

  void post(std::function<void()> task);
  // Posts task and returns once the thread has run it and is waiting for work again (in
  // whichever loop, so a task that opens a modal dialog counts as done once it shows).
  void runAndSettle(std::function<void()> task);
  // Returns once nothing is queued and the thread waits for work.
  void waitIdle();
  bool onUiThread() const;

 private:
  std::thread thread_;
};

namespace detail {
// Runs queued tasks until stop() returns true; false when the thread is asked to end.
bool pumpUntil(const std::function<bool()>& stop);
}  // namespace detail

}  // namespace platform::ui
