#include "platform/sync/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/machine_root.h"

namespace {

using Clock = std::chrono::steady_clock;

// One per mutex name and machine root in this process: threads of the process queue on the
// condition variable; the file lock then arbitrates between processes.
struct MutexState {
  int fd = -1;
  std::mutex guard;
  std::condition_variable released;
  std::thread::id owner;
  int recursion = 0;
  ~MutexState() {
    if (fd >= 0) ::close(fd);
  }
};

struct MutexHandle : KernelObject {
  std::shared_ptr<MutexState> state;
};

std::string lockFileName(const std::string& name) {
  // Windows mutex names may hold any character but '\'; keep letters and digits, escape
  // the rest, so every name maps to one file name.
  std::string out = "mutex-";
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '-' || c == '_') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out + ".lock";
}

std::shared_ptr<MutexState> openState(const std::string& name, bool& existed) {
  static std::mutex map_mutex;
  static std::map<std::string, std::weak_ptr<MutexState>> states;
  std::string error;
  auto root = platform::ensureMachineRoot(error);
  if (root.empty()) return nullptr;
  std::string file = (root / "run" / lockFileName(name)).string();
  std::lock_guard lock(map_mutex);
  if (auto existing = states[file].lock()) {
    existed = true;
    return existing;
  }
  auto state = std::make_shared<MutexState>();
  state->fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (state->fd < 0) return nullptr;
  existed = false;
  states[file] = state;
  return state;
}

MutexHandle* asMutex(HANDLE h) {
  if (!h || h == INVALID_HANDLE_VALUE) return nullptr;
  return dynamic_cast<MutexHandle*>(h);
}

// Takes the file lock, polling until the deadline: flock has no timed wait.
bool lockFile(int fd, std::optional<Clock::time_point> deadline) {
  auto pause = std::chrono::microseconds(200);
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (deadline && Clock::now() >= *deadline) return false;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(5000));
  }
  return true;
}

}  // namespace

HANDLE CreateMutexA(SECURITY_ATTRIBUTES*, BOOL initialOwner, LPCSTR name) noexcept try {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool existed = false;
  auto state = openState(name, existed);
  if (!state) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  auto handle = std::make_unique<MutexHandle>();
  handle->state = std::move(state);
  if (initialOwner) WaitForSingleObject(handle.get(), INFINITE);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle.release();
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) noexcept try {
  MutexHandle* mutex = asMutex(handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  MutexState& s = *mutex->state;
  const auto me = std::this_thread::get_id();
  std::optional<Clock::time_point> deadline;
  if (milliseconds != INFINITE) deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  std::unique_lock lock(s.guard);
  if (s.owner == me) {
    ++s.recursion;
    return WAIT_OBJECT_0;
  }
  auto free = [&] { return s.owner == std::thread::id(); };
  if (deadline) {
    if (!s.released.wait_until(lock, *deadline, free)) return WAIT_TIMEOUT;
  } else {
    s.released.wait(lock, free);
  }
  s.owner = me;
  lock.unlock();
  if (!lockFile(s.fd, deadline)) {
    lock.lock();
    s.owner = std::thread::id();
    s.released.notify_one();
    return WAIT_TIMEOUT;
  }
  lock.lock();
  s.recursion = 1;
  // The lock file's first byte says whether an owner holds the mutex. Still set when the
  // kernel handed the lock on means its owner died holding it: abandoned, as Windows says.
  char held = '0';
  const bool abandoned = ::pread(s.fd, &held, 1, 0) == 1 && held == '1';
  (void)!::pwrite(s.fd, "1", 1, 0);
  return abandoned ? WAIT_ABANDONED : WAIT_OBJECT_0;
} catch (...) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return WAIT_FAILED;
}

BOOL ReleaseMutex(HANDLE handle) noexcept {
  MutexHandle* mutex = asMutex(handle);
  if (!mutex) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  MutexState& s = *mutex->state;
  std::lock_guard lock(s.guard);
  if (s.owner != std::this_thread::get_id()) {
    SetLastError(ERROR_NOT_OWNER);
    return FALSE;
  }
  if (--s.recursion == 0) {
    (void)!::pwrite(s.fd, "0", 1, 0);
    ::flock(s.fd, LOCK_UN);
    s.owner = std::thread::id();
    s.released.notify_one();
  }
  return TRUE;
}
