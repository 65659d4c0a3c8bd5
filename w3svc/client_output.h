#pragma once
// Where the bytes of a connection go. After one failed write (the client went away or
// stopped reading past the send time-out) every later write fails at once.

#include <chrono>
#include <cstddef>

namespace w3svc {

class ClientOutput {
 public:
  virtual ~ClientOutput() = default;
  virtual bool write(const char* data, std::size_t size) = 0;
};

// Blocking writes to a socket, each waiting at most `timeout` for the client to take data.
class SocketOutput final : public ClientOutput {
 public:
  SocketOutput(int fd, std::chrono::milliseconds timeout) : fd_(fd), timeout_(timeout) {}
  bool write(const char* data, std::size_t size) override;

 private:
  int fd_;
  std::chrono::milliseconds timeout_;
  bool failed_ = false;
};

}  // namespace w3svc
