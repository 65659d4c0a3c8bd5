// Request start: the reload request, the report request, the site and what the browser
// accepts.

#include <cstring>
#include <new>

#include "filter/hidden_folders.h"
#include "filter/isapi_access.h"
#include "filter/negotiation.h"
#include "filter/response_handlers.h"
#include "optimizer/selector_learning.h"
#include "platform/text/ascii_case.h"
#include "stats/statistics.h"

namespace filter {

namespace {

constexpr char kReloadAnswer[] = "Changes Updated";

RequestContext* newContext(HTTP_FILTER_CONTEXT* pfc) {
  // A context left by an earlier request of this keep-alive connection is ended, and its
  // memory (the connection's, freed only with it) serves this request: a connection that
  // serves thousands of requests holds one context, not thousands.
  if (auto* old = static_cast<RequestContext*>(pfc->pFilterContext)) {
    ReleaseContext(*old);
    old->~RequestContext();
    return new (old) RequestContext();
  }
  void* memory = pfc->AllocMem(pfc, sizeof(RequestContext), 0);
  if (!memory) return nullptr;
  auto* context = new (memory) RequestContext();
  pfc->pFilterContext = context;
  return context;
}

}  // namespace

settings::SiteSettings* SiteOf(RequestContext& context) {
  if (!context.state || !context.table || context.state->siteIndex < 0) return nullptr;
  const auto index = static_cast<std::size_t>(context.state->siteIndex);
  if (index >= context.table->Slots.size()) return nullptr;
  return context.table->Slots[index].get();
}

DWORD OnPreprocHeaders(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
  const auto url = RequestHeader(pfc, headers, "url", 256);
  FilterGlobals& g = Globals();
  if (url && url->size() > 1 && url->starts_with("/rstval=") && g.reloadToken.matches(url->substr(8))) {
    SwapTables();
    DWORD bytes = sizeof(kReloadAnswer) - 1;
    pfc->WriteClient(pfc, const_cast<char*>(kReloadAnswer), &bytes, 0);
    return SF_STATUS_REQ_FINISHED;
  }
  RequestContext* context = newContext(pfc);
  if (!context) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  Binding binding = BindRequest();
  context->tableSlot = binding.slot;
  context->table = std::move(binding.table);
  context->logMutex = std::move(binding.logMutex);
  context->bound = true;
  if (!context->table) return SF_STATUS_REQ_NEXT_NOTIFICATION;

  const auto instance = ServerVariable(pfc, "INSTANCE_META_PATH", 256);
  if (!instance || instance->empty()) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  const auto& slots = context->table->Slots;
  std::size_t index = 0;
  for (; index < slots.size(); ++index)
    if (slots[index] && platform::text::equalsNoCase(slots[index]->InstancePath.str(), *instance)) break;
  if (index == slots.size()) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  settings::SiteSettings& site = *slots[index];

  if (url && url->size() > 1 && url->substr(1) == "tamsicreport/report.htm") {
    stats::GenerateReport(site, context->logMutex ? context->logMutex->get() : nullptr);
    // The page was just rebuilt, often within the second of the copy a client holds: a
    // date alone would call that copy current. Its ETag tells them apart.
    if (headers && headers->SetHeader)
      headers->SetHeader(pfc, const_cast<LPSTR>("If-Modified-Since:"), const_cast<LPSTR>(""));
    return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
  // Any other spelling of the report ("?x", another case, "%72eport.htm") is rebuilt only
  // when its answer's header comes: the server must not first answer the old file's 304.
  if (headers && headers->SetHeader &&
      (HasRequestHeader(pfc, headers, "If-Modified-Since:") || HasRequestHeader(pfc, headers, "If-None-Match:"))) {
    const auto path = ServerVariable(pfc, "URL", 512);
    if (path && platform::text::findNoCase(*path, "tamsicreport/report.htm") != std::string::npos) {
      headers->SetHeader(pfc, const_cast<LPSTR>("If-Modified-Since:"), const_cast<LPSTR>(""));
      headers->SetHeader(pfc, const_cast<LPSTR>("If-None-Match:"), const_cast<LPSTR>(""));
    }
  }
  // Read whole whatever its length: a path too long for a small buffer may still lie inside.
  const auto path = ServerVariableWhole(pfc, "PATH_TRANSLATED");
  if (path && InsideFilterFolder(*path, site)) {
    AnswerNotFound(pfc);
    return SF_STATUS_REQ_FINISHED;
  }
  if (site.Disabled) return SF_STATUS_REQ_NEXT_NOTIFICATION;

  auto state = std::unique_ptr<ResponseState>(new (std::nothrow) ResponseState());
  if (!state) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  state->level = 6;
  state->siteIndex = static_cast<std::int32_t>(index);
  state->userAgent = RequestHeader(pfc, headers, "User-Agent:", 512).value_or("");
  const auto accept = RequestHeader(pfc, headers, "Accept-Encoding:", 512);
  if (accept && !accept->empty()) state->acceptedEncoding = ParseAcceptEncoding(*accept);
  // A page made for one user is never kept for, nor taken from, the shared cache; nor one
  // made from what a request sent (a body, which a GET may carry too): another client would
  // be given it.
  const auto length = RequestHeader(pfc, headers, "Content-Length:", 32);
  const bool sendsBody = HasRequestHeader(pfc, headers, "Transfer-Encoding:") ||
                         (length && length->find_first_not_of("0 \t") != std::string::npos);
  state->privateExchange =
      HasRequestHeader(pfc, headers, "Cookie:") || HasRequestHeader(pfc, headers, "Authorization:") || sendsBody;
  context->state = std::move(state);
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

void ReleaseContext(RequestContext& context) {
  if (context.bound) {
    ReleaseRequest(context.tableSlot);
    context.bound = false;
  }
  if (context.state) {
    if (context.state->siteIndex != -1 && context.state->sentLength != 0)
      context.bytesSent = static_cast<std::uint32_t>(context.state->sentLength) + context.state->interimLength;
    context.state.reset();
  }
  context.table.reset();
  context.logMutex.reset();
}

DWORD OnLog(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_LOG* log) {
  auto* context = static_cast<RequestContext*>(pfc->pFilterContext);
  if (!context) return SF_STATUS_REQ_NEXT_NOTIFICATION;
  if (context->bytesSent != 0 && log) log->dwBytesSent = context->bytesSent;
  // The context's memory is the connection's; its members are ended here and it is left
  // empty (no state, no count) for the next request on the connection to take.
  ReleaseContext(*context);
  context->~RequestContext();
  new (context) RequestContext();
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace filter
