#pragma once
// An in-process ISAPI server for the filter's tests: one connection with its pool behind
// AllocMem, server variables, request and response headers, raw data handed to the filter
// in pieces of any size, WriteClient and SF_REQ_SEND_RESPONSE_HEADER captured, and the log
// record. Every call goes through HttpFilterProc, as the web server makes it.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/isapi/httpfilt.h"

namespace testing_support {

struct FakeRequest {
  std::string method = "GET";
  std::string url = "/index.htm";          // URL path as the client sent it
  std::string query;                        // QUERY_STRING
  std::string instance = "/LM/W3SVC/1";     // INSTANCE_META_PATH
  std::string pathTranslated;               // PATH_TRANSLATED; from the URL when empty
  std::map<std::string, std::string> headers = {{"Accept-Encoding:", "gzip, deflate"}};
};

struct FakeResponse {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;  // in order, names without ':'
  std::string body;
  std::string rawPrefix;  // an interim response, sent as raw data before the header notice
  std::string rawLines;   // header lines only in the raw bytes (a CGI program's own), "Name: v\r\n"...
  bool chunked = false;   // the body is already chunk-encoded by the test
};

struct Exchange {
  std::string client;     // every byte the client received, in order
  DWORD loggedBytes = 0;  // dwBytesSent of the log record after the filter saw it
  int writeCalls = 0;
  bool finished = false;  // a notification answered SF_STATUS_REQ_FINISHED (or _KEEP_CONN)
  bool keptConnection = false;  // ... with SF_STATUS_REQ_FINISHED_KEEP_CONN
  bool rawDataSwitchedOff = false;  // the filter asked not to see the rest of the raw data
};

class FakeConnection {
 public:
  FakeConnection();
  ~FakeConnection();
  FakeConnection(const FakeConnection&) = delete;
  FakeConnection& operator=(const FakeConnection&) = delete;

  // One request on this (keep-alive) connection; raw data goes to the filter in pieces of
  // pieceSize bytes (0: the header in one piece and the body in another).
  Exchange serve(const FakeRequest& request, const FakeResponse& response, std::size_t pieceSize = 0);

  // The steps of serve, for tests that interleave requests with reloads.
  DWORD begin(const FakeRequest& request);
  Exchange finish(const FakeResponse& response, std::size_t pieceSize = 0);

  std::size_t poolBytes() const { return pool_bytes_; }

  // Called after each WriteClient has handed its bytes to the client: what another client
  // would see at that moment.
  std::function<void()> onWriteClient;

 private:
  // Raw data through the filter as the server hands it on; false once a filter finished.
  bool sendPieces(std::vector<std::string> pieces, DWORD& sentByServer);
  // END_OF_REQUEST and the log record.
  Exchange closeExchange(DWORD sentByServer);
  static FakeConnection* self(HTTP_FILTER_CONTEXT* pfc);
  static BOOL getServerVariable(HTTP_FILTER_CONTEXT*, LPSTR, LPVOID, LPDWORD);
  static BOOL addResponseHeaders(HTTP_FILTER_CONTEXT*, LPSTR, DWORD);
  static BOOL writeClient(HTTP_FILTER_CONTEXT*, LPVOID, LPDWORD, DWORD);
  static void* allocMem(HTTP_FILTER_CONTEXT*, DWORD, DWORD);
  static BOOL serverSupport(HTTP_FILTER_CONTEXT*, SF_REQ_TYPE, PVOID, ULONG_PTR, ULONG_PTR);
  static BOOL getRequestHeader(HTTP_FILTER_CONTEXT*, LPSTR, LPVOID, LPDWORD);
  static BOOL getResponseHeader(HTTP_FILTER_CONTEXT*, LPSTR, LPVOID, LPDWORD);
  static BOOL setResponseHeader(HTTP_FILTER_CONTEXT*, LPSTR, LPSTR);
  static BOOL addResponseHeader(HTTP_FILTER_CONTEXT*, LPSTR, LPSTR);
  static BOOL copyOut(const std::string& value, LPVOID buffer, LPDWORD size);

  HTTP_FILTER_CONTEXT context_{};
  std::vector<std::unique_ptr<char[]>> pool_;
  std::size_t pool_bytes_ = 0;
  DWORD disabled_ = 0;  // notifications the filter switched off for this request
  FakeRequest request_;
  std::map<std::string, std::string> variables_;
  std::vector<std::pair<std::string, std::string>> response_headers_;
  Exchange exchange_;
};

// Splits a response into its header (up to and with the blank line) and body.
std::pair<std::string, std::string> splitResponse(const std::string& bytes);
// The value of a header line ("Content-Length"), or "" when absent.
std::string headerValue(const std::string& header, const std::string& name);

}  // namespace testing_support
