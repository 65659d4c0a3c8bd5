#pragma once
// The ISAPI filter interface: the structures, callbacks and constants through which a web
// server hosts a filter, written from the public interface with its values. A filter
// exports GetFilterVersion, HttpFilterProc and TerminateFilter with C linkage.

#include "platform/win_types.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#include <httpfilt.h>
#else

using ULONG_PTR = std::uintptr_t;
using PVOID = void*;
using LPVOID = void*;
using CHAR = char;

constexpr DWORD HTTP_FILTER_REVISION = 0x00040000;  // 4.0
constexpr DWORD SF_MAX_USERNAME = 257;
constexpr DWORD SF_MAX_PASSWORD = 257;
constexpr DWORD SF_MAX_AUTH_TYPE = 33;
constexpr DWORD SF_MAX_FILTER_DESC_LEN = 257;

enum SF_REQ_TYPE : DWORD {
  SF_REQ_SEND_RESPONSE_HEADER = 0,
  SF_REQ_ADD_HEADERS_ON_DENIAL = 1,
  SF_REQ_SET_NEXT_READ_SIZE = 2,
  SF_REQ_SET_PROXY_INFO = 3,
  SF_REQ_GET_CONNID = 4,
  SF_REQ_SET_CERTIFICATE_INFO = 5,
  SF_REQ_GET_PROPERTY = 6,
  SF_REQ_NORMALIZE_URL = 7,
  SF_REQ_DISABLE_NOTIFICATIONS = 8,
};

enum SF_STATUS_TYPE : DWORD {
  SF_STATUS_REQ_FINISHED = 0x8000000,
  SF_STATUS_REQ_FINISHED_KEEP_CONN = 0x8000001,
  SF_STATUS_REQ_NEXT_NOTIFICATION = 0x8000002,
  SF_STATUS_REQ_HANDLED_NOTIFICATION = 0x8000003,
  SF_STATUS_REQ_ERROR = 0x8000004,
  SF_STATUS_REQ_READ_NEXT = 0x8000005,
};

// Notification flags (GetFilterVersion's dwFlags, HttpFilterProc's notificationType).
constexpr DWORD SF_NOTIFY_SECURE_PORT = 0x00000001;
constexpr DWORD SF_NOTIFY_NONSECURE_PORT = 0x00000002;
constexpr DWORD SF_NOTIFY_READ_RAW_DATA = 0x00008000;
constexpr DWORD SF_NOTIFY_PREPROC_HEADERS = 0x00004000;
constexpr DWORD SF_NOTIFY_AUTHENTICATION = 0x00002000;
constexpr DWORD SF_NOTIFY_URL_MAP = 0x00001000;
constexpr DWORD SF_NOTIFY_ACCESS_DENIED = 0x00000800;
constexpr DWORD SF_NOTIFY_SEND_RESPONSE = 0x00000040;
constexpr DWORD SF_NOTIFY_SEND_RAW_DATA = 0x00000400;
constexpr DWORD SF_NOTIFY_LOG = 0x00000200;
constexpr DWORD SF_NOTIFY_END_OF_REQUEST = 0x00000080;
constexpr DWORD SF_NOTIFY_END_OF_NET_SESSION = 0x00000100;
constexpr DWORD SF_NOTIFY_AUTH_COMPLETE = 0x04000000;
constexpr DWORD SF_NOTIFY_ORDER_HIGH = 0x00080000;
constexpr DWORD SF_NOTIFY_ORDER_MEDIUM = 0x00040000;
constexpr DWORD SF_NOTIFY_ORDER_LOW = 0x00020000;
constexpr DWORD SF_NOTIFY_ORDER_DEFAULT = SF_NOTIFY_ORDER_LOW;
constexpr DWORD SF_NOTIFY_ORDER_MASK = SF_NOTIFY_ORDER_HIGH | SF_NOTIFY_ORDER_MEDIUM | SF_NOTIFY_ORDER_LOW;

struct HTTP_FILTER_CONTEXT {
  DWORD cbSize;
  DWORD Revision;
  PVOID ServerContext;
  DWORD ulReserved;
  BOOL fIsSecurePort;
  PVOID pFilterContext;  // the filter's own per-connection pointer
  // A short buffer fails with ERROR_INSUFFICIENT_BUFFER and *size set to what is needed.
  BOOL (*GetServerVariable)(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  BOOL (*AddResponseHeaders)(HTTP_FILTER_CONTEXT* pfc, LPSTR headers, DWORD reserved);
  BOOL (*WriteClient)(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes, DWORD reserved);
  // Memory that lives until the connection ends; the filter never frees it.
  void* (*AllocMem)(HTTP_FILTER_CONTEXT* pfc, DWORD bytes, DWORD reserved);
  BOOL (*ServerSupportFunction)(HTTP_FILTER_CONTEXT* pfc, SF_REQ_TYPE request, PVOID data, ULONG_PTR ul1,
                                ULONG_PTR ul2);
};
using PHTTP_FILTER_CONTEXT = HTTP_FILTER_CONTEXT*;

struct HTTP_FILTER_RAW_DATA {
  PVOID pvInData;
  DWORD cbInData;    // bytes of data
  DWORD cbInBuffer;  // size of the buffer holding them
  DWORD dwReserved;
};

struct HTTP_FILTER_PREPROC_HEADERS {
  // Header names end with ':' ("User-Agent:"); "url", "method" and "version" name the
  // request line's parts.
  BOOL (*GetHeader)(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  // A value of "" removes the header.
  BOOL (*SetHeader)(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value);
  BOOL (*AddHeader)(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value);
  DWORD HttpStatus;  // in SF_NOTIFY_SEND_RESPONSE
  DWORD dwReserved;
};
using HTTP_FILTER_SEND_RESPONSE = HTTP_FILTER_PREPROC_HEADERS;

struct HTTP_FILTER_LOG {
  const CHAR* pszClientHostName;
  const CHAR* pszClientUserName;
  const CHAR* pszServerName;
  const CHAR* pszOperation;
  const CHAR* pszTarget;
  const CHAR* pszParameters;
  DWORD dwHttpStatus;
  DWORD dwWin32Status;
  DWORD dwBytesSent;
  DWORD dwBytesRecvd;
  DWORD msTimeForProcessing;
};

struct HTTP_FILTER_VERSION {
  DWORD dwServerFilterVersion;
  DWORD dwFilterVersion;
  CHAR lpszFilterDesc[SF_MAX_FILTER_DESC_LEN];
  DWORD dwFlags;
};

#endif  // _WIN32

// The filter's exports, as the server looks them up.
using GetFilterVersionFn = BOOL (*)(HTTP_FILTER_VERSION*);
using HttpFilterProcFn = DWORD (*)(HTTP_FILTER_CONTEXT*, DWORD, void*);
using TerminateFilterFn = BOOL (*)(DWORD);
