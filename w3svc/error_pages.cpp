#include "w3svc/error_pages.h"

namespace w3svc {

namespace {

struct StatusText {
  unsigned status;
  const char* reason;
  const char* explanation;
};

constexpr StatusText kStatuses[] = {
    {100, "Continue", ""},
    {200, "OK", ""},
    {204, "No Content", ""},
    {206, "Partial Content", ""},
    {301, "Moved Permanently", "The page has moved."},
    {302, "Object Moved", "This object may be found at the address given in the Location header."},
    {304, "Not Modified", ""},
    {400, "Bad Request", "The request could not be understood by the server due to malformed syntax."},
    {403, "Forbidden", "You are not authorized to view this page: directory listing is denied."},
    {404, "Not Found", "The page cannot be found. It might have been removed, had its name changed, or is "
                       "temporarily unavailable."},
    {405, "Method Not Allowed", "The method used is not allowed for this resource."},
    {408, "Request Timeout", "The client did not send a complete request in time."},
    {411, "Length Required", "The request must carry a Content-Length."},
    {412, "Precondition Failed", ""},
    {413, "Request Entity Too Large", "The request body is larger than the server accepts."},
    {414, "Request-URI Too Long", "The address of the request is longer than the server accepts."},
    {416, "Requested Range Not Satisfiable", "The range asked for lies outside the file."},
    {431, "Request Header Fields Too Large", "The request's header is larger than the server accepts."},
    {500, "Internal Server Error", "The server met an error while processing the request."},
    {501, "Not Implemented", "The server does not support this request."},
    {502, "Bad Gateway", "The CGI program misbehaved by not returning a complete set of HTTP headers."},
    {503, "Service Unavailable", "The server is too busy or stopping."},
    {505, "HTTP Version Not Supported", "Only HTTP/1.0 and HTTP/1.1 are served."},
};

const StatusText* find(unsigned status) {
  for (const StatusText& entry : kStatuses)
    if (entry.status == status) return &entry;
  return nullptr;
}

}  // namespace

std::string reasonPhrase(unsigned status) {
  if (const StatusText* entry = find(status)) return entry->reason;
  if (status >= 200 && status < 300) return "OK";
  return status >= 500 ? "Server Error" : "Error";
}

std::string errorPage(unsigned status) {
  const StatusText* entry = find(status);
  const std::string title = std::to_string(status) + " " + reasonPhrase(status);
  return "<html><head><title>" + title + "</title></head>\r\n<body><h1>" + title + "</h1>\r\n<p>" +
         (entry ? entry->explanation : "") + "</p>\r\n</body></html>\r\n";
}

}  // namespace w3svc
