#include "w3svc/response_writer.h"

#include <algorithm>

namespace w3svc {

namespace {

constexpr std::size_t kBodyPiece = 64 * 1024;

}  // namespace

bool ResponseWriter::sendPieces(char* data, std::size_t size, std::size_t pieceSize, bool fileFollows) {
  if (pieceSize == 0) pieceSize = size;
  for (std::size_t at = 0; at < size && !ended(); at += pieceSize) {
    const std::size_t piece = std::min(pieceSize, size - at);
    outcome_ = session_.sendRawData(data + at, piece, fileFollows && at + piece == size);
  }
  return !ended();
}

bool ResponseWriter::sendInterim(unsigned status, std::string_view reason) {
  if (ended()) return false;
  std::string line = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n\r\n";
  return sendPieces(line.data(), line.size(), piece_size_);
}

bool ResponseWriter::sendHeader(Response& response, bool fileFollows) {
  if (ended() || header_sent_) return false;
  for (HeaderField& field : session_.takeAddedHeaders()) response.headers.push_back(std::move(field));
  if (close_after_ && !findHeader(response.headers, "Connection")) response.headers.push_back({"Connection", "close"});
  outcome_ = session_.sendResponse(response);
  status_ = response.status;
  header_sent_ = true;
  if (ended()) return false;
  // Appended piece by piece into one reserved string: no temporary per field.
  std::size_t length = 32 + response.reason.size();
  for (const HeaderField& field : response.headers) length += field.name.size() + field.value.size() + 4;
  std::string text;
  text.reserve(length);
  text += "HTTP/1.1 ";
  text += std::to_string(response.status);
  text += ' ';
  text += response.reason;
  text += "\r\n";
  for (const HeaderField& field : response.headers) {
    text += field.name;
    text += ": ";
    text += field.value;
    text += "\r\n";
  }
  text += "\r\n";
  return sendPieces(text.data(), text.size(), piece_size_, fileFollows);
}

bool ResponseWriter::sendBody(char* data, std::size_t size) {
  return sendPieces(data, size, piece_size_ ? piece_size_ : kBodyPiece);
}

bool ResponseWriter::sendFileBody(int fd, std::uint64_t offset, std::uint64_t length) {
  if (ended()) return false;
  if (!session_.rawDataWatched()) return session_.sendFile(fd, offset, length);
  return readFilePieces(fd, offset, length, [this](char* data, std::size_t size) { return sendBody(data, size); });
}

}  // namespace w3svc
