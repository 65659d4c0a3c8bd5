#pragma once
// A TCP listener on 127.0.0.1 for the Winsock stand-in's tests. Its file alone sees the
// host's socket headers, whose names clash with winsock.h's.

#include <cstdint>
#include <string>

namespace platform_tests {

class LoopbackListener {
 public:
  LoopbackListener();  // on a free port
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t port() const { return port_; }
  // Accepts the next connection and reads it to its end.
  std::string acceptAndRead();
  // Accepts the next connection and resets it at once, as a peer that has gone.
  void acceptAndReset();

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace platform_tests
