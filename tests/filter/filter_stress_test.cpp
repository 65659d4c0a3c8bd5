// Many threads of mixed requests while another thread reloads the settings again and
// again: no crash, no leak (the sanitizers watch), and every response complete and right.

#include <atomic>
#include <thread>

#include "settings/reload_token.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "settings/settings_loader.h"
#include "tests/filter/isapi_harness.h"
#include "tests/support/machine_fixture.h"

#include <zlib.h>

extern "C" BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) noexcept;
extern "C" BOOL TerminateFilter(DWORD flags) noexcept;

namespace {

using namespace testing_support;

// gunzip in-process (the system tool would be too slow for thousands of responses); the
// framing itself is checked against the independent reader in the compression tests.
std::optional<std::string> gunzip(const std::string& data) {
  z_stream s{};
  if (inflateInit2(&s, 16 + 15) != Z_OK) return std::nullopt;
  std::string out(1 << 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&s, Z_FINISH);
  out.resize(s.total_out);
  inflateEnd(&s);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

class FilterStressTest : public MachineTest {};

TEST_F(FilterStressTest, EightThreadsOfMixedRequestsSurviveConstantReloads) {
  installProduct();
  constexpr int kKinds = 5;
  std::string bodies[kKinds];
  for (int k = 0; k < kKinds; ++k) {
    bodies[k] = "<html><body>\n";
    while (bodies[k].size() < 1500u + 900u * k) bodies[k] += "  <p>kind " + std::to_string(k) + " of the stress test</p>\n";
    bodies[k] += "</body></html>\n";
    writeHostFile(driveC("Inetpub/wwwroot/kind" + std::to_string(k) + ".htm"), "source");
  }
  HTTP_FILTER_VERSION version{};
  ASSERT_TRUE(GetFilterVersion(&version));
  const std::string token = settings::ObtainReloadToken().value();

  std::atomic<bool> done{false};
  std::atomic<int> wrong{0}, reloads{0};
  std::thread reloader([&] {
    FakeConnection c;
    FakeRequest reload;
    reload.url = "/rstval=" + token;
    while (!done) {
      if (c.serve(reload, {}).client != "Changes Updated") ++wrong;
      ++reloads;
      std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
  });
  const int requestsPerThread = std::getenv("TAMSIC_STRESS_REQUESTS") ? std::atoi(std::getenv("TAMSIC_STRESS_REQUESTS")) : 2000;
  std::vector<std::thread> workers;
  for (int t = 0; t < 8; ++t)
    workers.emplace_back([&, t] {
      FakeConnection c;  // one keep-alive connection per thread
      for (int i = 0; i < requestsPerThread; ++i) {
        const int k = (t + i) % kKinds;
        FakeRequest request;
        request.url = "/kind" + std::to_string(k) + ".htm";
        FakeResponse response;
        response.body = bodies[k];
        response.headers = {{"Content-Type", "text/html"}, {"Content-Length", std::to_string(bodies[k].size())}};
        if (k == 1) response.status = 404;
        if (k == 2) {  // chunked
          char size[16];
          std::snprintf(size, sizeof(size), "%zx", bodies[k].size());
          response.headers = {{"Content-Type", "text/html"}, {"Transfer-Encoding", "chunked"}};
          response.body = std::string(size) + "\r\n" + bodies[k] + "\r\n0\r\n\r\n";
        }
        if (k == 3) request.headers.clear();  // no Accept-Encoding: passes
        Exchange e = c.serve(request, response, static_cast<std::size_t>(1 + (i * 37) % 700));
        auto [header, body] = splitResponse(e.client);
        std::string plain = body;
        if (headerValue(header, "Content-Encoding") == "gzip") plain = gunzip(body).value_or("<broken>");
        else if (k == 2) plain = "<not compressed>";
        if (plain != bodies[k] || e.loggedBytes != e.client.size()) ++wrong;
      }
    });
  for (auto& w : workers) w.join();
  done = true;
  reloader.join();
  TerminateFilter(0);
  EXPECT_EQ(wrong, 0);
  EXPECT_GT(reloads, 1);
}

}  // namespace
