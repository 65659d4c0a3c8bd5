// A small ISAPI filter for the server's tests, built twice with different names and
// priorities. It leaves marks that show the order filters run in and what the server's
// callbacks did.

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/isapi/httpfilt.h"

namespace {

std::string url(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
  char buffer[256];
  DWORD size = sizeof(buffer);
  return headers->GetHeader(pfc, const_cast<LPSTR>("url"), buffer, &size) ? buffer : "";
}

void add(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers, const char* name, const std::string& value) {
  headers->AddHeader(pfc, const_cast<LPSTR>(name), const_cast<LPSTR>(value.c_str()));
}

DWORD preproc(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers) {
  // A counter per connection in the filter's own context slot, from the connection's pool.
  auto* count = static_cast<int*>(pfc->pFilterContext);
  if (!count) pfc->pFilterContext = count = static_cast<int*>(pfc->AllocMem(pfc, sizeof(int), 0));
  ++*count;
  add(pfc, headers, "X-Order:", PROBE_NAME);
  add(pfc, headers, "X-Count-" PROBE_NAME ":", std::to_string(*count));
  char variable[128];
  DWORD size = sizeof(variable);
  if (pfc->GetServerVariable(pfc, const_cast<LPSTR>("INSTANCE_META_PATH"), variable, &size))
    add(pfc, headers, "X-Instance-" PROBE_NAME ":", variable);
  const std::string target = url(pfc, headers);
  if (target == "/finish-" PROBE_NAME) {
    DWORD bytes = sizeof("finished by " PROBE_NAME) - 1;
    pfc->WriteClient(pfc, const_cast<char*>("finished by " PROBE_NAME), &bytes, 0);
    return SF_STATUS_REQ_FINISHED;
  }
  if (target == "/handled-" PROBE_NAME) return SF_STATUS_REQ_HANDLED_NOTIFICATION;
  if (target == "/rewrite-" PROBE_NAME) headers->SetHeader(pfc, const_cast<LPSTR>("url"), const_cast<LPSTR>("/rewritten"));
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

DWORD sendResponse(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_SEND_RESPONSE* response) {
  response->SetHeader(pfc, const_cast<LPSTR>("X-Remove-Me:"), const_cast<LPSTR>(""));
  response->AddHeader(pfc, const_cast<LPSTR>("X-Seen-By:"), const_cast<LPSTR>(PROBE_NAME));
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

DWORD rawData(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_RAW_DATA* raw) {
  std::string piece(static_cast<const char*>(raw->pvInData), raw->cbInData);
  if (piece.find("QUIET") != std::string::npos)
    pfc->ServerSupportFunction(pfc, SF_REQ_DISABLE_NOTIFICATIONS, nullptr, SF_NOTIFY_SEND_RAW_DATA, 0);
  if (PROBE_UPPERCASE) {
    // Replaces the piece with a copy of its own, as a compressing filter does.
    auto* copy = static_cast<char*>(pfc->AllocMem(pfc, raw->cbInData + 1, 0));
    for (DWORD i = 0; i < raw->cbInData; ++i) copy[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(piece[i])));
    raw->pvInData = copy;
    raw->cbInBuffer = raw->cbInData + 1;
  } else if (piece.find("SWALLOW") != std::string::npos) {
    raw->cbInData = 0;
  }
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

DWORD log(HTTP_FILTER_LOG* record) {
  if (!PROBE_UPPERCASE) record->dwBytesSent = 4242;
  return SF_STATUS_REQ_NEXT_NOTIFICATION;
}

}  // namespace

extern "C" BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) noexcept {
  if (!PROBE_STARTS) return FALSE;
  version->dwFilterVersion = HTTP_FILTER_REVISION;
  std::snprintf(version->lpszFilterDesc, SF_MAX_FILTER_DESC_LEN, "probe %s", PROBE_NAME);
  version->dwFlags = PROBE_FLAGS | SF_NOTIFY_PREPROC_HEADERS | SF_NOTIFY_SEND_RESPONSE | SF_NOTIFY_SEND_RAW_DATA |
                     SF_NOTIFY_LOG;
  return TRUE;
}

extern "C" DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD type, void* data) noexcept {
  switch (type) {
    case SF_NOTIFY_PREPROC_HEADERS: return preproc(pfc, static_cast<HTTP_FILTER_PREPROC_HEADERS*>(data));
    case SF_NOTIFY_SEND_RESPONSE: return sendResponse(pfc, static_cast<HTTP_FILTER_SEND_RESPONSE*>(data));
    case SF_NOTIFY_SEND_RAW_DATA: return rawData(pfc, static_cast<HTTP_FILTER_RAW_DATA*>(data));
    case SF_NOTIFY_LOG: return log(static_cast<HTTP_FILTER_LOG*>(data));
    default: return SF_STATUS_REQ_NEXT_NOTIFICATION;
  }
}

extern "C" BOOL TerminateFilter(DWORD) noexcept { return TRUE; }
