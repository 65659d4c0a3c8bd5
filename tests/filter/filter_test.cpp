// The filter through HttpFilterProc: what clients receive for each kind of response.

#include <thread>

#include "filter/hidden_folders.h"
#include "platform/fs/file_api.h"
#include "settings/reload_token.h"
#include "platform/registry/registry.h"
#include "platform/registry/unique_key.h"
#include "settings/settings_loader.h"
#include "settings/site_folders.h"
#include "tests/filter/isapi_harness.h"
#include "tests/support/gzip_reader.h"
#include "tests/support/machine_fixture.h"

extern "C" BOOL GetFilterVersion(HTTP_FILTER_VERSION* version) noexcept;
extern "C" BOOL TerminateFilter(DWORD flags) noexcept;
extern "C" DWORD HttpFilterProc(HTTP_FILTER_CONTEXT* pfc, DWORD notificationType, void* notification) noexcept;

namespace {

using namespace testing_support;

constexpr const char* kSite1 = "SOFTWARE\\Korvane\\Sablewing\\Value\\Sites\\1";

std::string page(std::size_t bytes) {
  std::string body = "<html><body>\n";
  while (body.size() < bytes) body += "  <p>The gauge  stands on the east bank.</p>\n";
  return body + "</body></html>\n";
}

class FilterTest : public MachineTest {
 protected:
  void SetUp() override {
    MachineTest::SetUp();
    installProduct();
    // Saved a minute ago, as an author's page would be: a copy of a source written while
    // its body was read is not stored.
    writeHostFile(driveC("Inetpub/wwwroot/index.htm"), "source");
    std::filesystem::last_write_time(driveC("Inetpub/wwwroot/index.htm"),
                                     std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
    // A first load writes the site's key with its defaults, which tests then change.
    settings::LoadedSettings loaded;
    ASSERT_TRUE(settings::LoadSettings(loaded));
  }
  void TearDown() override {
    if (started_) TerminateFilter(0);
    MachineTest::TearDown();
  }
  void start() {
    HTTP_FILTER_VERSION version{};
    ASSERT_TRUE(GetFilterVersion(&version));
    EXPECT_EQ(version.dwFlags, 0x000846C0u);
    EXPECT_STREQ(version.lpszFilterDesc, "Zazirizaza");
    started_ = true;
  }
  static void setValue(const std::string& path, const char* name, const std::string& text, DWORD type = REG_SZ) {
    UniqueKey key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                             static_cast<DWORD>(text.size() + 1)),
              ERROR_SUCCESS);
  }
  static void setSite(const char* name, const std::string& text) { setValue(kSite1, name, text); }

  static FakeResponse html(const std::string& body, std::string type = "text/html") {
    FakeResponse r;
    r.headers = {{"Content-Type", type}, {"Content-Length", std::to_string(body.size())}};
    r.body = body;
    return r;
  }
  Exchange serve(const FakeRequest& request, const FakeResponse& response, std::size_t pieces = 0) {
    return connection_.serve(request, response, pieces);
  }
  // The body as the client reads it: gunzipped when the response says gzip.
  static std::string decoded(const Exchange& e) {
    auto [header, body] = splitResponse(e.client);
    if (headerValue(header, "Content-Encoding") != "gzip") return body;
    return gunzipWithSystemTool(std::vector<std::uint8_t>(body.begin(), body.end())).value_or("<not gzip>");
  }
  static bool compressed(const Exchange& e) { return headerValue(splitResponse(e.client).first, "Content-Encoding") == "gzip"; }

  FakeConnection connection_;
  bool started_ = false;
};

// --- what a compressed response looks like ---

TEST_F(FilterTest, A200PageIsRewrittenInOneWriteWithItsEncodingLines) {
  start();
  const std::string body = page(3000);
  Exchange e = serve(FakeRequest{}, html(body));
  auto [header, raw] = splitResponse(e.client);
  EXPECT_EQ(e.writeCalls, 1);
  EXPECT_EQ(headerValue(header, "Content-Encoding"), "gzip");
  EXPECT_EQ(headerValue(header, "Vary"), "Accept-Encoding");
  EXPECT_EQ(headerValue(header, "Content-Length"), std::to_string(raw.size()));
  EXPECT_EQ(header.rfind("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: ", 0), 0u);
  EXPECT_EQ(decoded(e), body);
  EXPECT_EQ(e.loggedBytes, e.client.size());  // the log shows what was really sent
}

class HeaderPiecesTest : public FilterTest, public ::testing::WithParamInterface<std::size_t> {};

TEST_P(HeaderPiecesTest, AHeaderInAnyNumberOfPiecesGivesTheSameResponse) {
  start();
  const std::string body = page(2000);
  FakeConnection whole;
  const std::string expected = whole.serve(FakeRequest{}, html(body)).client;
  Exchange e = serve(FakeRequest{}, html(body), GetParam());
  EXPECT_EQ(e.client, expected);
  EXPECT_EQ(decoded(e), body);
}

// 0: header and body apart; then three, two-ish, many pieces, and pieces that end
// inside the blank line or carry body bytes with the header's end.
INSTANTIATE_TEST_SUITE_P(Pieces, HeaderPiecesTest, ::testing::Values(0, 1, 7, 33, 60, 61, 62, 63, 500, 100000));

// --- the decision ---

TEST_F(FilterTest, TheAcceptedEncodingDecides) {
  start();
  const std::string body = page(2000);
  auto with = [&](const char* accept) {
    FakeRequest r;
    if (accept) r.headers = {{"Accept-Encoding:", accept}};
    else r.headers.clear();
    return compressed(serve(r, html(body)));
  };
  EXPECT_TRUE(with("gzip"));
  EXPECT_TRUE(with("deflate"));  // gzip goes to deflate-only clients too
  EXPECT_TRUE(with("x-gzip"));
  EXPECT_FALSE(with("GZIP"));
  EXPECT_FALSE(with(nullptr));
  EXPECT_FALSE(with("identity"));
  EXPECT_FALSE(with("gzip;q=0"));  // a zero weight refuses the coding
  EXPECT_TRUE(with("gzip;q=0.5, br"));
  // Only gzip is ever sent: a deflate client that refuses gzip gets the page as it is.
  EXPECT_FALSE(with("gzip;q=0, deflate"));
  EXPECT_FALSE(with("deflate, x-gzip; q=0.000"));
  // Coding names are case-insensitive, and "*" with a zero weight refuses what is not named.
  EXPECT_FALSE(with("GZIP;q=0, deflate"));
  EXPECT_FALSE(with("deflate, Gzip;\tq=0"));
  EXPECT_FALSE(with("deflate, *;q=0"));
  EXPECT_FALSE(with("*;q=0, deflate;q=0.5"));
  EXPECT_TRUE(with("gzip, *;q=0"));
  EXPECT_TRUE(with("deflate, GZIP;q=0.5, *;q=0"));
}

// The plain answer of a page others get compressed says so, or a shared cache would keep it
// as the only one; an answer no client gets compressed (an image) does not.
TEST_F(FilterTest, ThePlainVariantOfACompressedPageVariesByTheEncoding) {
  start();
  FakeRequest plain;
  plain.headers.clear();
  Exchange e = serve(plain, html(page(2000)));
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(headerValue(splitResponse(e.client).first, "Vary"), "Accept-Encoding");
  EXPECT_EQ(decoded(e), page(2000));
  FakeResponse varies = html(page(2000));
  varies.headers.push_back({"Vary", "*"});
  EXPECT_EQ(headerValue(splitResponse(serve(plain, varies).client).first, "Vary"), "*");
  const FakeResponse image = html(page(2000), "image/png");
  EXPECT_EQ(headerValue(splitResponse(serve(plain, image).client).first, "Vary"), "");
}

// A program's own header lines: a lower-case length, and values that name other fields.
// Fields are matched by their whole name, so the answer keeps one length and every value.
TEST_F(FilterTest, FieldsAreFoundByTheirWholeNameInAnyCase) {
  start();
  const std::string body = page(3000);
  FakeResponse r;
  r.headers = {{"Content-Type", "text/html"}};
  r.rawLines = "Access-Control-Expose-Headers: Content-Length\r\ncontent-length: " + std::to_string(body.size()) +
               "\r\nX-Note: tamsic: gzip-only\r\nX-Framing: Transfer-Encoding: chunked\r\n";
  r.body = body;
  for (std::size_t pieces : {std::size_t{0}, std::size_t{17}}) {
    Exchange e = serve(FakeRequest{}, r, pieces);
    auto [header, raw] = splitResponse(e.client);
    EXPECT_TRUE(compressed(e)) << pieces;
    EXPECT_EQ(decoded(e), body);
    std::size_t lengths = 0;
    for (std::size_t at = header.find("\r\n"); at != std::string::npos; at = header.find("\r\n", at + 2)) {
      const std::string line = header.substr(at + 2, 15);
      lengths += line.size() == 15 && (line == "Content-Length:" || line == "content-length:");
    }
    EXPECT_EQ(lengths, 1u) << header;
    EXPECT_EQ(headerValue(header, "Content-Length"), std::to_string(raw.size()));
    EXPECT_NE(header.find("\r\nAccess-Control-Expose-Headers: Content-Length\r\n"), std::string::npos) << header;
    EXPECT_NE(header.find("\r\nX-Note: tamsic: gzip-only\r\n"), std::string::npos);
    EXPECT_NE(header.find("\r\nX-Framing: Transfer-Encoding: chunked\r\n"), std::string::npos);
  }
}

TEST_F(FilterTest, SizeLimitsRefuseSmallAndLargeBodies) {
  setSite("MinSize", "1000");
  setSite("MaxSize", "5000");
  start();
  EXPECT_FALSE(compressed(serve(FakeRequest{}, html(page(500)))));
  EXPECT_FALSE(compressed(serve(FakeRequest{}, html(page(6000)))));
  EXPECT_TRUE(compressed(serve(FakeRequest{}, html(page(2000)))));
  // Without a declared length the limits apply at the end: the body goes back unchanged
  // with a Content-Length that fits it.
  FakeResponse undeclared = html(page(500));
  undeclared.headers = {{"Content-Type", "text/html"}};
  Exchange e = serve(FakeRequest{}, undeclared);
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(decoded(e), page(500));
  EXPECT_EQ(headerValue(splitResponse(e.client).first, "Content-Length"), std::to_string(page(500).size()));
}

struct MimeCase {
  const char* name;
  const char* type;
  const char* agent;
  bool compressed;
};
std::ostream& operator<<(std::ostream& o, const MimeCase& c) { return o << c.name; }

class MimeRulesTest : public FilterTest, public ::testing::WithParamInterface<MimeCase> {};

TEST_P(MimeRulesTest, TheDefaultTablesDecide) {
  start();
  FakeRequest r;
  r.headers["User-Agent:"] = GetParam().agent;
  EXPECT_EQ(compressed(serve(r, html(page(2000), GetParam().type))), GetParam().compressed);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, MimeRulesTest,
    ::testing::Values(MimeCase{"HtmlForAnyBrowser", "text/html", "Lynx/2.8", true},
                      MimeCase{"CssForExplorer6", "text/css", "Mozilla/4.0 (compatible; MSIE 6.0)", false},
                      MimeCase{"CssForOpera", "text/css", "Opera/5.12 (Windows)", true},
                      MimeCase{"CssForNetscape47", "text/css", "Mozilla/4.7 [en]", false},
                      MimeCase{"CssForExplorerPosingAsMozilla47", "text/css", "Mozilla/4.7 (compatible; MSIE 5.0)", false},
                      MimeCase{"WordForUnknownBrowser", "application/msword", "Lynx/2.8", true},
                      MimeCase{"WordForNetscape6", "application/msword", "Netscape6/6.2", false},
                      MimeCase{"GifNeverListed", "image/gif", "Lynx/2.8", false},
                      MimeCase{"BitmapListed", "image/bmp", "Lynx/2.8", true},
                      MimeCase{"TypeWithParameters", "text/html; charset=iso-8859-1", "Lynx/2.8", true},
                      MimeCase{"UnknownTopLevelType", "video/mpeg", "Lynx/2.8", false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(FilterTest, DirectivesOverrideTheRulesAndTheirHeaderIsRemoved) {
  start();
  FakeResponse gif = html(page(2000), "image/gif");
  gif.headers.emplace_back("tamsic", "gzip-only");
  Exchange e = serve(FakeRequest{}, gif);
  EXPECT_TRUE(compressed(e));
  EXPECT_EQ(splitResponse(e.client).first.find("tamsic"), std::string::npos);
  FakeResponse none = html(page(2000));
  none.headers.emplace_back("tamsic", "No-Compression");
  e = serve(FakeRequest{}, none);
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(splitResponse(e.client).first.find("tamsic"), std::string::npos);
  FakeRequest plain;
  plain.headers.clear();
  FakeResponse forced = html(page(2000), "image/gif");
  forced.headers.emplace_back("tamsic", "gzip-only");
  EXPECT_FALSE(compressed(serve(plain, forced)));  // no Accept-Encoding: nothing to force
}

TEST_F(FilterTest, ARawDirectiveLineIsRemovedOnlyWhenItIsADirectiveWord) {
  start();
  // A CGI program's header reaches the filter only as raw bytes.
  FakeResponse cgi = html(page(2000), "image/gif");
  cgi.rawLines = "tamsic: gzip-only\r\nX-After: kept\r\n";
  Exchange e = serve(FakeRequest{}, cgi);
  EXPECT_TRUE(compressed(e));
  EXPECT_EQ(e.client.find("tamsic"), std::string::npos);
  EXPECT_EQ(headerValue(e.client, "X-After"), "kept");
  cgi.rawLines = "tamsic: please\r\n";
  e = serve(FakeRequest{}, cgi);
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(headerValue(e.client, "tamsic"), "please");
}

TEST_F(FilterTest, AnAlreadyEncodedResponseIsNeverTouched) {
  start();
  FakeResponse r = html("ALREADY-ENCODED-BYTES" + std::string(2000, 'x'));
  r.headers.emplace_back("Content-Encoding", "br");
  r.headers.emplace_back("tamsic", "full-compression");
  Exchange e = serve(FakeRequest{}, r);
  EXPECT_EQ(decoded(e), r.body);
  EXPECT_EQ(headerValue(splitResponse(e.client).first, "Content-Encoding"), "br");
}

TEST_F(FilterTest, ExclusionPatternsKeepFilesAndFoldersUncompressed) {
  // A name with ';' as the console stores it from a Browse: the filter reads ';' in a URL
  // as ','.
  setSite("NewExclude", "*.dll,*.exe,secret.*,C:\\Inetpub\\wwwroot\\private\\*,archive,"
                        "C:\\Inetpub\\wwwroot\\a;b.htm,C:/Inetpub/wwwroot/menu;v2\\*");
  start();
  auto at = [&](const std::string& url) {
    FakeRequest r;
    r.url = url;
    return compressed(serve(r, html(page(2000))));
  };
  EXPECT_TRUE(at("/index.htm"));
  EXPECT_FALSE(at("/tools/setup.exe"));
  EXPECT_FALSE(at("/SECRET.htm"));
  EXPECT_FALSE(at("/private/notes.htm"));
  EXPECT_FALSE(at("/archive/2001.htm"));
  EXPECT_TRUE(at("/archived.htm"));
  EXPECT_FALSE(at("/a;b.htm"));
  EXPECT_TRUE(at("/a;c.htm"));
  EXPECT_FALSE(at("/menu;v2/list.htm"));
  // The extension is the file name's: a folder with a dot in its name ("v1.2") does not
  // hide it, nor does it make a folder pattern a file's. A folder typed without "\*"
  // names itself, not its parent, and a folder pattern covers no folder that merely begins
  // with its name.
  setSite("NewExclude", "*.txt,C:/Inetpub/wwwroot/v2.0\\*,C:\\Inetpub\\wwwroot\\scripts,C:\\Inetpub\\wwwroot\\old\\*");
  FakeRequest reloadNow;
  reloadNow.url = "/rstval=" + settings::ObtainReloadToken().value();
  serve(reloadNow, {});
  EXPECT_FALSE(at("/v1.2/notes.txt"));
  EXPECT_FALSE(at("/v2.0/list.htm"));
  EXPECT_TRUE(at("/v2.1/list.htm"));
  EXPECT_FALSE(at("/scripts/menu.htm"));
  EXPECT_FALSE(at("/scripts/deeper/menu.htm"));
  EXPECT_TRUE(at("/home.htm"));
  EXPECT_TRUE(at("/news/today.htm"));
  EXPECT_FALSE(at("/old/a.htm"));
  EXPECT_TRUE(at("/older/a.htm"));
  setSite("NewExclude", "*");
  FakeRequest reload;
  reload.url = "/rstval=" + settings::ObtainReloadToken().value();
  serve(reload, {});
  EXPECT_FALSE(at("/index.htm"));
}

// --- statuses and methods ---

TEST_F(FilterTest, OnlySuccessfulPagesAreRewritten) {
  start();
  for (int status : {304, 302}) {
    FakeResponse r = html(page(2000));
    r.status = status;
    r.headers.emplace_back("tamsic", "gzip-only");
    Exchange e = serve(FakeRequest{}, r);
    EXPECT_FALSE(compressed(e)) << status;
    EXPECT_NE(e.client.find("tamsic: gzip-only"), std::string::npos) << status;  // skipped whole
  }
  FakeResponse missing = html(page(2000));
  missing.status = 404;
  missing.headers.emplace_back("tamsic", "gzip-only");
  Exchange e = serve(FakeRequest{}, missing);
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(e.client.find("tamsic"), std::string::npos);
  EXPECT_EQ(decoded(e), page(2000));
}

// Neither has a body to rewrite; each names what the whole answer to a GET would.
TEST_F(FilterTest, HeadAnswersAndByteRangesNameTheFieldsOfTheWholeAnswer) {
  start();
  FakeRequest head;
  head.method = "HEAD";
  FakeResponse r = html(page(2000));
  r.body.clear();
  r.headers.emplace_back("ETag", "\"1d:0\"");
  Exchange e = serve(head, r);
  EXPECT_EQ(headerValue(e.client, "Content-Encoding"), "gzip");
  EXPECT_EQ(headerValue(e.client, "Vary"), "Accept-Encoding");
  EXPECT_EQ(headerValue(e.client, "ETag"), "W/\"1d:0\"");
  EXPECT_EQ(headerValue(e.client, "Content-Length"), "");
  EXPECT_EQ(splitResponse(e.client).second, "");
  FakeResponse range = html(page(2000).substr(0, 100));
  range.status = 206;
  range.headers.emplace_back("Content-Range", "bytes 0-99/5000");
  Exchange piece = serve(FakeRequest{}, range);
  EXPECT_FALSE(compressed(piece));
  EXPECT_EQ(headerValue(piece.client, "Vary"), "Accept-Encoding");
  EXPECT_EQ(splitResponse(piece.client).second, page(2000).substr(0, 100));
  // Methods are case-sensitive: "head" is a program's own, answered with a body.
  FakeRequest lower;
  lower.method = "head";
  Exchange program = serve(lower, html(page(2000)));
  EXPECT_TRUE(compressed(program));
  EXPECT_EQ(decoded(program), page(2000));
  // The piece's entity is past MaxSize: the whole answer would pass as it is.
  FakeResponse huge = range;
  huge.headers.back().second = "bytes 0-99/500000000";
  Exchange passed = serve(FakeRequest{}, huge);
  EXPECT_EQ(headerValue(passed.client, "Vary"), "");
}

// A declared 0 is a length: an empty body a GET would compress (MinSize 0) is named so.
TEST_F(FilterTest, AHeadAnswerOfAnEmptyBodyNamesWhatItsGetGets) {
  setSite("MinSize", "0");
  start();
  FakeRequest head;
  head.method = "HEAD";
  Exchange none = serve(head, html(""));
  EXPECT_EQ(headerValue(none.client, "Content-Encoding"), "gzip");
  EXPECT_EQ(headerValue(none.client, "Content-Length"), "");
  EXPECT_TRUE(compressed(serve(FakeRequest{}, html(""))));
}

// The interim answer reaches the filter before the final header notice, as the server sends
// it; it goes on at once and the final response is still rewritten.
TEST_F(FilterTest, APostsInterimResponseGoesOutAtOnceAndTheFinalOneIsCompressed) {
  start();
  FakeRequest post;
  post.method = "POST";
  FakeResponse r = html(page(2000));
  r.rawPrefix = "HTTP/1.1 100 Continue\r\n\r\n";
  for (std::size_t pieces : {std::size_t{0}, std::size_t{10}}) {
    Exchange e = serve(post, r, pieces);
    EXPECT_EQ(e.client.rfind("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n", 0), 0u) << pieces;
    EXPECT_EQ(e.writeCalls, 1);
    const std::string final = e.client.substr(25);
    auto [header, body] = splitResponse(final);
    EXPECT_EQ(headerValue(header, "Content-Encoding"), "gzip");
    EXPECT_EQ(gunzipWithSystemTool(std::vector<std::uint8_t>(body.begin(), body.end())), page(2000));
  }
}

// --- bodies ---

std::string chunk(const std::string& data, const std::string& extension = "") {
  char size[16];
  std::snprintf(size, sizeof(size), "%zx", data.size());
  return std::string(size) + extension + "\r\n" + data + "\r\n";
}

TEST_F(FilterTest, ChunkedBodiesAreDecodedAndSentWithALength) {
  setSite("Cache", "0");  // both bodies have the same URL
  start();
  std::string binary = page(1500);
  binary[100] = '\0';
  binary[700] = '\0';  // a NUL byte must not end the body
  for (const std::string& body : {page(1500), binary}) {
    FakeResponse r;
    r.headers = {{"Content-Type", "text/html"}, {"Transfer-Encoding", "chunked"}};
    r.body = chunk(body.substr(0, 999), ";name=value") + chunk(body.substr(999)) + "0\r\n\r\n";
    Exchange e = serve(FakeRequest{}, r, 64);
    auto header = splitResponse(e.client).first;
    EXPECT_EQ(header.find("Transfer-Encoding"), std::string::npos);
    // Added as the last line, with the encoding lines after it.
    EXPECT_LT(header.find("Content-Type"), header.find("Content-Length"));
    EXPECT_EQ(header.find("\r\nContent-Encoding: gzip"),
              header.find("Content-Length: ") + std::string("Content-Length: ").size() + headerValue(header, "Content-Length").size());
    EXPECT_EQ(decoded(e), body);
  }
}

// A body that ends before its end (a file cut while it was read, a program that died)
// goes out as it came: a complete-looking compressed page would hide the loss, and its
// copy would be served for good.
TEST_F(FilterTest, ABodyCutShortGoesOutAsItCameAndIsNotCached) {
  setSite("CacheExt", ".htm");
  start();
  const std::string body = page(3000);
  FakeResponse declared = html(body);
  declared.body = body.substr(0, 1200);
  Exchange e = serve(FakeRequest{}, declared, 500);
  EXPECT_EQ(e.client, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) +
                          "\r\n\r\n" + declared.body);

  FakeResponse chunked;
  chunked.headers = {{"Content-Type", "text/html"}, {"Transfer-Encoding", "chunked"}};
  chunked.body = chunk(body.substr(0, 1000)) + chunk(body.substr(1000, 500));  // no last chunk
  e = serve(FakeRequest{}, chunked, 300);
  EXPECT_EQ(e.client, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n" + chunked.body);
  EXPECT_FALSE(std::filesystem::exists(driveC("Inetpub/wwwroot/gzipcache/korvanecompress/index.htm")));
  // The whole page afterwards is compressed and cached as ever.
  EXPECT_EQ(decoded(serve(FakeRequest{}, html(body))), body);
  EXPECT_TRUE(std::filesystem::exists(driveC("Inetpub/wwwroot/gzipcache/korvanecompress/index.htm")));
}

// An undeclared body that outgrows MaxSize is not held whole: what was held back goes out
// as the server made it and the rest passes.
TEST_F(FilterTest, AnUndeclaredBodyPastMaxSizeGoesOutAsTheServerMadeIt) {
  setSite("MaxSize", "5000");
  start();
  const std::string body = page(20000);
  FakeResponse r;
  r.headers = {{"Content-Type", "text/html"}, {"Transfer-Encoding", "chunked"}};
  for (std::size_t at = 0; at < body.size(); at += 1000) r.body += chunk(body.substr(at, 1000));
  r.body += "0\r\n\r\n";
  Exchange e = serve(FakeRequest{}, r, 700);
  EXPECT_EQ(e.writeCalls, 0);
  EXPECT_EQ(e.client, "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n" + r.body);
}

TEST_F(FilterTest, TheStrongETagOfARewrittenBodyBecomesWeak) {
  start();
  FakeResponse r = html(page(2000));
  r.headers.emplace_back("ETag", "\"abc123\"");
  EXPECT_EQ(headerValue(serve(FakeRequest{}, r).client, "ETag"), "W/\"abc123\"");
  FakeRequest plain;
  plain.headers.clear();
  EXPECT_EQ(headerValue(serve(plain, r).client, "ETag"), "\"abc123\"");
}

TEST_F(FilterTest, TheSecondRequestIsServedFromTheCache) {
  start();
  const std::string body = page(4000);
  Exchange first = serve(FakeRequest{}, html(body));
  EXPECT_TRUE(std::filesystem::exists(driveC("Inetpub/wwwroot/gzipcache/korvanecompress/index.htm")));
  // The server sends a different body now; the cached copy is still newer than the file.
  Exchange second = serve(FakeRequest{}, html(page(4100)));
  EXPECT_EQ(decoded(second), body);
  EXPECT_EQ(second.client, first.client);
}

// The extension is the file name's: a dot in a folder's name neither hides the page's level
// nor keeps its copy out of the cache.
TEST_F(FilterTest, ADotInAFolderNameLeavesThePageItsExtension) {
  setSite("FileExtensions", ".htm,0");  // stored, not deflated: the output outgrows the page
  start();
  std::filesystem::create_directories(driveC("Inetpub/wwwroot/v1.2"));
  writeHostFile(driveC("Inetpub/wwwroot/v1.2/index.htm"), "source");
  std::filesystem::last_write_time(driveC("Inetpub/wwwroot/v1.2/index.htm"),
                                   std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
  const std::string body = page(4000);
  FakeRequest request;
  request.url = "/v1.2/index.htm";
  Exchange e = serve(request, html(body));
  ASSERT_TRUE(compressed(e));
  EXPECT_EQ(decoded(e), body);
  EXPECT_GT(splitResponse(e.client).second.size(), body.size());
  EXPECT_TRUE(std::filesystem::exists(driveC("Inetpub/wwwroot/gzipcache/korvanecompress/v1.2/index.htm")));
}

// The URL is lower-cased before its extension is read, as the cache's extensions are
// compared: a rule typed ".HTM" in the console applies (it never did).
TEST_F(FilterTest, AnExtensionRuleInCapitalsApplies) {
  setSite("FileExtensions", ".HTM,0");
  start();
  const std::string body = page(4000);
  Exchange e = serve(FakeRequest{}, html(body));
  ASSERT_TRUE(compressed(e));
  EXPECT_GT(splitResponse(e.client).second.size(), body.size());  // level 0: stored, not deflated
}

// With a declared length the copy goes out as soon as the header decides, and the server
// need not send the body (the connection is kept); without one, the end of the body
// decides. The client gets the same bytes either way, and the log counts what was sent.
TEST_F(FilterTest, ACachedCopyAnswersAtTheHeaderWhenTheLengthIsDeclared) {
  start();
  const std::string body = page(4000);
  Exchange first = serve(FakeRequest{}, html(body), 700);
  EXPECT_FALSE(first.keptConnection);
  Exchange declared = serve(FakeRequest{}, html(page(4100)), 700);
  EXPECT_TRUE(declared.keptConnection);
  EXPECT_EQ(declared.client, first.client);
  EXPECT_EQ(declared.loggedBytes, declared.client.size());

  FakeResponse unsized;
  unsized.headers = {{"Content-Type", "text/html"}, {"Transfer-Encoding", "chunked"}};
  unsized.body = chunk(page(4200)) + "0\r\n\r\n";
  Exchange atTheEnd = serve(FakeRequest{}, unsized, 700);
  EXPECT_FALSE(atTheEnd.keptConnection);
  EXPECT_EQ(decoded(atTheEnd), body);
  EXPECT_EQ(splitResponse(atTheEnd.client).second, splitResponse(first.client).second);
}

// A response the filter lets pass switches its raw data off: the rest of the body goes to
// the client without calling the filter for every piece, whole and unchanged.
TEST_F(FilterTest, APassedResponseLeavesItsBodyToTheServer) {
  start();
  FakeRequest plain;
  plain.headers.clear();  // no Accept-Encoding
  const std::string body = page(5000);
  Exchange e = serve(plain, html(body), 512);
  EXPECT_TRUE(e.rawDataSwitchedOff);
  EXPECT_EQ(splitResponse(e.client).second, body);
  Exchange next = serve(FakeRequest{}, html(body), 512);
  EXPECT_FALSE(next.rawDataSwitchedOff);
  EXPECT_EQ(decoded(next), body);
}

// The connection's memory is freed only when the connection ends: a long keep-alive
// connection must not hold a context for every request it served.
TEST_F(FilterTest, AConnectionHoldsOneRequestContextHoweverManyRequestsItServes) {
  start();
  serve(FakeRequest{}, html(page(3000)));
  const std::size_t held = connection_.poolBytes();
  EXPECT_GT(held, 0u);
  for (int i = 0; i < 50; ++i) {
    FakeRequest r;
    r.query = "n=" + std::to_string(i);
    EXPECT_EQ(decoded(serve(r, html(page(3000 + i)))), page(3000 + i));
  }
  EXPECT_EQ(connection_.poolBytes(), held);
}

TEST_F(FilterTest, AQueryStringIsNeverServedTheCopyOfTheBareUrl) {
  start();
  serve(FakeRequest{}, html(page(4000)));
  FakeRequest withQuery;
  withQuery.query = "id=3";
  EXPECT_EQ(decoded(serve(withQuery, html(page(4100)))), page(4100));
  setSite("DynamicCache", "1");
  FakeRequest reload;
  reload.url = "/rstval=" + settings::ObtainReloadToken().value();
  serve(reload, {});
  serve(withQuery, html(page(4200)));
  EXPECT_TRUE(std::filesystem::exists(driveC("Inetpub/wwwroot/gzipcache/korvanecompress/index.htmid=3")));
  EXPECT_EQ(decoded(serve(withQuery, html(page(4300)))), page(4200));
}

// Dynamic pages by query: names that differ only in case are one file on Windows, a query
// too long to read is no query, and a POST never gets a cached page.
TEST_F(FilterTest, EachRequestIsServedOnlyItsOwnCachedPage) {
  setSite("DynamicCache", "1");
  start();
  auto get = [&](const std::string& query, const std::string& body, const char* method = "GET") {
    FakeRequest r;
    r.query = query;
    r.method = method;
    return decoded(serve(r, html(body)));
  };
  EXPECT_EQ(get("id=A", page(3000)), page(3000));
  EXPECT_EQ(get("id=a", page(3100)), page(3100));
  EXPECT_EQ(get("id=A", page(3200)), page(3200));  // never the page of id=a
  EXPECT_EQ(get("id=A", page(3300)), page(3200));  // its own copy, now cached
  EXPECT_EQ(get("id=A", page(3400), "POST"), page(3400));
  setSite("DynamicCache", "0");
  FakeRequest reload;
  reload.url = "/rstval=" + settings::ObtainReloadToken().value();
  serve(reload, {});
  EXPECT_EQ(get("", page(3500)), page(3500));
  EXPECT_EQ(get("", page(3600)), page(3500));
  EXPECT_EQ(get(std::string(600, 'q'), page(3700)), page(3700));  // not the bare URL's copy
}

// A page for one user (the request carries a cookie, credentials or a body of its own, or
// the answer sets a cookie or is private) is never stored for, nor taken from, the shared
// cache.
TEST_F(FilterTest, PagesForOneUserNeverGoThroughTheCache) {
  start();
  const auto copy = driveC("Inetpub/wwwroot/gzipcache/korvanecompress/index.htm");
  FakeRequest withCookie;
  withCookie.headers["Cookie:"] = "session=" + std::string(2000, 'a');  // longer than any read buffer
  FakeRequest withCredentials;
  withCredentials.headers["Authorization:"] = "Basic dXNlcjpwYXNz";
  FakeRequest withBody;  // a GET may carry one, and a program may answer from it
  withBody.headers["Content-Length:"] = "8";
  FakeRequest withChunkedBody;
  withChunkedBody.headers["Transfer-Encoding:"] = "chunked";
  for (const FakeRequest& request : {withCookie, withCredentials, withBody, withChunkedBody}) {
    EXPECT_EQ(decoded(serve(request, html(page(3000)))), page(3000));
    EXPECT_FALSE(std::filesystem::exists(copy));
  }
  for (auto field : {std::pair<std::string, std::string>{"Set-Cookie", "session=b"},
                     {"Cache-Control", "Private"}, {"Cache-Control", "max-age=60, no-store"}}) {
    FakeResponse r = html(page(3000));
    r.headers.push_back(field);
    EXPECT_TRUE(compressed(serve(FakeRequest{}, r))) << field.first;
    EXPECT_FALSE(std::filesystem::exists(copy)) << field.first;
  }
  serve(FakeRequest{}, html(page(3000)));  // a shared page is kept...
  ASSERT_TRUE(std::filesystem::exists(copy));
  for (const FakeRequest& request : {withCookie, withBody})  // ...but not served to a user's request
    EXPECT_EQ(decoded(serve(request, html(page(3100)))), page(3100));
  FakeRequest withEmptyBody;
  withEmptyBody.headers["Content-Length:"] = "0";
  EXPECT_EQ(decoded(serve(withEmptyBody, html(page(3100)))), page(3000));
}

// A copy stands only for the plain reading of a page the same for every client: another
// method, a response that varies by more than the encoding, or one due at once (no-cache,
// max-age=0, an Expires past) is neither answered from the cache nor kept in it.
TEST_F(FilterTest, OnlyAReadOfAPageTheSameForEveryoneGoesThroughTheCache) {
  start();
  const auto copy = driveC("Inetpub/wwwroot/gzipcache/korvanecompress/index.htm");
  for (auto field : {std::pair<std::string, std::string>{"Vary", "User-Agent"},
                     {"Vary", "accept-encoding, Cookie"}, {"Vary", "*"}}) {
    FakeResponse r = html(page(3000));
    r.headers.push_back(field);
    EXPECT_TRUE(compressed(serve(FakeRequest{}, r))) << field.second;
    EXPECT_FALSE(std::filesystem::exists(copy)) << field.second;
  }
  FakeResponse byEncoding = html(page(3000));
  byEncoding.headers.push_back({"Vary", " Accept-Encoding "});
  serve(FakeRequest{}, byEncoding);
  ASSERT_TRUE(std::filesystem::exists(copy));  // varying by the encoding alone is what the copy is for

  FakeRequest deletion;
  deletion.method = "DELETE";
  EXPECT_EQ(decoded(serve(deletion, html(page(3100)))), page(3100));
  FakeRequest put;
  put.method = "PUT";
  EXPECT_EQ(decoded(serve(put, html(page(3200)))), page(3200));
  FakeRequest lowerCase;
  lowerCase.method = "get";  // methods are case-sensitive: another method, for the program to answer
  EXPECT_EQ(decoded(serve(lowerCase, html(page(3250)))), page(3250));
  EXPECT_EQ(decoded(serve(FakeRequest{}, html(page(3300)))), page(3000));  // the copy is still the GET's

  for (auto field : {std::pair<std::string, std::string>{"Cache-Control", "no-cache"},
                     {"Cache-Control", "max-age=0"}, {"Expires", "Thu, 01 Jan 1998 00:00:00 GMT"}}) {
    FakeResponse r = html(page(3400));
    r.headers.push_back(field);
    EXPECT_EQ(decoded(serve(FakeRequest{}, r)), page(3400)) << field.second;
  }
}

// The cache and log folders are the filter's: the site answers 404 for what lies in them.
TEST_F(FilterTest, TheCacheAndLogFoldersAreNeverServed) {
  start();
  serve(FakeRequest{}, html(page(3000)));
  // past any small buffer
  const std::string deep = "/gzipcache/korvanecompress/" + std::string(1500, 'd') + "/index.htm";
  for (const std::string& url : {std::string("/gzipcache/korvanecompress/index.htm"),
                                 std::string("/GZIPCACHE/korvanecompress/index.htm"), std::string("/gziplog/pagestat.txt"),
                                 std::string("/gziplog/sitestat.txt"), std::string("/gzipcache/korvanecompress"), deep}) {
    FakeRequest r;
    r.url = url;
    Exchange e = connection_.serve(r, html(page(3000)));
    EXPECT_TRUE(e.finished) << url;
    EXPECT_EQ(e.client.rfind("HTTP/1.1 404 Not Found\r\n", 0), 0u) << url;
    EXPECT_EQ(e.client.find("gauge"), std::string::npos) << url;
  }
  // A folder whose name only begins the same, and a page of the site's own beside the
  // filter's files, are served.
  for (const char* url : {"/gzipcache2/index.htm", "/gziplog/notes.htm", "/gzipcache/index.htm"}) {
    FakeRequest other;
    other.url = url;
    EXPECT_TRUE(compressed(serve(other, html(page(3000))))) << url;
  }
}

// The settings may spell the filter's folders otherwise than the server spells its paths;
// a folder hides the same files however it is written.
TEST(HiddenFolderTest, AFolderHidesItsFilesHoweverItIsSpelled) {
  settings::SiteSettings site;
  site.RootPath = std::string("C:\\Inetpub\\wwwroot");
  site.PlainCacheFolder = settings::plainFolder("C:\\Inetpub\\wwwroot\\gzipcache", site.RootPath.str());
  for (const char* spelled : {"C:\\Inetpub\\wwwroot\\gziplog", "C:\\Inetpub\\wwwroot\\\\gziplog",
                              "C:/Inetpub/wwwroot/./gziplog", "C:\\Inetpub\\wwwroot\\images\\..\\gziplog",
                              "\\Inetpub\\wwwroot\\gziplog", "\\Temp\\..\\Inetpub\\wwwroot\\gziplog",
                              "c:\\inetpub\\WWWROOT\\gziplog\\", "C:\\Inetpub\\wwwroot\\gziplog. "}) {
    site.PlainLogFolder = settings::plainFolder(spelled, site.RootPath.str());
    EXPECT_TRUE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\gziplog\\pagestat.txt", site)) << spelled;
    EXPECT_TRUE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\gziplog\\SITESTAT.TXT", site)) << spelled;
    EXPECT_TRUE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\gziplog\\sitestat.txt.~12-3", site)) << spelled;
    EXPECT_FALSE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\gziplog2\\pagestat.txt", site)) << spelled;
    EXPECT_FALSE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\index.htm", site)) << spelled;
  }
  // The server's path spelled as Windows still opens the folder by.
  site.PlainLogFolder = settings::plainFolder("C:\\Inetpub\\wwwroot\\gziplog", site.RootPath.str());
  for (const char* path : {"C:\\Inetpub\\wwwroot\\gziplog.\\pagestat.txt", "C:\\Inetpub\\wwwroot\\gziplog...\\pagestat.txt",
                           "C:\\Inetpub\\wwwroot\\gziplog \\pagestat.txt", "C:\\Inetpub\\wwwroot\\gziplog. .\\pagestat.txt",
                           "C:\\Inetpub\\wwwroot.\\gziplog\\pagestat.txt"})
    EXPECT_TRUE(filter::InsideFilterFolder(path, site)) << path;
  EXPECT_FALSE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\gziplog.x\\pagestat.txt", site));
  // A site on a network share: its folders keep their network name.
  settings::SiteSettings shared;
  shared.RootPath = std::string("\\\\server\\share\\site");
  shared.PlainLogFolder = settings::plainFolder("\\\\server\\share\\site\\.\\gziplog", shared.RootPath.str());
  EXPECT_EQ(shared.PlainLogFolder, "\\\\server\\share\\site\\gziplog");
  EXPECT_TRUE(filter::InsideFilterFolder("\\\\server\\share\\site\\gziplog\\pagestat.txt", shared));
  EXPECT_TRUE(filter::InsideFilterFolder("\\\\server\\share\\site\\gziplog.\\pagestat.txt", shared));
  EXPECT_FALSE(filter::InsideFilterFolder("\\\\server\\share\\site\\index.htm", shared));
  // The whole site, however spelled, hides nothing.
  for (const char* whole : {"C:\\Inetpub\\wwwroot\\gziplog\\..", "C:\\", "\\", "C:\\Inetpub"}) {
    site.PlainLogFolder = settings::plainFolder(whole, site.RootPath.str());
    EXPECT_FALSE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\index.htm", site)) << whole;
  }
  site.PlainLogFolder = settings::plainFolder("", site.RootPath.str());
  EXPECT_FALSE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\index.htm", site));
  // Only what the filter keeps there is hidden: a folder set to one of pages (or to the root)
  // goes on serving them, and its statistics files, or its copies, are hidden all the same.
  for (const char* folder : {"C:\\Inetpub\\wwwroot\\pub", "C:\\Inetpub\\wwwroot"}) {
    site.PlainLogFolder = settings::plainFolder(folder, site.RootPath.str());
    site.PlainCacheFolder = site.PlainLogFolder;
    const std::string base = folder;
    EXPECT_FALSE(filter::InsideFilterFolder(base + "\\page.htm", site)) << folder;
    EXPECT_FALSE(filter::InsideFilterFolder(base + "\\docs\\pagestat.txt", site)) << folder;
    EXPECT_FALSE(filter::InsideFilterFolder(base, site)) << folder;
    EXPECT_TRUE(filter::InsideFilterFolder(base + "\\pagestat.txt", site)) << folder;
    EXPECT_TRUE(filter::InsideFilterFolder(base + "\\korvanecompress\\index.htm", site)) << folder;
    EXPECT_TRUE(filter::InsideFilterFolder(base + "\\KorvaneCompress", site)) << folder;
  }
  // A letter beyond ASCII in another case is the same folder where the file system says so:
  // Windows folds it, this platform's stand-in folds ASCII letters alone.
  site.PlainLogFolder = settings::plainFolder("C:\\Inetpub\\wwwroot\\Journal\xe9", site.RootPath.str());
  EXPECT_TRUE(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\JOURNAL\xe9\\pagestat.txt", site));
  EXPECT_EQ(filter::InsideFilterFolder("C:\\Inetpub\\wwwroot\\JOURNAL\xc9\\pagestat.txt", site),
            platform::fs::sameNameIgnoringCase("\xe9", "\xc9"));
#ifdef _WIN32
  EXPECT_TRUE(platform::fs::sameNameIgnoringCase("Journal\xe9", "JOURNAL\xc9"));  // code page 1252
#endif
}

#ifdef _WIN32
// Windows opens a folder by its short name as well: that name hides the folder's files too.
TEST(HiddenFolderTest, AFolderHidesItsFilesUnderItsShortName) {
  const std::string folder = "C:\\tamsic-short-names\\gzipcache";
  CreateDirectoryA("C:\\tamsic-short-names", nullptr);
  CreateDirectoryA(folder.c_str(), nullptr);
  CreateDirectoryA((folder + "\\korvanecompress").c_str(), nullptr);
  const std::string file = folder + "\\korvanecompress\\page.htm";
  HANDLE created = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  CloseHandle(created);
  char shortName[MAX_PATH];
  const DWORD length = GetShortPathNameA(file.c_str(), shortName, sizeof(shortName));
  settings::SiteSettings site;
  site.RootPath = std::string("C:\\tamsic-short-names");
  site.PlainCacheFolder = folder;
  ASSERT_GT(length, 0u);
  ASSERT_NE(std::string(shortName, length).find('~'), std::string::npos) << shortName;
  EXPECT_TRUE(filter::InsideFilterFolder(std::string(shortName, length), site)) << shortName;
  const std::string shortFolder = std::string(shortName, length).substr(0, std::string(shortName, length).rfind('\\'));
  EXPECT_TRUE(filter::InsideFilterFolder(shortFolder + "\\missing\\nothing.htm", site)) << shortFolder;  // not there
  DeleteFileA(file.c_str());
  RemoveDirectoryA((folder + "\\korvanecompress").c_str());
  RemoveDirectoryA(folder.c_str());
  RemoveDirectoryA("C:\\tamsic-short-names");
}
#endif

// A link placed inside the cache folder would lead the cache's writes out of it.
TEST_F(FilterTest, TheCacheNeverWritesThroughALinkInsideItsFolder) {
  start();
  const auto outside = driveC("outside");
  std::filesystem::create_directories(outside);
  std::filesystem::create_directories(driveC("Inetpub/wwwroot/gzipcache/korvanecompress"));
  std::error_code linkError;
  std::filesystem::create_directory_symlink(outside, driveC("Inetpub/wwwroot/gzipcache/korvanecompress/docs"), linkError);
  // Wine makes no symbolic link (Windows and the stand-ins do): nothing to check there.
  if (linkError) GTEST_SKIP() << "no symbolic link on this system: " << linkError.message();
  FakeRequest r;
  r.url = "/docs/page.htm";
  EXPECT_TRUE(compressed(serve(r, html(page(3000)))));
  EXPECT_TRUE(std::filesystem::is_empty(outside));
}

TEST_F(FilterTest, OptimisationRunsWhenTheSiteEnablesIt) {
  setSite("EnableWhite", "1");
  start();
  const std::string body = "<html><body>\n   <P>a    b</P>\n</body></html>\n" + std::string(1000, ' ');
  EXPECT_EQ(decoded(serve(FakeRequest{}, html(body))), "<html><body> <p>a b</p> </body></html> ");
  FakeResponse only = html(body);
  only.headers.emplace_back("tamsic", "white-space-only");
  Exchange e = serve(FakeRequest{}, only);
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(decoded(e), "<html><body> <p>a b</p> </body></html> ");
}

// --- reloads ---

TEST_F(FilterTest, AReloadAnswersChangesUpdatedAndLaterRequestsUseTheNewSettings) {
  start();
  EXPECT_TRUE(compressed(serve(FakeRequest{}, html(page(2000)))));
  setSite("Disabled", "1");
  FakeRequest reload;
  reload.url = "/rstval=" + settings::ObtainReloadToken().value();
  Exchange r = serve(reload, {});
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.client, "Changes Updated");
  EXPECT_FALSE(compressed(serve(FakeRequest{}, html(page(2000)))));
  FakeRequest wrong = reload;
  wrong.url += "x";
  EXPECT_FALSE(serve(wrong, html(page(2000))).finished);
}

TEST_F(FilterTest, ARequestBoundBeforeAReloadFinishesWithTheOldSettings) {
  start();
  FakeConnection early;
  early.begin(FakeRequest{});
  setSite("Disabled", "1");
  std::thread reloader([&] {
    FakeConnection c;
    FakeRequest reload;
    reload.url = "/rstval=" + settings::ObtainReloadToken().value();
    EXPECT_EQ(c.serve(reload, {}).client, "Changes Updated");
  });
  // Once the slots have switched (the reload then waits for the drain), new requests get
  // the new settings.
  bool switched = false;
  for (int i = 0; i < 200 && !switched; ++i) {
    switched = !compressed(serve(FakeRequest{}, html(page(2000))));
    if (!switched) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(switched);
  Exchange old = early.finish(html(page(2000)));
  EXPECT_TRUE(compressed(old));  // bound before it: the old table, still alive
  // Its end counts the old table down to none, and the drain ends at its next look (every
  // 200 ms), not at its limit of about 20 s.
  const auto ended = std::chrono::steady_clock::now();
  reloader.join();
  EXPECT_LT(std::chrono::steady_clock::now() - ended, std::chrono::seconds(5));
}

TEST_F(FilterTest, AFailedReloadLetsEveryRequestPassUntilALoadSucceeds) {
  start();
  FakeRequest reload;
  reload.url = "/rstval=" + settings::ObtainReloadToken().value();
  UniqueKey site;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSite1, 0, KEY_ALL_ACCESS, site.put()), ERROR_SUCCESS);
  ASSERT_EQ(RegDeleteValueA(site.get(), "MinSize"), ERROR_SUCCESS);  // a missing scalar fails the load
  serve(reload, {});
  EXPECT_FALSE(compressed(serve(FakeRequest{}, html(page(2000)))));
  setSite("MinSize", "800");
  serve(reload, {});
  EXPECT_TRUE(compressed(serve(FakeRequest{}, html(page(2000)))));
}

// A rule's level outside 0-9 makes compression fail after the body was swallowed: the
// client still gets the page, unchanged and with a fitting length.
TEST_F(FilterTest, AFailedCompressionSendsTheCapturedResponseUnchanged) {
  setSite("FileExtensions", ".htm,12");
  setSite("RefreshLog", "Never");
  start();
  const std::string body = page(2000);
  Exchange e = serve(FakeRequest{}, html(body), 100);
  EXPECT_FALSE(compressed(e));
  EXPECT_EQ(decoded(e), body);
  EXPECT_EQ(headerValue(e.client, "Content-Length"), std::to_string(body.size()));
  // Statistics count it with the uncompressed responses, not as a compressed page; the
  // stop writes what is pending.
  ASSERT_TRUE(TerminateFilter(0));
  started_ = false;
  EXPECT_FALSE(std::filesystem::exists(driveC("Inetpub/wwwroot/gziplog/pagestat.txt")));
  EXPECT_NE(readHostFile(driveC("Inetpub/wwwroot/gziplog/sitestat.txt")).find(" 1"), std::string::npos);
}

// A report asked the moment a client has its answer counts that answer: the filter logs a
// response it writes itself before the write (it logged it at the end of the request).
TEST_F(FilterTest, AReportAskedAsTheClientGetsItsAnswerCountsIt) {
  setSite("CacheExt", ".htm");
  start();
  writeHostFile(driveC("Inetpub/wwwroot/tamsicreport/rtemplate.dat"), "[sitestats][pagestats]");
  const auto compressedInReport = [&] {
    FakeConnection other;
    FakeRequest report;
    report.url = "/tamsicreport/report.htm";
    other.serve(report, {});
    const std::string page = readHostFile(driveC("Inetpub/wwwroot/tamsicreport/report.htm"));
    const std::size_t at = page.find("totalCR=");
    return at == std::string::npos ? -1 : std::atoi(page.c_str() + at + 8);
  };
  FakeConnection connection;
  std::vector<int> seen;
  connection.onWriteClient = [&] { seen.push_back(compressedInReport()); };
  const std::string body = page(3000);
  for (int i = 0; i < 2; ++i) {  // compressed, then from the cached copy
    Exchange e = connection.serve(FakeRequest{}, html(body), 1000);
    EXPECT_EQ(decoded(e), body);
  }
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
}

TEST_F(FilterTest, TwoReloadsAtOnceRunOneAfterTheOther) {
  start();
  const std::string token = settings::ObtainReloadToken().value();
  std::vector<std::thread> reloaders;
  for (int i = 0; i < 2; ++i)
    reloaders.emplace_back([&] {
      FakeConnection c;
      FakeRequest reload;
      reload.url = "/rstval=" + token;
      EXPECT_EQ(c.serve(reload, {}).client, "Changes Updated");
    });
  for (auto& r : reloaders) r.join();
  EXPECT_TRUE(compressed(serve(FakeRequest{}, html(page(2000)))));
}

TEST_F(FilterTest, ANotificationTheFilterDidNotAskForPassesOn) {
  start();
  HTTP_FILTER_CONTEXT pfc{};
  EXPECT_EQ(HttpFilterProc(&pfc, SF_NOTIFY_URL_MAP, nullptr), static_cast<DWORD>(SF_STATUS_REQ_NEXT_NOTIFICATION));
}

TEST_F(FilterTest, TerminateEmptiesTheCacheAndDeletesStatisticsOnlyForIisRestart) {
  start();
  serve(FakeRequest{}, html(page(2000)));
  writeHostFile(driveC("Inetpub/wwwroot/gziplog/pagestat.txt"), "x");
  ASSERT_TRUE(TerminateFilter(0));
  started_ = false;
  EXPECT_TRUE(std::filesystem::is_empty(driveC("Inetpub/wwwroot/gzipcache/korvanecompress")));
  EXPECT_FALSE(std::filesystem::exists(driveC("Inetpub/wwwroot/gziplog/pagestat.txt")));
  setSite("RefreshLog", "iis restart");
  start();
  writeHostFile(driveC("Inetpub/wwwroot/gziplog/pagestat.txt"), "x");
  TerminateFilter(0);
  started_ = false;
  EXPECT_TRUE(std::filesystem::exists(driveC("Inetpub/wwwroot/gziplog/pagestat.txt")));
}

}  // namespace
