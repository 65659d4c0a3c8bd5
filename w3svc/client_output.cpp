#include "w3svc/client_output.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>

namespace w3svc {

namespace {

constexpr std::size_t kFilePiece = 64 * 1024;
// What one connection may hold back in memory, what all of them may, and how many files they
// may hold open for it (one a connection, set by the server): past these a write waits for
// its client, as it always did.
constexpr std::size_t kHeldPerConnection = 512 * 1024;
constexpr std::size_t kHeldInAll = 64 * 1024 * 1024;
std::atomic<std::size_t> heldFileBudget{128};
std::atomic<std::size_t> heldInAll{0};
std::atomic<std::size_t> heldFiles{0};

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

SocketOutput::~SocketOutput() {
  for (Held& piece : pending_) release(piece);
}

bool SocketOutput::write(const char* data, std::size_t size) { return send(data, size, 0); }

// MSG_MORE keeps a short header in the kernel until the file's bytes join it: one segment
// and one wake-up of the client instead of two.
bool SocketOutput::writeBeforeFile(const char* data, std::size_t size) { return send(data, size, MSG_MORE); }

bool SocketOutput::send(const char* data, std::size_t size, int flags) {
  // Nothing overtakes what was held back: it is held too, or what is held goes first.
  if (!pending_.empty() && !failed_ && !hold(data, size) && !drainWaiting()) return false;
  if (!pending_.empty()) return !failed_;
  while (size > 0 && !failed_) {
    const ssize_t sent = ::send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT | flags);
    if (sent > 0) {
      data += sent;
      size -= static_cast<std::size_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) && (hold(data, size) || waitWritable())) continue;
    failed_ = true;
  }
  return !failed_;
}

bool SocketOutput::sendFile(int fd, std::uint64_t offset, std::uint64_t length) {
  if (!makeNonBlocking()) return false;
  if (!pending_.empty() && !failed_ && !holdFile(fd, offset, length) && !drainWaiting()) return false;
  if (!pending_.empty()) return !failed_;
  auto at = static_cast<off_t>(offset);
  while (length > 0 && !failed_) {
    const ssize_t sent = ::sendfile(fd_, fd, &at, static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30)));
    if (sent > 0) {
      length -= static_cast<std::uint64_t>(sent);
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
        (holdFile(fd, static_cast<std::uint64_t>(at), length) || waitWritable()))
      continue;
    failed_ = true;  // an error, or the file shrank under us: the promised length cannot be kept
  }
  return !failed_;
}

bool SocketOutput::makeNonBlocking() {
  // sendfile has no flag for one call: the socket itself must not block, or the send
  // time-out would not hold.
  if (!non_blocking_) {
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || (!(flags & O_NONBLOCK) && ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK) != 0)) failed_ = true;
    non_blocking_ = true;
  }
  return !failed_;
}

bool SocketOutput::hold(const char*& data, std::size_t& size) {
  if (held_bytes_ + size > kHeldPerConnection) return false;
  if (heldInAll.fetch_add(size) + size > kHeldInAll) {
    heldInAll -= size;
    return false;
  }
  held_bytes_ += size;
  // Small writes (a program's output a few bytes at a time) join the piece before them: the
  // budget counts what is held, not one entry per write.
  if (!pending_.empty() && pending_.back().file < 0)
    pending_.back().bytes.append(data, size);
  else
    pending_.push_back(Held{std::string(data, size)});
  data += size;
  size = 0;
  return true;
}

void SocketOutput::setHeldFileBudget(std::size_t files) { heldFileBudget = files; }

bool SocketOutput::holdFile(int fd, std::uint64_t offset, std::uint64_t& length) {
  if (heldFiles.fetch_add(1) >= heldFileBudget) {
    --heldFiles;
    return false;
  }
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    --heldFiles;
    return false;
  }
  pending_.push_back(Held{{}, 0, copy, offset, length});
  length = 0;
  return true;
}

void SocketOutput::release(Held& piece) {
  if (piece.file >= 0) {
    ::close(piece.file);
    piece.file = -1;
    --heldFiles;
  }
  held_bytes_ -= piece.bytes.size();
  heldInAll -= piece.bytes.size();
  piece.bytes.clear();
}

bool SocketOutput::sendHeld(Held& piece) {
  while (!failed_) {
    ssize_t sent = 0;
    if (piece.file < 0) {
      if (piece.at == piece.bytes.size()) return true;
      sent = ::send(fd_, piece.bytes.data() + piece.at, piece.bytes.size() - piece.at, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) {
        piece.at += static_cast<std::size_t>(sent);
        continue;
      }
    } else {
      if (piece.length == 0) return true;
      auto at = static_cast<off_t>(piece.offset);
      sent = ::sendfile(fd_, piece.file, &at, static_cast<std::size_t>(std::min<std::uint64_t>(piece.length, 1u << 30)));
      if (sent > 0) {
        piece.offset += static_cast<std::uint64_t>(sent);
        piece.length -= static_cast<std::uint64_t>(sent);
        continue;
      }
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return false;
    failed_ = true;
  }
  return false;
}

SocketOutput::Drain SocketOutput::drainPending() {
  while (!pending_.empty() && !failed_) {
    if (!sendHeld(pending_.front())) break;
    release(pending_.front());
    pending_.pop_front();
  }
  if (failed_) {
    for (Held& piece : pending_) release(piece);
    pending_.clear();
    return Drain::kFailed;
  }
  return pending_.empty() ? Drain::kDone : Drain::kWouldBlock;
}

bool SocketOutput::drainWaiting() {
  while (true) {
    switch (drainPending()) {
      case Drain::kDone:
        return true;
      case Drain::kFailed:
        return false;
      case Drain::kWouldBlock:
        if (waitWritable()) break;
        failed_ = true;
        drainPending();
        return false;
    }
  }
}

}  // namespace w3svc
