#include "w3svc/client_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace w3svc {

namespace {

constexpr std::size_t kFilePiece = 64 * 1024;

}  // namespace

bool readFilePieces(int fd, std::uint64_t offset, std::uint64_t length,
                    const std::function<bool(char* data, std::size_t size)>& take) {
  const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(length, kFilePiece));
  // Uninitialised, and no larger than the answer needs.
  std::unique_ptr<char[]> buffer(new char[std::max<std::size_t>(size, 1)]);
  while (length > 0) {
    const ssize_t got = ::pread(fd, buffer.get(), static_cast<std::size_t>(std::min<std::uint64_t>(length, size)),
                                static_cast<off_t>(offset));
    if (got <= 0 || !take(buffer.get(), static_cast<std::size_t>(got))) return false;
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::uint64_t>(got);
  }
  return true;
}

bool ClientOutput::sendFile(int fd, std::uint64_t offset, std::uint64_t length) {
  return readFilePieces(fd, offset, length, [this](char* data, std::size_t size) { return write(data, size); });
}

bool SocketOutput::waitWritable() {
  while (true) {
    pollfd wait{fd_, POLLOUT, 0};
    const int ready = ::poll(&wait, 1, static_cast<int>(timeout_.count()));
    if (ready > 0 && !(wait.revents & (POLLERR | POLLHUP | POLLNVAL))) return true;
    if (ready < 0 && errno == EINTR) continue;
    return false;
  }
}

bool SocketOutput::write(const char* data, std::size_t size) { return send(data, size, 0); }

// MSG_MORE keeps a short header in the kernel until the file's bytes join it: one segment
// and one wake-up of the client instead of two.
bool SocketOutput::writeBeforeFile(const char* data, std::size_t size) { return send(data, size, MSG_MORE); }

bool SocketOutput::send(const char* data, std::size_t size, int flags) {
  while (size > 0 && !failed_) {
    const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT | flags);
    if (sent > 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitWritable()) continue;
    failed_ = true;
  }
  return !failed_;
}

bool SocketOutput::sendFile(int fd, std::uint64_t offset, std::uint64_t length) {
  // sendfile has no flag for one call: the socket itself must not block, or the send
  // time-out would not hold.
  if (!non_blocking_) {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || (!(flags & O_NONBLOCK) && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0)) failed_ = true;
    non_blocking_ = true;
  }
  auto at = static_cast<off_t>(offset);
  while (length > 0 && !failed_) {
    const ssize_t sent = ::sendfile(fd_, fd, &at, static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30)));
    if (sent > 0) {
      length -= static_cast<std::uint64_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && waitWritable()) continue;
    failed_ = true;  // an error, or the file shrank under us: the promised length cannot be kept
  }
  return !failed_;
}

}  // namespace w3svc
