// Request parsing as the web server does it: Boost.Beast's parser with the server's limits,
// the raw header looked at for folded lines, the framing and Host fields checked, then the
// target made safe, and the bindings and script maps parsed.

#include <boost/beast/http.hpp>

#include "w3svc/request_checks.h"
#include "w3svc/server_config.h"
#include "w3svc/server_options.h"
#include "w3svc/url_canon.h"

namespace http = boost::beast::http;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  w3svc::hasFoldedLine(std::string_view(reinterpret_cast<const char*>(data), size));
  const w3svc::ServerOptions options;
  http::request_parser<http::string_body> parser;
  parser.header_limit(static_cast<std::uint32_t>(options.maxHeaderBytes + options.maxUrlBytes + 64));
  parser.body_limit(64 * 1024);
  parser.eager(true);
  boost::beast::error_code ec;
  // Fed in two parts, as bytes arrive over a socket.
  const std::size_t half = size / 2;
  std::size_t used = parser.put(boost::asio::buffer(data, half), ec);
  if (!ec || ec == http::error::need_more) {
    ec = {};
    parser.put(boost::asio::buffer(data + used, size - used), ec);
  }
  if (!parser.is_header_done()) return 0;
  const auto& header = parser.get();
  const std::string_view target(header.target().data(), header.target().size());
  w3svc::canonicalizeUrl(target);
  w3svc::HeaderList fields;
  for (const auto& field : header) fields.push_back({std::string(field.name_string()), std::string(field.value())});
  w3svc::checkRequestHeader(fields, header.version());
  for (const auto& field : header) {
    const std::string value(field.value());
    w3svc::parseBinding(value);
    w3svc::parseScriptMap(value);
  }
  return 0;
}
