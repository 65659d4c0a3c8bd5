#include "w3svc/responses.h"

#include <ctime>

#include "w3svc/error_pages.h"
#include "w3svc/http_time.h"
#include "w3svc/server_variables.h"

namespace w3svc {

Response makeResponse(unsigned status) {
  Response response;
  response.status = status;
  response.reason = reasonPhrase(status);
  response.headers.reserve(10);  // what a file's answer carries, without growing on the way
  response.headers.push_back({"Server", kServerSoftware});
  response.headers.push_back({"Date", httpDate(std::time(nullptr))});
  return response;
}

bool sendErrorPage(const Request& request, ResponseWriter& writer, unsigned status, HeaderList extra) {
  Response response = makeResponse(status);
  std::string body = errorPage(status);
  for (HeaderField& field : extra) response.headers.push_back(std::move(field));
  response.headers.push_back({"Content-Type", "text/html"});
  response.headers.push_back({"Content-Length", std::to_string(body.size())});
  if (!writer.sendHeader(response)) return false;
  return request.method == "HEAD" || writer.sendBody(std::move(body));
}

}  // namespace w3svc
