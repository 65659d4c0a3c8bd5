// The response-header notice and the raw-data handler: the expiry and directive are read,
// the raw header is held until its blank line, and the body of a response to rewrite is
// swallowed piece by piece.

#include <ctime>

#include "compress/http_date.h"
#include "filter/header_edits.h"
#include "filter/isapi_access.h"
#include "filter/negotiation.h"
#include "filter/response_handlers.h"
#include "optimizer/selector_learning.h"
#include "settings/rule_lists.h"
#include "stats/statistics.h"

namespace filter {

namespace {

ResponseState* stateOf(HTTP_FILTER_CONTEXT* pfc, RequestContext** contextOut = nullptr) {
  auto* context = static_cast<RequestContext*>(pfc->pFilterContext);
  if (contextOut) *contextOut = context;
  return context ? context->state.get() : nullptr;
}

DWORD swallow(HTTP_FILTER_RAW_DATA* raw) {
  raw->pvInData = nullptr;
  raw->cbInData = 0;
  raw->cbInBuffer = 0;
  return SF_STATUS_REQ_HANDLED_NOTIFICATION;
}

// Hands data on in place of the piece; the bytes live in the connection's memory until
// the server has sent them.
DWORD replaceData(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_RAW_DATA* raw, const std::string& data) {
  char* copy = ConnectionCopy(pfc, data);
  if (!copy) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  raw->pvInData = copy;
  raw->cbInData = static_cast<DWORD>(data.size());
  raw->cbInBuffer = static_cast<DWORD>(data.size() + 1);
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

// Removes a "tamsic:" line that the server left in the raw header (a CGI program's output)
// when it holds a directive word; other values stay and count as none.
void takeDirectiveLine(ResponseState& state) {
  std::string& header = state.header;
  const std::size_t at = header.find("tamsic:");
  if (at == std::string::npos) return;
  const std::size_t valueStart = at + 8;
  const std::size_t cr = header.find('\r', at);
  const std::string_view value = valueStart <= header.size()
                                     ? std::string_view(header).substr(valueStart, (cr == std::string::npos ? header.size() : cr) - valueStart)
                                     : std::string_view();
  state.directive = DirectiveFromWord(value);
  if (state.directive != 0 && cr != std::string::npos) {
    std::size_t end = cr + 1;
    if (end < header.size() && header[end] == '\n') ++end;
    header.erase(at, end - at);
  }
}

DWORD onHeaderPiece(HTTP_FILTER_CONTEXT* pfc, RequestContext& context, ResponseState& state, HTTP_FILTER_RAW_DATA* raw,
                    std::string_view piece);

// A body without a declared length that grows past MaxSize will not be rewritten: rather
// than hold all of it, send what was held back as the server made it (the chunked line
// back in place) and let the rest pass.
DWORD giveUpCapture(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, HTTP_FILTER_RAW_DATA* raw, std::string_view piece) {
  std::string header = state.header;
  if (state.chunked) {
    const std::size_t end = HeaderEnd(header);
    const std::size_t blank = header.compare(end - 4, 4, "\r\n\r\n") == 0 ? end - 2 : end - 1;
    header.insert(blank, "Transfer-Encoding: chunked\r\n");
  }
  std::string out = state.heldInterim + header + state.body;
  out.append(piece);
  state.phase = 3;
  state.optimizeMode = 0;
  state.heldInterim.clear();
  state.body.clear();
  state.body.shrink_to_fit();
  return replaceData(pfc, raw, out);
}

}  // namespace

DWORD OnSendResponse(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_SEND_RESPONSE* response) {
  ResponseState* state = stateOf(pfc);
  if (!state || !response) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  const DWORD status = response->HttpStatus;
  state->skip = !((status >= 200 && status <= 299) || (status >= 400 && status <= 599));
  if (state->skip) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  if (auto expires = RequestHeader(pfc, response, "Expires:", 512)) state->expires = *expires;
  state->method = ServerVariable(pfc, "REQUEST_METHOD", 12).value_or("");
  state->cacheControl = RequestHeader(pfc, response, "Cache-control:", 512).value_or("");
  const std::string& cacheControl = state->cacheControl.str();
  if (!cacheControl.empty()) {
    const std::time_t now = std::time(nullptr);
    if (cacheControl.find("no-store") != std::string::npos || cacheControl.find("no-cache") != std::string::npos) {
      state->expires = compression::FormatHttpDate(now - 1);
    } else if (std::size_t at = cacheControl.find("max-age="); at != std::string::npos) {
      const std::int32_t seconds = std::max(0, settings::parseNumber(std::string_view(cacheControl).substr(at + 8)));
      state->expires = compression::FormatHttpDate(now + seconds);
    }
  }
  if (auto directive = RequestHeader(pfc, response, "tamsic:", 512)) {
    state->directive = DirectiveFromWord(*directive);
    if (response->SetHeader) response->SetHeader(pfc, const_cast<LPSTR>("tamsic:"), const_cast<LPSTR>(""));
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

DWORD OnSendRawData(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_RAW_DATA* raw) {
  RequestContext* context = nullptr;
  ResponseState* state = stateOf(pfc, &context);
  if (!state || !raw || state->skip || state->phase == 3) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  const std::string_view piece(static_cast<const char*>(raw->pvInData), raw->pvInData ? raw->cbInData : 0);
  if (state->phase != 0 && !state->headerPending) {
    if (state->phase != 1 && state->optimizeMode != 1) return SF_STATUS_REQ_NEXT_NOTIFICATION;
    const settings::SiteSettings* site = SiteOf(*context);
    if (site && static_cast<std::int64_t>(state->receivedLength) + static_cast<std::int64_t>(piece.size()) >
                    std::max<std::int32_t>(site->MaxSize, 0))
      return giveUpCapture(pfc, *state, raw, piece);
    state->body.append(piece);
    state->receivedLength += static_cast<std::int32_t>(piece.size());
    return swallow(raw);
  }
  return onHeaderPiece(pfc, *context, *state, raw, piece);
}

namespace {

DWORD onHeaderPiece(HTTP_FILTER_CONTEXT* pfc, RequestContext& context, ResponseState& state, HTTP_FILTER_RAW_DATA* raw,
                    std::string_view piece) {
  state.phase = -1;
  state.optimizeMode = -1;
  state.contentType = "";
  state.header.append(piece);
  state.headerLength = static_cast<std::uint32_t>(state.header.size());
  const std::size_t end = HeaderEnd(state.header);
  if (end == std::string::npos) {
    state.headerPending = true;
    return swallow(raw);
  }
  state.headerPending = false;
  // Bytes behind the blank line are the first body bytes (or the next response after an
  // interim one): they are kept apart from the header.
  std::string tail = state.header.substr(end);
  state.header.resize(end);
  takeDirectiveLine(state);
  state.headerLength = static_cast<std::uint32_t>(state.header.size());
  std::string url = ServerVariable(pfc, "URL", 512).value_or("");
  for (char& c : url) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  state.url = url;

  settings::SiteSettings* site = SiteOf(context);
  if (site && url.find("tamsicreport/report.htm") != std::string::npos) {
    if (auto report = stats::GenerateReport(*site, context.logMutex ? context.logMutex->get() : nullptr)) {
      pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, const_cast<char*>("200 OK"), 0, 0);
      DWORD bytes = static_cast<DWORD>(report->size());
      pfc->WriteClient(pfc, report->data(), &bytes, 0);
      state.phase = 3;
      return SF_STATUS_REQ_FINISHED;
    }
  }
  const std::size_t blank = state.header.find(' ');
  const char digit = blank != std::string::npos && blank + 1 < state.header.size() ? state.header[blank + 1] : '\0';
  if (digit == '1' && optimizer::equalsNoCase(state.method.str(), "POST")) {
    state.heldInterim += state.header;
    state.heldInterimLength = static_cast<std::uint32_t>(state.heldInterim.size());
    state.header.clear();
    state.headerLength = 0;
    state.phase = 0;
    if (tail.empty()) return swallow(raw);
    // The final response began in the same piece.
    return onHeaderPiece(pfc, context, state, raw, tail);
  }
  if (digit == '2' && site && DecideCompression(pfc, state, *site) == Decision::kCapture) {
    state.headerLength = static_cast<std::uint32_t>(state.header.size());
    state.body.append(tail);
    state.receivedLength += static_cast<std::int32_t>(tail.size());
    return swallow(raw);
  }
  state.bodyLength = digit == '2' ? state.declaredLength : 0;
  // The header went on unchanged: its body must follow it, not be swallowed (a directive
  // may have asked for optimisation of a response that then passed).
  state.optimizeMode = 0;
  std::string out = state.heldInterim + state.header + tail;
  state.heldInterim.clear();
  state.heldInterimLength = 0;
  return replaceData(pfc, raw, out);
}

}  // namespace

}  // namespace filter
