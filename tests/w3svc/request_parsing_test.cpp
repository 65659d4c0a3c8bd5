// What the server makes of the text it is given: URLs, bindings, script maps, MIME types,
// dates, and which site a request reaches.

#include <gtest/gtest.h>

#include <random>

#include "w3svc/connection_pool.h"
#include "w3svc/http_time.h"
#include "w3svc/request_checks.h"
#include "w3svc/server.h"
#include "w3svc/url_canon.h"

namespace {

struct UrlCase {
  const char* target;
  unsigned status;
  const char* path;
  const char* query;
};

class UrlCanonTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlCanonTest, MakesTheUrlSafe) {
  const UrlCase& c = GetParam();
  const w3svc::CanonicalUrl url = w3svc::canonicalizeUrl(c.target);
  EXPECT_EQ(url.status, c.status) << c.target;
  if (c.status == 0) {
    EXPECT_EQ(url.path, c.path) << c.target;
    EXPECT_EQ(url.query, c.query) << c.target;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Targets, UrlCanonTest,
    ::testing::Values(UrlCase{"/", 0, "/", ""}, UrlCase{"/a/../b.htm", 0, "/b.htm", ""},
                      UrlCase{"/a/./b/", 0, "/a/b/", ""}, UrlCase{"//a//b", 0, "/a/b", ""},
                      UrlCase{"/a/..", 0, "/", ""}, UrlCase{"/a/b/..", 0, "/a/", ""},
                      UrlCase{"/a\\b.htm", 0, "/a/b.htm", ""}, UrlCase{"/my%20page.htm", 0, "/my page.htm", ""},
                      UrlCase{"/p.htm?x=%20&y=../..", 0, "/p.htm", "x=%20&y=../.."},
                      UrlCase{"http://example.com/a.htm?q", 0, "/a.htm", "q"},
                      // The scheme's case is the client's; the authority is not part of the path.
                      UrlCase{"HtTp://example.com/a.htm", 0, "/a.htm", ""},
                      UrlCase{"http://example.com?q", 0, "/", "q"}, UrlCase{"http://example.com", 0, "/", ""},
                      // Escaping the home directory, however spelled.
                      UrlCase{"/..", 400, "", ""}, UrlCase{"/../etc/passwd", 400, "", ""},
                      UrlCase{"/a/../../b", 400, "", ""}, UrlCase{"/%2e%2e/b", 400, "", ""},
                      UrlCase{"/..\\b", 400, "", ""}, UrlCase{"/a/%2E%2E%5c%2e%2e/b", 400, "", ""},
                      // Bytes no file name holds, and broken escapes.
                      UrlCase{"/a%00.htm", 400, "", ""}, UrlCase{"/a%0d%0a", 400, "", ""},
                      UrlCase{"/a\x01", 400, "", ""}, UrlCase{"/%zz", 400, "", ""}, UrlCase{"/%4", 400, "", ""},
                      UrlCase{"/p?a\x7f", 400, "", ""}, UrlCase{"*", 400, "", ""}, UrlCase{"", 400, "", ""}));

// A path written back into a link (a folder's redirect) must name the same file when the
// link is followed: any decoded path, of any bytes a name may hold, encodes to a target that
// decodes to it again, and nothing of it is read as a query or a fragment.
TEST(UrlEncodingTest, AnEncodedPathDecodesToItselfWhateverItHolds) {
  std::mt19937 random(20261209);
  const std::string special = "%?#/ \"<>[]^`{|}~;=+&.:@";
  for (int round = 0; round < 3000; ++round) {
    std::string path = "/";
    const int parts = 1 + static_cast<int>(random() % 4);
    for (int p = 0; p < parts; ++p) {
      std::string part;
      const int length = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < length; ++i) {
        const unsigned pick = random() % 3;
        char c = pick == 0   ? special[random() % special.size()]
                 : pick == 1 ? static_cast<char>(0x20 + random() % 0x5f)
                             : static_cast<char>(0x80 + random() % 0x80);
        if (c == '/' || c == '\\') c = '%';
        part += c;
      }
      if (part == "." || part == "..") part += 'x';
      path += part + (p + 1 < parts ? "/" : "");
    }
    const std::string target = w3svc::encodePath(path) + "/";
    for (const char c : target) {
      const auto byte = static_cast<unsigned char>(c);
      EXPECT_TRUE(byte > 0x20 && byte < 0x7f && c != '?' && c != '#') << target;
    }
    const w3svc::CanonicalUrl url = w3svc::canonicalizeUrl(target);
    ASSERT_EQ(url.status, 0u) << target;
    EXPECT_EQ(url.path, path + "/") << target;
    EXPECT_EQ(url.query, "") << target;
  }
}

TEST(BindingTest, ReadsIpPortAndHost) {
  auto b = w3svc::parseBinding("127.0.0.1:8080:www.example.com");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ip, "127.0.0.1");
  EXPECT_EQ(b->port, 8080);
  EXPECT_EQ(b->host, "www.example.com");
  b = w3svc::parseBinding(":80:");
  ASSERT_TRUE(b);
  EXPECT_EQ(b->ip, "");
  EXPECT_EQ(b->host, "");
  EXPECT_TRUE(w3svc::parseBinding(":81"));
  for (const char* bad : {"", "80", ":0:", ":65536:", ":8x:", "::host", ":-1:"})
    EXPECT_FALSE(w3svc::parseBinding(bad)) << bad;
}

TEST(ScriptMapTest, ReadsExtensionAndInterpreterWithoutFlags) {
  auto m = w3svc::parseScriptMap(".PL,Z:\\usr\\bin\\perl %s %s,5");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->extension, ".pl");
  EXPECT_EQ(m->interpreter, "Z:\\usr\\bin\\perl %s %s");
  m = w3svc::parseScriptMap(".cgi,");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->interpreter, "");
  EXPECT_FALSE(w3svc::parseScriptMap("cgi,x"));
  EXPECT_FALSE(w3svc::parseScriptMap(".cgi"));
}

TEST(MimeMapTest, DefaultsOverridesAndUnknownTypes) {
  w3svc::MimeMap map = w3svc::MimeMap::withDefaults();
  EXPECT_EQ(map.typeOf("/a/Page.HTM"), "text/html");
  EXPECT_EQ(map.typeOf("/a.b/noext"), "application/octet-stream");
  EXPECT_EQ(map.typeOf("/x.weird"), "application/octet-stream");
  map.apply({".weird,text/x-weird", ".css,text/plain", "broken", ",text/html"});
  EXPECT_EQ(map.typeOf("/x.WEIRD"), "text/x-weird");
  EXPECT_EQ(map.typeOf("/s.css"), "text/plain");
}

TEST(HttpTimeTest, FormatsAndReadsTheThreeForms) {
  EXPECT_EQ(w3svc::httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"})
    EXPECT_EQ(w3svc::parseHttpDateHeader(text), std::optional<std::time_t>(784111777)) << text;
  EXPECT_FALSE(w3svc::parseHttpDateHeader("yesterday"));
  EXPECT_FALSE(w3svc::parseHttpDateHeader("Sun, 06 Nov 1994 08:49:37 GMT trailing"));
}

TEST(RouteTest, PrefersAddressAndHostOverCatchAll) {
  w3svc::ServerConfig config;
  auto site = [&](DWORD id, std::vector<w3svc::Binding> bindings) {
    w3svc::SiteConfig s;
    s.id = id;
    s.bindings = std::move(bindings);
    config.sites.push_back(s);
  };
  site(1, {{"", 80, ""}});
  site(2, {{"", 80, "shop.example"}});
  site(3, {{"10.0.0.7", 80, ""}});
  site(4, {{"10.0.0.7", 80, "shop.example"}});
  site(5, {{"127.0.0.1", 8080, "only.example"}});
  w3svc::Server server(w3svc::ServerOptions{}, config);
  auto idOf = [&](const char* ip, unsigned short port, const char* host) {
    const w3svc::SiteConfig* s = server.route(ip, port, host);
    return s ? static_cast<int>(s->id) : 0;
  };
  EXPECT_EQ(idOf("127.0.0.1", 80, ""), 1);
  EXPECT_EQ(idOf("127.0.0.1", 80, "SHOP.example"), 2);
  EXPECT_EQ(idOf("10.0.0.7", 80, "other"), 3);
  EXPECT_EQ(idOf("10.0.0.7", 80, "shop.example"), 4);
  EXPECT_EQ(idOf("127.0.0.1", 8080, ""), 0);
  EXPECT_EQ(idOf("127.0.0.1", 8080, "only.example"), 5);
  EXPECT_EQ(idOf("127.0.0.1", 81, ""), 0);
}

TEST(ConnectionPoolTest, HandsOutZeroedAlignedMemoryUpToItsLimit) {
  w3svc::ConnectionPool pool;
  for (std::size_t size : {1u, 7u, 64u, 3000u, 10000u, 5u}) {
    auto* p = static_cast<unsigned char*>(pool.allocate(size));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % 16, 0u);
    for (std::size_t i = 0; i < size; ++i) ASSERT_EQ(p[i], 0) << size;
    std::memset(p, 0xff, size);
  }
  EXPECT_EQ(pool.allocate(std::size_t{1} << 40), nullptr);
  EXPECT_EQ(pool.allocate(~std::size_t{0}), nullptr);
}

// Framing fields a proxy and this server could read differently (request smuggling), and
// Host values that would carry markup into a redirect.
struct HeaderCase {
  const char* name;
  w3svc::HeaderList headers;
  unsigned status;
  unsigned version = 11;
};

class RequestHeaderCheckTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(RequestHeaderCheckTest, RefusesWhatCouldBeReadTwoWays) {
  const HeaderCase& c = GetParam();
  EXPECT_EQ(w3svc::checkRequestHeader(c.headers, c.version), c.status);
}

const w3svc::HeaderField kHost{"Host", "127.0.0.1:8080"};

INSTANTIATE_TEST_SUITE_P(
    Headers, RequestHeaderCheckTest,
    ::testing::Values(
        HeaderCase{"Plain", {kHost}, 0}, HeaderCase{"Chunked", {kHost, {"transfer-encoding", " Chunked "}}, 0},
        HeaderCase{"EmptyListElements", {kHost, {"Transfer-Encoding", ", chunked,"}}, 0},
        HeaderCase{"LookalikeCoding", {kHost, {"Transfer-Encoding", "xchunked"}}, 501},
        HeaderCase{"CodingBeforeChunked", {kHost, {"Transfer-Encoding", "gzip, chunked"}}, 501},
        HeaderCase{"CodingInASecondField", {kHost, {"Transfer-Encoding", "chunked"}, {"Transfer-Encoding", "gzip"}}, 501},
        HeaderCase{"ChunkedTwice", {kHost, {"Transfer-Encoding", "chunked, chunked"}}, 400},
        HeaderCase{"NoCodingAtAll", {kHost, {"Transfer-Encoding", " "}}, 400},
        HeaderCase{"WithoutHost", {}, 400}, HeaderCase{"Http10WithoutHost", {}, 0, 10},
        HeaderCase{"TwoHosts", {kHost, {"host", "127.0.0.1:8080"}}, 400},
        HeaderCase{"EmptyHost", {{"Host", ""}}, 0},
        HeaderCase{"MarkupInHost", {{"Host", "\"><script>alert(1)</script>"}}, 400},
        HeaderCase{"BlankInHost", {{"Host", "a b"}}, 400}),
    [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(HostFieldTest, TakesNamesAddressesAndPortsOnly) {
  for (const char* good : {"", "localhost", "127.0.0.1:8080", "www.Example-1.com:80", "a_b~c", "[::1]", "[::1]:65535",
                           "[2001:db8::7]:8080", "host:", "[::1]:"})
    EXPECT_TRUE(w3svc::validHostField(good)) << good;
  for (const char* bad : {":80", "host:65536", "host:8a", "host:123456", "[::1", "[]", "[::1]x", "[::g]",
                          "a/b", "a@b", "a%41", "h\"o", "h'o", "a:1:2", "a\r\nX: y"})
    EXPECT_FALSE(w3svc::validHostField(bad)) << bad;
}

TEST(FoldedLineTest, FindsALineContinuedByABlank) {
  EXPECT_FALSE(w3svc::hasFoldedLine("GET / HTTP/1.1\r\nHost: a\r\nX: b c\r\n\r\n"));
  EXPECT_TRUE(w3svc::hasFoldedLine("GET / HTTP/1.1\r\nHost: a\r\nContent-Length:\r\n 5\r\n\r\n"));
  EXPECT_TRUE(w3svc::hasFoldedLine("GET / HTTP/1.1\r\nX: a\r\n\tb\r\n\r\n"));
  EXPECT_TRUE(w3svc::hasFoldedLine("GET / HTTP/1.1\n Host: a\n\n"));
}

}  // namespace
