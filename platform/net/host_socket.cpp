#include "platform/net/host_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform::net {

int hostTcpSocket() { return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP); }

bool hostConnect(int descriptor, std::uint32_t address, std::uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = port;
  peer.sin_addr.s_addr = address;
  int rc;
  do rc = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&peer), sizeof(peer));
  while (rc != 0 && errno == EINTR);
  return rc == 0;
}

long hostSend(int descriptor, const char* buffer, std::size_t length) {
  std::size_t done = 0;
  while (done < length) {
    // MSG_NOSIGNAL: a peer that has gone is an error to report, not a signal that ends the
    // process (Windows has no SIGPIPE).
    const ssize_t sent = ::send(descriptor, buffer + done, length - done, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    done += static_cast<std::size_t>(sent);
  }
  return static_cast<long>(done);
}

bool hostClose(int descriptor) { return ::close(descriptor) == 0; }

std::uint32_t hostInetAddr(const char* text) { return text ? ::inet_addr(text) : INADDR_NONE; }

}  // namespace platform::net
