#pragma once
// The filter's notification handlers: request start, the response-header notice, raw-data
// capture and response completion, and the request's release.

#include <cstdint>
#include <optional>
#include <vector>

#include "filter/filter_globals.h"
#include "filter/request_state.h"
#include "platform/fs/file_api.h"
#include "platform/isapi/httpfilt.h"

namespace filter {

DWORD OnPreprocHeaders(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers);
DWORD OnSendResponse(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_SEND_RESPONSE* response);
DWORD OnSendRawData(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_RAW_DATA* raw);
DWORD OnEndOfRequest(HTTP_FILTER_CONTEXT* pfc);
DWORD OnLog(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* log);

// The cached copy that answers a response to compress, looked up as soon as its header
// decides (only when its length is declared); nullopt when the end of the body decides.
std::optional<platform::fs::WholeFile> CachedCopyAtHeader(HTTP_FILTER_CONTEXT* pfc, ResponseState& state,
                                                          settings::SiteSettings& site);
// Writes the whole answer from the copy; the body the server goes on to send is dropped.
void AnswerWithCachedCopy(HTTP_FILTER_CONTEXT* pfc, ResponseState& state, const settings::SiteSettings& site,
                          platform::fs::WholeFile& copy);

// Records the response for the site's statistics files, once, before the client has the
// last of it: a report asked the moment it has counts it.
void LogResponseOnce(ResponseState& state, const settings::SiteSettings& site);

// Ends the context's request: its slot count, its response state and table reference.
void ReleaseContext(RequestContext& context);

// The site a bound request belongs to, or nullptr.
settings::SiteSettings* SiteOf(RequestContext& context);

}  // namespace filter
