#pragma once
// Where the bytes of a connection go. After one failed write (the client went away or
// stopped reading past the send time-out) every later write fails at once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>

namespace w3svc {

// Reads length bytes of an open file from offset in pieces of at most 64 KB and hands each
// to take; false when the file ends early (it shrank: the promised length cannot be kept)
// or take refuses a piece.
bool readFilePieces(int fd, std::uint64_t offset, std::uint64_t length,
                    const std::function<bool(char* data, std::size_t size)>& take);

class ClientOutput {
 public:
  virtual ~ClientOutput() = default;
  virtual bool write(const char* data, std::size_t size) = 0;
  // A header whose body follows at once from sendFile: the output may hold it back so that
  // both leave in one segment. Only for bytes that sendFile certainly follows.
  virtual bool writeBeforeFile(const char* data, std::size_t size) { return write(data, size); }
  // length bytes of an open file from offset. By default read and written in pieces.
  virtual bool sendFile(int fd, std::uint64_t offset, std::uint64_t length);
};

// Writes to a socket. What the client does not take at once is held back (a file as its
// descriptor and place, bytes up to a budget) and sent by the connection's own I/O while no
// thread waits for it: a client that stops reading holds no thread. Past the budget a write
// waits at most `timeout` for the client to take data, as it always did.
class SocketOutput final : public ClientOutput {
 public:
  SocketOutput(int fd, std::chrono::milliseconds timeout) : fd_(fd), timeout_(timeout) {}
  ~SocketOutput() override;
  SocketOutput(const SocketOutput&) = delete;
  SocketOutput& operator=(const SocketOutput&) = delete;
  bool write(const char* data, std::size_t size) override;
  bool writeBeforeFile(const char* data, std::size_t size) override;
  // Straight from the file to the socket (sendfile): the bytes never enter this process.
  bool sendFile(int fd, std::uint64_t offset, std::uint64_t length) override;

  // How many files all connections may hold open for clients that do not read: the server
  // leaves a descriptor for each connection it takes, so that no such client makes another
  // connection's write wait.
  static void setHeldFileBudget(std::size_t files);

  bool hasPending() const { return !pending_.empty(); }
  enum class Drain { kDone, kWouldBlock, kFailed };
  // Sends what was held back until the socket would block; never waits.
  Drain drainPending();

 private:
  struct Held {
    std::string bytes;  // sent from `at`; or, with file >= 0, `length` bytes of that file from `offset`
    std::size_t at = 0;
    int file = -1;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
  };
  // Waits until the socket takes data or the time-out passes.
  bool waitWritable();
  bool send(const char* data, std::size_t size, int flags);
  // Take the rest of a write (the size then 0), or false past the budget.
  bool hold(const char*& data, std::size_t& size);
  bool holdFile(int fd, std::uint64_t offset, std::uint64_t& length);
  // Sends what is held, waiting for the client as a write without a budget does.
  bool drainWaiting();
  bool makeNonBlocking();
  // Sends one held piece; false when the socket would block or failed (failed_ then set).
  bool sendHeld(Held& piece);
  void release(Held& piece);

  int fd_;
  std::chrono::milliseconds timeout_;
  bool failed_ = false;
  bool non_blocking_ = false;
  std::deque<Held> pending_;
  std::size_t held_bytes_ = 0;
};

}  // namespace w3svc
