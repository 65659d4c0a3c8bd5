// The response-header notice and the raw-data handler: the expiry and directive are read,
// the raw header is held until its blank line, and the body of a response to rewrite is
// swallowed piece by piece.

#include <algorithm>
#include <cstdint>
#include <ctime>

#include "compress/http_date.h"
#include "filter/header_edits.h"
#include "filter/isapi_access.h"
#include "filter/negotiation.h"
#include "filter/response_handlers.h"
#include "optimizer/selector_learning.h"
#include "platform/text/ascii_case.h"
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

// Hands data on in place of the piece. The bytes are the request's: the server sends them
// before the next notification, and they go with the request, so a keep-alive connection
// does not keep what each of its responses handed on.
DWORD replaceData(ResponseState& state, HTTP_FILTER_RAW_DATA* raw, std::string data) {
  state.passOn = std::move(data);
  raw->pvInData = state.passOn.data();
  raw->cbInData = static_cast<DWORD>(state.passOn.size());
  raw->cbInBuffer = static_cast<DWORD>(state.passOn.size());
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

// Removes a "tamsic:" line that the server left in the raw header (a CGI program's output)
// when it holds a directive word; other values stay and count as none.
void takeDirectiveLine(ResponseState& state) {
  const auto field = FindField(state.header, "tamsic");
  if (!field) return;
  state.directive = DirectiveFromWord(field->value);
  if (state.directive != Directive::kNone) state.header.erase(field->start, field->end - field->start);
}

// What becomes of a header piece: held back (out may still hold an interim answer to hand
// on), passed on as out, the request finished by the filter, or answered whole with the
// connection kept.
enum class HeaderOutcome { kHold, kPass, kFinished, kAnswered };

HeaderOutcome onHeaderPiece(HTTP_FILTER_CONTEXT* pfc, RequestContext& context, ResponseState& state,
                            std::string_view piece, std::string& out);

// bodyLength is the statistics' 32-bit count: it stops at its largest value.
void countLength(ResponseState& state, std::uint64_t bytes) {
  const std::uint64_t sum = static_cast<std::uint64_t>(std::max<std::int32_t>(state.bodyLength, 0)) + bytes;
  state.bodyLength = static_cast<std::int32_t>(std::min<std::uint64_t>(sum, INT32_MAX));
}

// The data bytes of a body piece (a chunked body's framing left out), counted as it comes.
std::uint64_t dataIn(ResponseState& state, std::string_view piece) {
  if (state.chunked == Chunked::kNo) return piece.size();
  const std::uint64_t before = state.chunkData.dataBytes();
  state.chunkData.feed(piece);
  return state.chunkData.dataBytes() - before;
}

// The body's data bytes held so far and in `piece` (of pieceSize bytes, already counted
// into a chunked body's counter): a chunked body's framing left out.
std::uint64_t dataHeld(const ResponseState& state, std::size_t pieceSize) {
  if (state.chunked != Chunked::kNo) return state.chunkData.dataBytes();
  return static_cast<std::uint64_t>(state.receivedLength) + pieceSize;
}

// A body without a declared length whose data grows past MaxSize will not be rewritten:
// rather than hold all of it, send what was held back as the server made it (the chunked
// line back in place) and let the rest pass.
DWORD giveUpCapture(ResponseState& state, HTTP_FILTER_RAW_DATA* raw, std::string_view piece) {
  std::string header = state.header;
  if (state.chunked != Chunked::kNo) RestoreChunkedLine(header);
  // Counted as a response written back as it came: its header and all of its data, the
  // rest of which is counted as it passes.
  state.bodyLength = 0;
  countLength(state, header.size() + dataHeld(state, piece.size()));
  state.sentAsCaptured = true;
  state.passingRest = true;
  std::string out = std::move(header);
  out += state.body;
  out.append(piece);
  state.phase = Phase::kFinished;
  state.optimizeMode = OptimizeMode::kNever;
  state.body = std::string();
  return replaceData(state, raw, std::move(out));
}

// Past MaxSize by its data; or by its framing, far beyond what any data needs (a chunk of
// one byte takes five more), so that no body is held without bound.
bool pastMaxSize(const ResponseState& state, std::size_t pieceSize, std::int32_t maxSize) {
  const std::int64_t limit = std::max<std::int32_t>(maxSize, 0);
  const std::int64_t framingLimit = std::min<std::int64_t>(8 * limit + (1 << 20), INT32_MAX);
  return dataHeld(state, pieceSize) > static_cast<std::uint64_t>(limit) ||
         static_cast<std::int64_t>(state.receivedLength) + static_cast<std::int64_t>(pieceSize) > framingLimit;
}

// A 304 carries the tag and the Vary its 200 would. An answer the filter may rewrite for
// this request (the client takes gzip, or the site strips markup) goes out with its tag made
// weak; the server's strong tag on the 304 would replace that one in the client's copy, and
// let it resume the rewritten body with the file's own bytes (If-Range). A compressed answer
// varies by Accept-Encoding, and so does its plain variant, whichever of the two this client
// holds. On an answer the filter would have left alone, a weak tag costs only such a
// resumption, and the Vary only a cache's reuse across encodings: a 304 tells no type.
void matchRevalidatedAnswer(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_SEND_RESPONSE* response, const ResponseState& state,
                            const settings::SiteSettings* site) {
  if (!response->SetHeader || !response->AddHeader) return;
  const bool mayCompress = state.acceptedEncoding != AcceptedEncoding::kNone;
  const auto tag = RequestHeader(pfc, response, "ETag:", 512);
  if ((mayCompress || (site && site->EnableWhite)) && tag && !tag->empty() && tag->front() == '"') {
    std::string weak = "W/" + *tag;
    response->SetHeader(pfc, const_cast<LPSTR>("ETag:"), weak.data());
  }
  const auto vary = RequestHeader(pfc, response, "Vary:", 512);
  if (!(vary && platform::text::findNoCase(*vary, "accept-encoding") != std::string::npos))
    response->AddHeader(pfc, const_cast<LPSTR>("Vary:"), const_cast<LPSTR>("Accept-Encoding"));
}

}  // namespace

DWORD OnSendResponse(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_SEND_RESPONSE* response) {
  RequestContext* context = nullptr;
  ResponseState* state = stateOf(pfc, &context);
  if (!state || !response) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  const DWORD status = response->HttpStatus;
  if (status == 304) matchRevalidatedAnswer(pfc, response, *state, SiteOf(*context));
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
  if (state && raw && state->dropBody) return swallow(raw);
  if (state && raw && state->passingRest) {
    countLength(*state, dataIn(*state, std::string_view(static_cast<const char*>(raw->pvInData),
                                                         raw->pvInData ? raw->cbInData : 0)));
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  if (!state || !raw || state->skip || state->phase == Phase::kFinished) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  const std::string_view piece(static_cast<const char*>(raw->pvInData), raw->pvInData ? raw->cbInData : 0);
  if (state->phase != Phase::kNew && !state->headerPending) {
    if (state->phase != Phase::kCompressing && state->optimizeMode != OptimizeMode::kAlways) return SF_STATUS_REQ_NEXT_NOTIFICATION;
    const settings::SiteSettings* site = SiteOf(*context);
    dataIn(*state, piece);
    if (site && pastMaxSize(*state, piece.size(), site->MaxSize)) return giveUpCapture(*state, raw, piece);
    state->body.append(piece);
    state->receivedLength += static_cast<std::int32_t>(piece.size());
    return swallow(raw);
  }
  std::string out;
  switch (onHeaderPiece(pfc, *context, *state, piece, out)) {
    case HeaderOutcome::kFinished: swallow(raw); return SF_STATUS_REQ_FINISHED;
    // The server need not read the rest of the body: nothing of it would be sent.
    case HeaderOutcome::kAnswered: swallow(raw); return SF_STATUS_REQ_FINISHED_KEEP_CONN;
    case HeaderOutcome::kHold: return out.empty() ? swallow(raw) : replaceData(*state, raw, std::move(out));
    case HeaderOutcome::kPass:
      // Nothing of the body concerns the filter: the server may send it without calling
      // here for every piece (from the file, as it does without filters).
      pfc->ServerSupportFunction(pfc, SF_REQ_DISABLE_NOTIFICATIONS, nullptr, SF_NOTIFY_SEND_RAW_DATA, 0);
      return replaceData(*state, raw, std::move(out));
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

namespace {

// An interim answer held for the client goes out before the filter writes its own.
void writeBefore(HTTP_FILTER_CONTEXT* pfc, const std::string& out) {
  if (out.empty()) return;
  DWORD bytes = static_cast<DWORD>(out.size());
  pfc->WriteClient(pfc, const_cast<char*>(out.data()), &bytes, 0);
}

HeaderOutcome onHeaderPiece(HTTP_FILTER_CONTEXT* pfc, RequestContext& context, ResponseState& state,
                            std::string_view piece, std::string& out) {
  state.phase = Phase::kPassed;
  state.optimizeMode = OptimizeMode::kFollowSite;
  state.contentType = "";
  state.header.append(piece);
  state.headerLength = static_cast<std::uint32_t>(state.header.size());
  const std::size_t end = HeaderEnd(state.header);
  if (end == std::string::npos) {
    state.headerPending = true;
    return HeaderOutcome::kHold;
  }
  state.headerPending = false;
  // Bytes behind the blank line are the first body bytes (or the next response after an
  // interim one): they are kept apart from the header.
  std::string tail = state.header.substr(end);
  state.header.resize(end);
  const std::size_t blank = state.header.find(' ');
  const char digit = blank != std::string::npos && blank + 1 < state.header.size() ? state.header[blank + 1] : '\0';
  if (digit == '1') {
    // An interim answer ("100 Continue") goes out at once: the client waits for it before
    // it sends the body. The final response's header follows as a header of its own.
    out += state.header;
    state.interimLength += static_cast<std::uint32_t>(state.header.size());
    state.header.clear();
    state.headerLength = 0;
    state.phase = Phase::kNew;
    if (tail.empty()) return HeaderOutcome::kHold;
    return onHeaderPiece(pfc, context, state, tail, out);
  }
  takeDirectiveLine(state);
  state.headerLength = static_cast<std::uint32_t>(state.header.size());
  const std::optional<std::string> fullUrl = ServerVariable(pfc, "URL", 512);
  std::string url = fullUrl.value_or("");
  platform::text::lowerInPlace(url);
  state.url = url;

  settings::SiteSettings* site = SiteOf(context);
  if (site && url.find("tamsicreport/report.htm") != std::string::npos) {
    if (auto report = stats::GenerateReport(*site, context.logMutex ? context.logMutex->get() : nullptr)) {
      writeBefore(pfc, out);
      pfc->ServerSupportFunction(pfc, SF_REQ_SEND_RESPONSE_HEADER, const_cast<char*>("200 OK"), 0, 0);
      // A HEAD answer ends at its header: a body behind it would be read as the next answer.
      DWORD bytes = static_cast<DWORD>(report->size());
      if (state.method.str() != "HEAD") pfc->WriteClient(pfc, report->data(), &bytes, 0);
      state.phase = Phase::kFinished;
      return HeaderOutcome::kFinished;
    }
  }
  // A URL longer than the 511 characters the filter holds goes out as it is: its extension,
  // exclusions, cache name and statistics line would all come from a part of it.
  if (digit == '2' && site && fullUrl && DecideCompression(pfc, state, *site) == Decision::kCapture) {
    state.headerLength = static_cast<std::uint32_t>(state.header.size());
    if (auto copy = CachedCopyAtHeader(pfc, state, *site)) {
      writeBefore(pfc, out);
      AnswerWithCachedCopy(pfc, state, *site, *copy);
      return HeaderOutcome::kAnswered;
    }
    if (state.declaredLength > 0) state.body.reserve(static_cast<std::size_t>(state.declaredLength));
    state.body.append(tail);
    state.receivedLength += static_cast<std::int32_t>(tail.size());
    dataIn(state, tail);
    return HeaderOutcome::kHold;
  }
  state.bodyLength = digit == '2' ? state.declaredLength : 0;
  // The header went on unchanged: its body must follow it, not be swallowed (a directive
  // may have asked for optimisation of a response that then passed).
  state.optimizeMode = OptimizeMode::kNever;
  // Nothing of it changes from here on: it is counted before its body goes out, not at the
  // end of the request, which comes after the client has it all.
  if (site) LogResponseOnce(state, *site);
  if (state.plainVariant) AddVaryLine(state.header);
  out += state.header;
  out += tail;
  return HeaderOutcome::kPass;
}

}  // namespace

}  // namespace filter
