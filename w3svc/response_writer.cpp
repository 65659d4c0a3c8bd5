#include "w3svc/response_writer.h"

namespace w3svc {

namespace {

constexpr std::size_t kBodyPiece = 64 * 1024;

}  // namespace

bool ResponseWriter::sendPieces(std::string_view bytes, std::size_t pieceSize) {
  if (pieceSize == 0) pieceSize = bytes.size();
  for (std::size_t at = 0; at < bytes.size() && !ended(); at += pieceSize) {
    outcome_ = session_.sendRawData(std::string(bytes.substr(at, pieceSize)));
  }
  return !ended();
}

bool ResponseWriter::sendInterim(unsigned status, std::string_view reason) {
  if (ended()) return false;
  const std::string line = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n\r\n";
  return sendPieces(line, piece_size_);
}

bool ResponseWriter::sendHeader(Response& response) {
  if (ended() || header_sent_) return false;
  for (HeaderField& field : session_.takeAddedHeaders()) response.headers.push_back(std::move(field));
  if (close_after_ && !findHeader(response.headers, "Connection")) response.headers.push_back({"Connection", "close"});
  outcome_ = session_.sendResponse(response);
  status_ = response.status;
  header_sent_ = true;
  if (ended()) return false;
  std::string text = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
  for (const HeaderField& field : response.headers) text += field.name + ": " + field.value + "\r\n";
  text += "\r\n";
  return sendPieces(text, piece_size_);
}

bool ResponseWriter::sendBody(std::string_view bytes) {
  return sendPieces(bytes, piece_size_ ? piece_size_ : kBodyPiece);
}

}  // namespace w3svc
