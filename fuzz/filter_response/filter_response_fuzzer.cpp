// The filter's handling of a response as the web server hands it over: any header lines
// and body, in raw data pieces of any size, through the in-process ISAPI server. What the
// client receives must be a whole response, and a compressed body must decode.

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "fuzz/fuzz_support.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "tests/filter/isapi_harness.h"

extern "C" BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) noexcept;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::filesystem::path root = fuzz_support::useTemporaryMachine();
  UniqueKey key;
  RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Sablewing\\Value", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                  key.put(), nullptr);
  const char progFiles[] = "C:\\Program Files\\Tamsic\\";
  RegSetValueExA(key.get(), "ProgFiles", 0, REG_SZ, reinterpret_cast<const BYTE*>(progFiles), sizeof(progFiles));
  std::filesystem::create_directories(root / "drive_c/Program Files/Tamsic/reporting");
  std::ofstream(root / "drive_c/Inetpub/wwwroot/index.htm") << "<html></html>";
  HTTP_FILTER_VERSION version{};
  if (!GetFilterVersion(&version)) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz_support::Input input(data, size);
  const std::size_t piece = input.number(64);
  testing_support::FakeRequest request;
  request.method = input.number(4) == 0 ? "POST" : "GET";
  testing_support::FakeResponse response;
  const std::size_t status = input.number(4);
  response.status = status == 0 ? 200 : status == 1 ? 404 : status == 2 ? 206 : 500;
  response.rawPrefix = input.number(8) == 0 ? "HTTP/1.1 100 Continue\r\n\r\n" : "";
  std::string lines(input.until('\0'));
  for (char& c : lines)
    if (c == '\n') c = '\r';
  // Header lines end with CR LF; the fuzzer's CRs become line ends.
  std::string raw;
  for (char c : lines) raw += c == '\r' ? std::string("\r\n") : std::string(1, c);
  response.rawLines = raw + (raw.empty() || raw.ends_with("\r\n") ? "" : "\r\n");
  response.body = std::string(input.rest());
  static testing_support::FakeConnection connection;  // keep-alive: one connection throughout
  connection.serve(request, response, piece);
  return 0;
}
