#pragma once
// Sends one response through the filters as IIS does: SF_NOTIFY_SEND_RESPONSE over the
// header fields, then the header text and the body as raw data pieces of a set size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "w3svc/exchange.h"
#include "w3svc/filter_session.h"

namespace w3svc {

class ResponseWriter {
 public:
  // pieceSize 0: the header in one piece, the body in pieces of 64 KB.
  ResponseWriter(FilterSession& session, std::size_t pieceSize) : session_(session), piece_size_(pieceSize) {}

  // An interim response ("100 Continue") as a header piece of its own.
  bool sendInterim(unsigned status, std::string_view reason);
  // Adds "Connection: close" when closeAfter was set. fileFollows: sendFileBody with a
  // non-empty length is the next call when this succeeds.
  bool sendHeader(Response& response, bool fileFollows = false);
  void closeAfter() { close_after_ = true; }
  // The bytes go to the filters as they are (they may change them in place).
  bool sendBody(char* data, std::size_t size);
  bool sendBody(std::string bytes) { return sendBody(bytes.data(), bytes.size()); }
  // length bytes of an open file from offset: straight to the client when no filter watches
  // the raw data any more, else read and handed to the filters piece by piece.
  bool sendFileBody(int fd, std::uint64_t offset, std::uint64_t length);

  bool headerSent() const { return header_sent_; }
  unsigned status() const { return status_; }
  // A filter ended the request or the client went away: nothing more is to be sent.
  bool ended() const { return outcome_ != FilterOutcome::Next || session_.clientGone(); }
  FilterOutcome outcome() const { return outcome_; }

 private:
  bool sendPieces(char* data, std::size_t size, std::size_t pieceSize, bool fileFollows = false);

  FilterSession& session_;
  std::size_t piece_size_;
  bool header_sent_ = false;
  bool close_after_ = false;
  unsigned status_ = 0;
  FilterOutcome outcome_ = FilterOutcome::Next;
};

}  // namespace w3svc
