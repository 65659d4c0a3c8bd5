#pragma once
// Where the bytes of a connection go. After one failed write (the client went away or
// stopped reading past the send time-out) every later write fails at once.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>

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

// Blocking writes to a socket, each waiting at most `timeout` for the client to take data.
class SocketOutput final : public ClientOutput {
 public:
  SocketOutput(int fd, std::chrono::milliseconds timeout) : fd_(fd), timeout_(timeout) {}
  bool write(const char* data, std::size_t size) override;
  bool writeBeforeFile(const char* data, std::size_t size) override;
  // Straight from the file to the socket (sendfile): the bytes never enter this process.
  bool sendFile(int fd, std::uint64_t offset, std::uint64_t length) override;

 private:
  // Waits until the socket takes data or the time-out passes.
  bool waitWritable();
  bool send(const char* data, std::size_t size, int flags);

  int fd_;
  std::chrono::milliseconds timeout_;
  bool failed_ = false;
  bool non_blocking_ = false;
};

}  // namespace w3svc
