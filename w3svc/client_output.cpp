#include "w3svc/client_output.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>

namespace w3svc {

bool SocketOutput::write(const char* data, std::size_t size) {
  while (size > 0 && !failed_) {
    const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd wait{fd_, POLLOUT, 0};
      const int ready = ::poll(&wait, 1, static_cast<int>(timeout_.count()));
      if (ready > 0 && !(wait.revents & (POLLERR | POLLHUP | POLLNVAL))) continue;
      if (ready < 0 && errno == EINTR) continue;
    }
    failed_ = true;
  }
  return !failed_;
}

}  // namespace w3svc
