#include "tests/platform/loopback_listener.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace platform_tests {

LoopbackListener::LoopbackListener() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof(address);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || ::listen(fd_, 4) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("no loopback listener");
  port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() {
  if (fd_ >= 0) ::close(fd_);
}

std::string LoopbackListener::acceptAndRead() {
  const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return {};
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(client, buffer, sizeof(buffer));
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(client);
  return bytes;
}

void LoopbackListener::acceptAndReset() {
  const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (client < 0) return;
  const linger reset{1, 0};  // closing with a zero linger sends RST
  ::setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof(reset));
  ::close(client);
}

}  // namespace platform_tests
