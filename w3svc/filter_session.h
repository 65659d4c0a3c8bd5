#pragma once
// The filters' side of one connection: a context per filter (its own pFilterContext), the
// AllocMem pool, and the notifications of each request with the callbacks they offer.
// Used by one thread at a time (the worker serving the connection's current request).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/isapi/httpfilt.h"
#include "w3svc/client_output.h"
#include "w3svc/connection_pool.h"
#include "w3svc/exchange.h"
#include "w3svc/filter_chain.h"

namespace w3svc {

enum class FilterOutcome {
  Next,             // go on with the request
  Finished,         // a filter ended the request; the connection closes
  FinishedKeepAlive,
  Error,            // a filter failed the request
};

class FilterSession {
 public:
  FilterSession(const FilterChain& chain, ClientOutput& output);
  FilterSession(const FilterSession&) = delete;
  FilterSession& operator=(const FilterSession&) = delete;
  ~FilterSession();  // SF_NOTIFY_END_OF_NET_SESSION

  bool active() const { return !slots_.empty(); }
  void beginRequest(Request& request);
  FilterOutcome preprocHeaders();
  FilterOutcome sendResponse(Response& response);
  // Runs one outgoing piece through the filters and writes what they leave of it. The
  // filters may change the bytes in place.
  // fileFollows: the caller sends a non-empty file body right after this piece.
  FilterOutcome sendRawData(char* data, std::size_t size, bool fileFollows = false);
  FilterOutcome endOfRequest();
  void log(HTTP_FILTER_LOG& record);

  // Whether a filter still sees the response's raw data; when none does, the body may go
  // from the file to the client without passing through this process.
  bool rawDataWatched() const;
  // Straight to the client, counted with the request.
  bool writeClient(const char* data, std::size_t size);
  bool sendFile(int fd, std::uint64_t offset, std::uint64_t length);
  std::uint64_t bytesSent() const { return bytes_sent_; }
  bool clientGone() const { return client_gone_; }
  // A filter sent its own status line: the response's framing is no longer the server's.
  bool filterSentHeader() const { return filter_sent_header_; }
  // The status of the last line a filter sent that way (0: none, or none readable): what the
  // client was answered, for the log.
  unsigned filterStatus() const { return filter_status_; }
  // Headers filters added with AddResponseHeaders, for the response being built.
  HeaderList takeAddedHeaders();

 private:
  struct Slot {
    HTTP_FILTER_CONTEXT context{};
    const LoadedFilter* filter = nullptr;
    DWORD disabled = 0;  // notifications the filter switched off for the rest of the request
  };
  FilterOutcome notify(DWORD type, void* data);
  bool write(const char* data, std::size_t size, bool beforeFile);
  static FilterSession* self(HTTP_FILTER_CONTEXT* pfc);
  // The request or response a header callback works on; nullptr (last error set) outside
  // its notification or without a name.
  template <typename T>
  static T* current(HTTP_FILTER_CONTEXT* pfc, LPSTR name, T* FilterSession::*member);

  static BOOL getServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  static BOOL addResponseHeaders(HTTP_FILTER_CONTEXT* pfc, LPSTR headers, DWORD reserved);
  static BOOL writeClientCallback(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes, DWORD reserved);
  static void* allocMem(HTTP_FILTER_CONTEXT* pfc, DWORD bytes, DWORD reserved);
  static BOOL serverSupport(HTTP_FILTER_CONTEXT* pfc, SF_REQ_TYPE request, PVOID data, ULONG_PTR ul1, ULONG_PTR ul2);
  static BOOL getRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  static BOOL setRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value);
  static BOOL addRequestHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value);
  static BOOL getResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer, LPDWORD size);
  static BOOL setResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value);
  static BOOL addResponseHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value);

  ClientOutput& output_;
  std::vector<Slot> slots_;
  ConnectionPool pool_;
  Request* request_ = nullptr;
  Response* response_ = nullptr;
  HeaderList added_headers_;
  std::uint64_t bytes_sent_ = 0;
  bool client_gone_ = false;
  bool filter_sent_header_ = false;
  unsigned filter_status_ = 0;
};

// Copies a value and its terminator into a caller's buffer; a short buffer fails with
// ERROR_INSUFFICIENT_BUFFER and the size needed.
BOOL copyToCaller(std::string_view value, LPVOID buffer, LPDWORD size);

}  // namespace w3svc
