// Response completion: the captured body is de-chunked, checked against the size limits,
// taken from the cache or optimised and compressed, and written with its new header in
// one piece.

#include <cstring>
#include <ctime>

#include "compress/content_cache.h"
#include "compress/gzip_framing.h"
#include "compress/http_date.h"
#include "filter/chunked_body.h"
#include "filter/header_edits.h"
#include "filter/isapi_access.h"
#include "filter/negotiation.h"
#include "filter/response_handlers.h"
#include "optimizer/optimizer_driver.h"
#include "optimizer/selector_learning.h"
#include "platform/text/ascii_case.h"
#include "stats/statistics.h"

namespace filter {

namespace {

bool cachableExtension(const ResponseState& state, const settings::SiteSettings& site) {
  const std::string_view extension = UrlExtension(state.url.str());
  if (extension.empty()) return false;
  for (const settings::ExtensionRule& rule : site.CacheExt) {
    const std::string_view name = rule.Name;
    if (!name.empty() && platform::text::equalsNoCase(name.substr(1), extension.substr(1))) return true;
  }
  return false;
}

// The finished response, header and body in one write; its statistics are complete.
bool writeWhole(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site, void* response,
                std::size_t size) {
  state.phase = Phase::kFinished;
  state.sentLength = static_cast<std::int32_t>(size);
  LogResponseOnce(state, site);
  DWORD bytes = static_cast<DWORD>(size);
  return pfc->WriteClient(pfc, response, &bytes, 0);
}

bool write(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site, const std::string& header,
           std::string_view body) {
  std::string out;
  out.reserve(header.size() + body.size());
  out += header;
  out += body;
  return writeWhole(pfc, state, site, out.data(), out.size());
}

// Room asked in front of a cached copy: the response's header as the server sent it, with
// what the copy changes in it (the length's digits, the encoding lines, a weakened ETag).
std::size_t headerRoom(const ResponseState& state) { return state.header.size() + 256; }

// What the client gets when the rewrite cannot be finished: the response as it was
// captured (de-chunked), with a Content-Length that fits it.
void writeUnchanged(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site,
                    const std::string& originalBody) {
  std::string header = state.header;
  if (!SetContentLength(header, originalBody.size())) return;
  state.sentAsCaptured = true;
  state.bodyLength = static_cast<std::int32_t>(originalBody.size() + header.size());
  write(pfc, state, site, header, originalBody);
}

// Asks the cache once for the response (the store after a miss uses what the lookup
// recorded). The cache serves a request only its own page: only to a GET or HEAD (another
// method's answer is its own), nothing for one user, never when the response is due at
// once (no-cache, max-age=0, an Expires past: an older copy would stand in for it), and
// never when the query cannot be read whole (it would be taken for another, shorter one).
std::optional<platform::fs::WholeFile> askCache(HTTP_FILTER_CONTEXT* pfc, ResponseState& state,
                                                settings::SiteSettings& site, std::time_t now) {
  state.cacheAsked = true;
  const std::optional<std::string> query = ServerVariable(pfc, "QUERY_STRING", 512);
  // Methods are case-sensitive: "get" is a method of its own, for a program to answer.
  const std::string& method = state.method.str();
  const bool reading = method == "GET" || method == "HEAD";
  const auto expiry = compression::ParseHttpTime(state.expires.str());
  const bool due = expiry && *expiry <= now;
  state.cacheUsable = site.Cache && query && reading && !state.privateExchange && !due;
  // The source as the server spells it: the file system finds it without a search.
  compression::CacheRequest& request = state.cacheRequest;
  request = {};
  request.url = state.url.str();
  request.sourceFile = state.sourceFile.str();
  request.expires = state.expires.str();
  request.readSince = state.captureStart;
  request.servedWriteTime = ETagWriteTime(state.header);
  if (!state.cacheUsable || state.phase != Phase::kCompressing) return std::nullopt;
  return compression::Lookup(state.cacheRequest, site, *query, now, headerRoom(state));
}

// The cached copy with the response's header, labelled as compressed, in one piece: the
// header is put in the room in front of the copy, which is not copied again.
void writeCachedCopy(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site,
                     platform::fs::WholeFile& copy) {
  state.servedFromCache = true;
  std::string header = state.header;
  SetContentLength(header, copy.size);
  AddEncodingLines(header, "gzip");
  WeakenETag(header);
  state.bodyLength += static_cast<std::int32_t>(header.size());
  if (header.size() <= copy.room) {
    std::uint8_t* start = copy.data() - header.size();
    std::memcpy(start, header.data(), header.size());
    writeWhole(pfc, state, site, start, header.size() + copy.size);
  } else {
    write(pfc, state, site, header, std::string_view(reinterpret_cast<const char*>(copy.data()), copy.size));
  }
}

// A body that ended before its end (a file cut while it was read, a program that died or
// ran out of time) goes out as it came, framed as the server framed it. The server closes
// the connection after it, so the client sees it end short as it would without the filter,
// and nothing of it is compressed or cached.
void writeCut(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site,
              std::size_t dataBytes) {
  std::string header = state.header;
  if (state.chunked != Chunked::kNo) RestoreChunkedLine(header);
  state.sentAsCaptured = true;
  state.bodyLength = static_cast<std::int32_t>(header.size() + dataBytes);
  write(pfc, state, site, header, state.body);
}

void complete(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, settings::SiteSettings& site) {
  if (state.chunked == Chunked::kNo && state.declaredLength > 0 && state.receivedLength < state.declaredLength)
    return writeCut(pfc, state, site, static_cast<std::size_t>(state.receivedLength));
  if (state.chunked != Chunked::kNo) {
    std::string decoded;
    if (DecodeChunked(state.body, decoded) != Chunked::kLastChunkSeen) return writeCut(pfc, state, site, decoded.size());
    state.chunked = Chunked::kLastChunkSeen;
    state.body = std::move(decoded);
    state.receivedLength = static_cast<std::int32_t>(state.body.size());
  }
  if (state.bodyLength == 0) state.bodyLength = state.receivedLength;
  if (state.bodyLength > site.MaxSize || state.bodyLength < site.MinSize) {
    state.phase = Phase::kFinished;
    state.sentAsCaptured = true;
  }
  const std::time_t now = std::time(nullptr);
  if (!state.cacheAsked) {
    if (auto copy = askCache(pfc, state, site, now)) return writeCachedCopy(pfc, state, site, *copy);
  }
  // The body as captured, kept apart only when the optimizer replaces it: the answer when
  // the rewrite fails.
  std::string captured;
  bool changed = false;
  compression::CacheRequest& cacheRequest = state.cacheRequest;
  const bool cacheUsable = state.cacheUsable;
  const std::string& type = state.contentType.str();
  const bool markup = platform::text::equalsNoCase(type, "text/html") || platform::text::equalsNoCase(type, "text/css");
  if (state.phase != Phase::kFinished && markup &&
      ((site.EnableWhite && state.optimizeMode != OptimizeMode::kNever) || state.optimizeMode == OptimizeMode::kAlways)) {
    optimizer::Switches switches{site.WsWhite != 0, site.WsComment != 0, site.WsLower != 0, site.WsCss != 0,
                                 site.WsCssCom != 0};
    if (auto optimised = optimizer::OptimizeBody(state.body, state.physicalPath, site.RootPath.str(), switches,
                                                 &cacheRequest.sheets)) {
      state.unoptimizedSize = static_cast<std::int32_t>(state.header.size()) + state.bodyLength;
      captured = std::move(state.body);
      state.body = std::move(*optimised);
      state.bodyLength = static_cast<std::int32_t>(state.body.size());
      changed = true;
    }
  }
  // zlib's state and work area are freed as soon as the stream is made.
  std::optional<std::vector<std::uint8_t>> compressed;
  if (state.phase == Phase::kCompressing) {
    compression::RequestMemory memory;
    compression::Compressor record;
    compressed = compression::Compress(memory, reinterpret_cast<const std::uint8_t*>(state.body.data()),
                                       state.body.size(), record, state.level, true);
    if (!compressed) return writeUnchanged(pfc, state, site, changed ? captured : state.body);
    if (cacheUsable && !cacheRequest.noRecache && cachableExtension(state, site))
      compression::Store(*compressed, site, cacheRequest, now, changed ? captured : state.body);
  }
  const std::string_view output =
      compressed ? std::string_view(reinterpret_cast<const char*>(compressed->data()), compressed->size())
                 : std::string_view(state.body);
  std::string header = state.header;
  if (!SetContentLength(header, output.size())) return writeUnchanged(pfc, state, site, changed ? captured : state.body);
  if (state.phase == Phase::kCompressing) {
    AddEncodingLines(header, "gzip");
    changed = true;
  }
  if (changed) WeakenETag(header);
  state.bodyLength += static_cast<std::int32_t>(header.size());
  write(pfc, state, site, header, output);
}

}  // namespace

void LogResponseOnce(ResponseState& state, const settings::SiteSettings& site) {
  if (state.logged || !site.Report) return;
  state.logged = true;
  stats::LoggedResponse logged;
  logged.url = state.url.str();
  logged.unoptimizedSize = state.unoptimizedSize;
  logged.bodyLength = state.bodyLength;
  logged.sentLength = state.sentLength;
  logged.acceptedEncoding = static_cast<int>(state.acceptedEncoding);
  logged.servedFromCache = state.servedFromCache;
  logged.contentType = state.contentType.str();
  logged.unchanged = state.sentAsCaptured;
  stats::LogResponse(logged, {site.ReportMask.str(), site.LogFolder.str(), site.RefreshLog.str()});
}

std::optional<platform::fs::WholeFile> CachedCopyAtHeader(HTTP_FILTER_CONTEXT* pfc, ResponseState& state,
                                                          settings::SiteSettings& site) {
  // Only a declared length says at the header what the size limits will say at the end.
  if (state.phase != Phase::kCompressing || state.chunked != Chunked::kNo || state.declaredLength <= 0) return std::nullopt;
  return askCache(pfc, state, site, std::time(nullptr));
}

void AnswerWithCachedCopy(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site,
                          platform::fs::WholeFile& copy) {
  state.bodyLength = state.declaredLength;
  state.dropBody = true;
  writeCachedCopy(pfc, state, site, copy);
}

DWORD OnEndOfRequest(HTTP_FILTER_CONTEXT* pfc) {
  auto* context = static_cast<RequestContext*>(pfc->pFilterContext);
  if (!context) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  ResponseState* state = context->state.get();
  settings::SiteSettings* site = SiteOf(*context);
  if (state && site && !state->skip) {
    if (state->phase != Phase::kFinished &&
        (state->phase == Phase::kCompressing || state->optimizeMode == OptimizeMode::kAlways))
      complete(pfc, *state, *site);
    LogResponseOnce(*state, *site);
  }
  ReleaseContext(*context);
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace filter
