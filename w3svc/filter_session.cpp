#include "w3svc/filter_session.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "platform/text/ascii_case.h"
#include "w3svc/http_time.h"
#include "w3svc/server_variables.h"

namespace w3svc {

namespace {

constexpr DWORD ERROR_NO_DATA = 232;

std::string_view headerName(LPSTR name) {
  std::string_view text = name ? name : "";
  if (!text.empty() && text.back() == ':') text.remove_suffix(1);
  return text;
}

// Whether header lines ("Name: value\r\n"...) hold a field of that name.
bool namesField(std::string_view lines, std::string_view name) {
  for (std::size_t start = 0; start < lines.size();) {
    const std::size_t end = std::min(lines.find('\n', start), lines.size());
    const std::string_view line = lines.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && platform::text::equalsNoCase(line.substr(0, colon), name)) return true;
    start = end + 1;
  }
  return false;
}

FilterOutcome outcomeOf(DWORD status) {
  switch (status) {
    case SF_STATUS_REQ_FINISHED: return FilterOutcome::Finished;
    case SF_STATUS_REQ_FINISHED_KEEP_CONN: return FilterOutcome::FinishedKeepAlive;
    case SF_STATUS_REQ_ERROR: return FilterOutcome::Error;
    default: return FilterOutcome::Next;
  }
}

BOOL headerValue(const HeaderList& headers, LPSTR name, LPVOID buffer, LPDWORD size) {
  const std::string_view wanted = headerName(name);
  const HeaderField* first = nullptr;
  std::string joined;  // made only for a field that comes more than once
  for (const HeaderField& field : headers) {
    if (!platform::text::equalsNoCase(field.name, wanted)) continue;
    if (!first) {
      first = &field;
      continue;
    }
    if (joined.empty()) joined = first->value;
    joined += ", ";
    joined += field.value;
  }
  if (!first) {
    SetLastError(ERROR_INVALID_INDEX);
    return FALSE;
  }
  return copyToCaller(joined.empty() ? std::string_view(first->value) : std::string_view(joined), buffer, size);
}

}  // namespace

BOOL copyToCaller(std::string_view value, LPVOID buffer, LPDWORD size) {
  if (!size) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const DWORD needed = static_cast<DWORD>(value.size() + 1);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, value.data(), value.size());
  static_cast<char*>(buffer)[value.size()] = '\0';
  *size = needed;
  return TRUE;
}

FilterSession::FilterSession(const FilterChain& chain, ClientOutput& output) : output_(output) {
  slots_.resize(chain.filters().size());
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    Slot& slot = slots_[i];
    slot.filter = &chain.filters()[i];
    HTTP_FILTER_CONTEXT& c = slot.context;
    c.cbSize = sizeof(HTTP_FILTER_CONTEXT);
    c.Revision = HTTP_FILTER_REVISION;
    c.ServerContext = this;
    c.fIsSecurePort = FALSE;
    c.GetServerVariable = &getServerVariable;
    c.AddResponseHeaders = &addResponseHeaders;
    c.WriteClient = &writeClientCallback;
    c.AllocMem = &allocMem;
    c.ServerSupportFunction = &serverSupport;
  }
}

FilterSession::~FilterSession() {
  request_ = nullptr;
  response_ = nullptr;
  notify(SF_NOTIFY_END_OF_NET_SESSION, nullptr);
}

FilterSession* FilterSession::self(HTTP_FILTER_CONTEXT* pfc) { return static_cast<FilterSession*>(pfc->ServerContext); }

FilterOutcome FilterSession::notify(DWORD type, void* data) {
  for (Slot& slot : slots_) {
    if (!(slot.filter->flags & type) || (slot.disabled & type)) continue;
    const DWORD status = slot.filter->proc(&slot.context, type, data);
    if (status == SF_STATUS_REQ_HANDLED_NOTIFICATION) return FilterOutcome::Next;
    if (const FilterOutcome outcome = outcomeOf(status); outcome != FilterOutcome::Next) return outcome;
  }
  return FilterOutcome::Next;
}

void FilterSession::beginRequest(Request& request) {
  request_ = &request;
  response_ = nullptr;
  added_headers_.clear();
  bytes_sent_ = 0;
  filter_sent_header_ = false;
  filter_status_ = 0;
  for (Slot& slot : slots_) slot.disabled = 0;
}

FilterOutcome FilterSession::preprocHeaders() {
  HTTP_FILTER_PREPROC_HEADERS headers{&getRequestHeader, &setRequestHeader, &addRequestHeader, 0, 0};
  return notify(SF_NOTIFY_PREPROC_HEADERS, &headers);
}

FilterOutcome FilterSession::sendResponse(Response& response) {
  response_ = &response;
  HTTP_FILTER_SEND_RESPONSE send{&getResponseHeader, &setResponseHeader, &addResponseHeader, response.status, 0};
  const FilterOutcome outcome = notify(SF_NOTIFY_SEND_RESPONSE, &send);
  response_ = nullptr;
  return outcome;
}

FilterOutcome FilterSession::sendRawData(char* data, std::size_t size, bool fileFollows) {
  HTTP_FILTER_RAW_DATA raw{data, static_cast<DWORD>(size), static_cast<DWORD>(size), 0};
  const FilterOutcome outcome = notify(SF_NOTIFY_SEND_RAW_DATA, &raw);
  // A filter that finished the request has sent what it wanted with WriteClient; the rest
  // of the piece (the server's own answer) must not follow it.
  if (outcome == FilterOutcome::Next && raw.pvInData && raw.cbInData > 0) {
    // Held back only when the file goes out next without a filter in between.
    const bool heldForFile = fileFollows && !rawDataWatched();
    write(static_cast<const char*>(raw.pvInData), raw.cbInData, heldForFile);
  }
  return outcome;
}

FilterOutcome FilterSession::endOfRequest() { return notify(SF_NOTIFY_END_OF_REQUEST, nullptr); }

void FilterSession::log(HTTP_FILTER_LOG& record) {
  notify(SF_NOTIFY_LOG, &record);
  request_ = nullptr;
}

bool FilterSession::writeClient(const char* data, std::size_t size) { return write(data, size, false); }

bool FilterSession::write(const char* data, std::size_t size, bool beforeFile) {
  if (client_gone_) return false;
  if (!(beforeFile ? output_.writeBeforeFile(data, size) : output_.write(data, size))) {
    client_gone_ = true;
    return false;
  }
  bytes_sent_ += size;
  return true;
}

bool FilterSession::rawDataWatched() const {
  for (const Slot& slot : slots_)
    if ((slot.filter->flags & SF_NOTIFY_SEND_RAW_DATA) && !(slot.disabled & SF_NOTIFY_SEND_RAW_DATA)) return true;
  return false;
}

bool FilterSession::sendFile(int fd, std::uint64_t offset, std::uint64_t length) {
  if (client_gone_) return false;
  if (!output_.sendFile(fd, offset, length)) {
    client_gone_ = true;
    return false;
  }
  bytes_sent_ += length;
  return true;
}

HeaderList FilterSession::takeAddedHeaders() { return std::move(added_headers_); }

BOOL FilterSession::getServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  FilterSession* s = self(pfc);
  if (!name || !s->request_) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto value = serverVariable(*s->request_, name);
  if (!value) {
    SetLastError(std::string_view(name).rfind("HTTP_", 0) == 0 ? ERROR_NO_DATA : ERROR_INVALID_INDEX);
    return FALSE;
  }
  return copyToCaller(*value, buffer, size);
}

BOOL FilterSession::addResponseHeaders(HTTP_FILTER_CONTEXT* pfc, LPSTR headers, DWORD) {
  if (!headers) return TRUE;
  std::string_view text(headers);
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    self(pfc)->added_headers_.push_back({std::string(line.substr(0, colon)), std::string(value)});
  }
  return TRUE;
}

BOOL FilterSession::writeClientCallback(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes, DWORD) {
  if (!bytes || (!buffer && *bytes > 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return self(pfc)->writeClient(static_cast<const char*>(buffer), *bytes) ? TRUE : FALSE;
}

void* FilterSession::allocMem(HTTP_FILTER_CONTEXT* pfc, DWORD bytes, DWORD) {
  void* memory = self(pfc)->pool_.allocate(bytes);
  if (!memory) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return memory;
}

BOOL FilterSession::serverSupport(HTTP_FILTER_CONTEXT* pfc, SF_REQ_TYPE request, PVOID data, ULONG_PTR ul1,
                                  ULONG_PTR) {
  FilterSession* s = self(pfc);
  if (request == SF_REQ_DISABLE_NOTIFICATIONS) {
    // For the rest of the request; the next one on the connection starts with all of them.
    for (Slot& slot : s->slots_)
      if (&slot.context == pfc) slot.disabled |= static_cast<DWORD>(ul1);
    return TRUE;
  }
  if (request != SF_REQ_SEND_RESPONSE_HEADER) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const char* status = data ? static_cast<const char*>(data) : "200 OK";
  std::string header = "HTTP/1.1 " + std::string(status) + "\r\nServer: " + kServerSoftware +
                       "\r\nDate: " + httpDate(std::time(nullptr)) + "\r\n";
  const char* extra = reinterpret_cast<const char*>(ul1);
  std::string more = extra ? extra : "";
  // The connection ends after a header a filter writes (the server cannot tell where its
  // body ends): the client is told, unless the filter names a Connection itself.
  if (!namesField(more, "Connection")) header += "Connection: close\r\n";
  if (more.size() >= 2 && more.compare(more.size() - 2, 2, "\r\n") != 0) more += "\r\n";
  header += more;
  if (more.size() < 4 || more.compare(more.size() - 4, 4, "\r\n\r\n") != 0) header += "\r\n";
  s->filter_sent_header_ = true;
  unsigned code = 0;
  const auto [end, error] = std::from_chars(status, status + std::strlen(status), code);
  s->filter_status_ = error == std::errc() && end - status == 3 ? code : 0;
  return s->writeClient(header.data(), header.size()) ? TRUE : FALSE;
}

template <typename T>
T* FilterSession::current(HTTP_FILTER_CONTEXT* pfc, LPSTR name, T* FilterSession::*member) {
  T* target = name ? self(pfc)->*member : nullptr;
  if (!target) SetLastError(ERROR_INVALID_PARAMETER);
  return target;
}

BOOL FilterSession::getRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  Request* request = current(pfc, name, &FilterSession::request_);
  if (!request) return FALSE;
  Request& r = *request;
  const std::string_view n(name);
  if (platform::text::equalsNoCase(n, "url")) return copyToCaller(r.target, buffer, size);
  if (platform::text::equalsNoCase(n, "method")) return copyToCaller(r.method, buffer, size);
  if (platform::text::equalsNoCase(n, "version")) return copyToCaller(r.version == 10 ? "HTTP/1.0" : "HTTP/1.1", buffer, size);
  return headerValue(r.headers, name, buffer, size);
}

BOOL FilterSession::setRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
  Request* request = current(pfc, name, &FilterSession::request_);
  if (!request) return FALSE;
  Request& r = *request;
  const std::string_view n(name);
  const std::string_view v = value ? value : "";
  if (platform::text::equalsNoCase(n, "url")) {
    r.target = std::string(v);
  } else if (platform::text::equalsNoCase(n, "method")) {
    r.method = std::string(v);
  } else {
    setHeader(r.headers, headerName(name), v);
  }
  return TRUE;
}

BOOL FilterSession::addRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
  Request* request = current(pfc, name, &FilterSession::request_);
  if (!request) return FALSE;
  request->headers.push_back({std::string(headerName(name)), value ? value : ""});
  return TRUE;
}

BOOL FilterSession::getResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size) {
  Response* response = current(pfc, name, &FilterSession::response_);
  return response ? headerValue(response->headers, name, buffer, size) : FALSE;
}

BOOL FilterSession::setResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
  Response* response = current(pfc, name, &FilterSession::response_);
  if (!response) return FALSE;
  setHeader(response->headers, headerName(name), value ? value : "");
  return TRUE;
}

BOOL FilterSession::addResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
  Response* response = current(pfc, name, &FilterSession::response_);
  if (!response) return FALSE;
  response->headers.push_back({std::string(headerName(name)), value ? value : ""});
  return TRUE;
}

}  // namespace w3svc
