#include "tests/filter/isapi_harness.h"

#include <cctype>
#include <cstring>

extern "C" DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType, void* notification) noexcept;

namespace testing_support {

namespace {
bool sameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  return true;
}
std::string withoutColon(std::string name) {
  if (!name.empty() && name.back() == ':') name.pop_back();
  return name;
}
}  // namespace

FakeConnection::FakeConnection() {
  context_.cbSize = sizeof(context_);
  context_.Revision = HTTP_FILTER_REVISION;
  context_.ServerContext = this;
  context_.GetServerVariable = &getServerVariable;
  context_.AddResponseHeaders = &addResponseHeaders;
  context_.WriteClient = &writeClient;
  context_.AllocMem = &allocMem;
  context_.ServerSupportFunction = &serverSupport;
}

FakeConnection::~FakeConnection() = default;

FakeConnection* FakeConnection::self(HTTP_FILTER_CONTEXT* pfc) { return static_cast<FakeConnection*>(pfc->ServerContext); }

BOOL FakeConnection::copyOut(const std::string& value, LPVOID buffer, LPDWORD size) {
  if (*size < value.size() + 1) {
    *size = static_cast<DWORD>(value.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, value.c_str(), value.size() + 1);
  *size = static_cast<DWORD>(value.size() + 1);
  return TRUE;
}

BOOL FakeConnection::getServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  auto& vars = self(pfc)->variables_;
  auto it = vars.find(name);
  if (it == vars.end()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return copyOut(it->second, buffer, size);
}

BOOL FakeConnection::addResponseHeaders(HTTP_FILTER_CONTEXT*, LPSTR, DWORD) { return TRUE; }

BOOL FakeConnection::writeClient(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes, DWORD) {
  self(pfc)->exchange_.client.append(static_cast<const char*>(buffer), *bytes);
  ++self(pfc)->exchange_.writeCalls;
  if (self(pfc)->onWriteClient) self(pfc)->onWriteClient();
  return TRUE;
}

void* FakeConnection::allocMem(HTTP_FILTER_CONTEXT* pfc, DWORD bytes, DWORD) {
  FakeConnection* c = self(pfc);
  c->pool_.push_back(std::make_unique<char[]>(bytes + 16));
  c->pool_bytes_ += bytes;
  return c->pool_.back().get();
}

BOOL FakeConnection::serverSupport(HTTP_FILTER_CONTEXT* pfc, SF_REQ_TYPE request, PVOID data, ULONG_PTR ul1,
                                   ULONG_PTR) {
  if (request == SF_REQ_DISABLE_NOTIFICATIONS) {
    self(pfc)->disabled_ |= static_cast<DWORD>(ul1);
    self(pfc)->exchange_.rawDataSwitchedOff = (self(pfc)->disabled_ & SF_NOTIFY_SEND_RAW_DATA) != 0;
    return TRUE;
  }
  if (request != SF_REQ_SEND_RESPONSE_HEADER) return FALSE;
  self(pfc)->exchange_.client += "HTTP/1.1 " + std::string(data ? static_cast<const char*>(data) : "200 OK") + "\r\n\r\n";
  return TRUE;
}

BOOL FakeConnection::getRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  FakeConnection* c = self(pfc);
  if (sameName(name, "url")) return copyOut(c->request_.url, buffer, size);
  if (sameName(name, "method")) return copyOut(c->request_.method, buffer, size);
  for (const auto& [key, value] : c->request_.headers)
    if (sameName(withoutColon(key), withoutColon(name))) return copyOut(value, buffer, size);
  SetLastError(ERROR_INVALID_INDEX);
  return FALSE;
}

BOOL FakeConnection::getResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  for (const auto& [key, value] : self(pfc)->response_headers_)
    if (sameName(key, withoutColon(name))) return copyOut(value, buffer, size);
  SetLastError(ERROR_INVALID_INDEX);
  return FALSE;
}

BOOL FakeConnection::setResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
  auto& headers = self(pfc)->response_headers_;
  for (auto it = headers.begin(); it != headers.end(); ++it) {
    if (!sameName(it->first, withoutColon(name))) continue;
    if (!value || !*value) {
      headers.erase(it);
    } else {
      it->second = value;
    }
    return TRUE;
  }
  if (value && *value) headers.emplace_back(withoutColon(name), value);
  return TRUE;
}

BOOL FakeConnection::addResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
  self(pfc)->response_headers_.emplace_back(withoutColon(name), value ? value : "");
  return TRUE;
}

DWORD FakeConnection::begin(const FakeRequest& request) {
  request_ = request;
  exchange_ = Exchange{};
  disabled_ = 0;
  std::string path = request.pathTranslated;
  if (path.empty()) {
    path = "C:\\Inetpub\\wwwroot" + request.url;
    for (char& c : path)
      if (c == '/') c = '\\';
  }
  variables_ = {{"URL", request.url},
                {"QUERY_STRING", request.query},
                {"REQUEST_METHOD", request.method},
                {"INSTANCE_META_PATH", request.instance},
                {"PATH_TRANSLATED", path}};
  HTTP_FILTER_PREPROC_HEADERS pre{&getRequestHeader, &setResponseHeader, &addResponseHeader, 0, 0};
  DWORD rc = HttpFilterProc(&context_, SF_NOTIFY_PREPROC_HEADERS, &pre);
  exchange_.finished = rc == SF_STATUS_REQ_FINISHED;
  return rc;
}

Exchange FakeConnection::finish(const FakeResponse& response, std::size_t pieceSize) {
  DWORD sentByServer = 0;
  // As the web server does: an interim answer goes out as raw data of its own before the
  // final response's header notice.
  if (!response.rawPrefix.empty() && !sendPieces({response.rawPrefix}, sentByServer)) return closeExchange(sentByServer);
  response_headers_ = response.headers;
  HTTP_FILTER_SEND_RESPONSE send{&getResponseHeader, &setResponseHeader, &addResponseHeader,
                                 static_cast<DWORD>(response.status), 0};
  HttpFilterProc(&context_, SF_NOTIFY_SEND_RESPONSE, &send);
  std::string header = "HTTP/1.1 " + std::to_string(response.status) + " " + response.reason + "\r\n";
  for (const auto& [name, value] : response_headers_) header += name + ": " + value + "\r\n";
  header += response.rawLines + "\r\n";
  std::vector<std::string> pieces;
  const std::string all = header + response.body;
  if (pieceSize == 0) {
    pieces.push_back(header);
    if (!response.body.empty()) pieces.push_back(response.body);
  } else {
    for (std::size_t at = 0; at < all.size(); at += pieceSize) pieces.push_back(all.substr(at, pieceSize));
  }
  sendPieces(std::move(pieces), sentByServer);
  return closeExchange(sentByServer);
}

bool FakeConnection::sendPieces(std::vector<std::string> pieces, DWORD& sentByServer) {
  for (std::string& piece : pieces) {
    HTTP_FILTER_RAW_DATA raw{piece.data(), static_cast<DWORD>(piece.size()), static_cast<DWORD>(piece.size()), 0};
    // As the server: a filter that switched raw data off is not called for the rest.
    const DWORD rc = (disabled_ & SF_NOTIFY_SEND_RAW_DATA)
                         ? static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION)
                         : HttpFilterProc(&context_, SF_NOTIFY_SEND_RAW_DATA, &raw);
    if (rc == SF_STATUS_REQ_FINISHED || rc == SF_STATUS_REQ_FINISHED_KEEP_CONN) {
      // Nothing of the piece, nor of the rest of the response, follows what the filter
      // wrote itself.
      exchange_.finished = true;
      exchange_.keptConnection = rc == SF_STATUS_REQ_FINISHED_KEEP_CONN;
      return false;
    }
    if (raw.pvInData && raw.cbInData) {
      exchange_.client.append(static_cast<const char*>(raw.pvInData), raw.cbInData);
      sentByServer += raw.cbInData;
    }
  }
  return true;
}

Exchange FakeConnection::closeExchange(DWORD sentByServer) {
  HttpFilterProc(&context_, SF_NOTIFY_END_OF_REQUEST, nullptr);
  HTTP_FILTER_LOG log{};
  log.dwBytesSent = sentByServer;
  HttpFilterProc(&context_, SF_NOTIFY_LOG, &log);
  exchange_.loggedBytes = log.dwBytesSent;
  return exchange_;
}

Exchange FakeConnection::serve(const FakeRequest& request, const FakeResponse& response, std::size_t pieceSize) {
  if (begin(request) == SF_STATUS_REQ_FINISHED) {
    HTTP_FILTER_LOG log{};
    HttpFilterProc(&context_, SF_NOTIFY_LOG, &log);
    return exchange_;
  }
  return finish(response, pieceSize);
}

std::pair<std::string, std::string> splitResponse(const std::string& bytes) {
  const std::size_t end = bytes.find("\r\n\r\n");
  if (end == std::string::npos) return {bytes, ""};
  return {bytes.substr(0, end + 4), bytes.substr(end + 4)};
}

std::string headerValue(const std::string& header, const std::string& name) {
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find("\r\n", pos);
    if (end == std::string::npos) end = header.size();
    const std::string line = header.substr(pos, end - pos);
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos && sameName(line.substr(0, colon), name)) {
      std::size_t v = colon + 1;
      while (v < line.size() && line[v] == ' ') ++v;
      return line.substr(v);
    }
    pos = end + 2;
  }
  return "";
}

}  // namespace testing_support
