#pragma once
// The per-request records of the filter: RequestContext, kept in the filter context of a
// request, and the ResponseState of a request whose site is active. Large buffers (body,
// header, held interim response) belong to the request and go with it.

#include <cstdint>
#include <memory>
#include <string>

#include "compress/content_cache.h"
#include "filter/chunked_body.h"
#include "platform/handle.h"
#include "settings/bounded_text.h"
#include "settings/site_settings.h"

namespace filter {

using settings::BoundedText;

enum class AcceptedEncoding : std::int32_t { kNone = 0, kGzip = 1, kDeflateOnly = 2 };

// Where a response stands: kPassed also while undecided, and for an optimise-only capture;
// a refused response ends as kFinished too, since nothing more is done with it.
enum class Phase : std::int32_t { kNew = 0, kPassed = -1, kCompressing = 1, kFinished = 3 };

// Whether the white-space optimizer runs: as the site's EnableWhite says, never, or always.
enum class OptimizeMode : std::int32_t { kFollowSite = -1, kNever = 0, kAlways = 1 };

// The "tamsic:" directive of a response; kNoCompression is a word, kNone its absence.
enum class Directive : std::uint32_t {
  kNone = 0,
  kWhiteSpaceOnly = 1,
  kGzipOnly = 2,
  kFullCompression = 3,
  kNoCompression = 4,
};

struct ResponseState {
  BoundedText<511> cacheControl;
  BoundedText<512> userAgent;
  std::string body;
  AcceptedEncoding acceptedEncoding = AcceptedEncoding::kNone;
  std::int32_t bodyLength = 0;
  std::int32_t declaredLength = 0;
  std::int32_t sentLength = 0;
  std::uint32_t interimLength = 0;  // interim answers passed on ahead of the response, for the log's count
  std::string physicalPath;
  std::string header;
  bool headerPending = false;
  Phase phase = Phase::kNew;
  OptimizeMode optimizeMode = OptimizeMode::kFollowSite;
  Directive directive = Directive::kNone;
  std::int32_t level = 6;
  std::int32_t receivedLength = 0;
  Chunked chunked = Chunked::kNo;
  // A chunked body's data bytes so far, its framing left out: what the size limits and the
  // statistics count.
  ChunkedDataCounter chunkData;
  bool passingRest = false;  // capture given up past MaxSize: the rest passes, only counted
  std::uint32_t ruleCompress = 0;
  bool servedFromCache = false;
  bool sentAsCaptured = false;  // written back as it was captured: refused by size, or the rewrite failed
  // A cookie, credentials, a response for one user only, or one that varies by more than
  // the encoding: no cache.
  bool privateExchange = false;
  // Passed plain only because this client takes no gzip: another client gets it compressed.
  bool plainVariant = false;
  std::int32_t siteIndex = -1;
  std::int32_t unoptimizedSize = 0;
  BoundedText<11> method;
  BoundedText<511> pathTranslated;
  BoundedText<511> sourceFile;  // the file the response came from, as the server spells it
  BoundedText<511> expires;
  BoundedText<511> contentType;
  BoundedText<511> url;
  bool skip = false;
  std::uint32_t headerLength = 0;
  std::string passOn;  // bytes handed to the server in place of a raw-data piece
  // The cache is asked once per response: at the header when the length is declared, else
  // at the end. What the lookup learnt (query, expiry) serves the store after a miss.
  bool cacheAsked = false;
  bool cacheUsable = false;
  compression::CacheRequest cacheRequest;
  std::time_t captureStart = 0;  // when the header was decided; the body is read after it
  bool dropBody = false;  // the whole answer went out at the header: nothing of the body follows
  bool logged = false;    // its statistics line is taken: once, before the filter writes it
};

// Lives in the connection's memory (pFilterContext) from request start to the log
// notification. The response state and the table reference are dropped when the request
// ends, so a keep-alive connection holds no finished response.
struct RequestContext {
  std::int32_t tableSlot = 0;
  std::unique_ptr<ResponseState> state;
  std::uint32_t bytesSent = 0;
  std::shared_ptr<settings::SiteTable> table;  // the table the request was bound to
  std::shared_ptr<UniqueHandle> logMutex;
  bool bound = false;  // counted in inFlight[tableSlot] until released
};

}  // namespace filter
