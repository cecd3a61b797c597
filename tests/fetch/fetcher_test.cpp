#include "fetch/fetcher.hpp"

#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

#include "fetch/text.hpp"
#include "test_server.hpp"

namespace zorvik::fetch {
namespace {

using testing::Canned;
using testing::TestServer;

const std::vector<std::string> kAllowed = {"files.test", "app.test", "shop.test"};

// Every name resolves to the given addresses; records what was asked.
// Fetches on several threads resolve at once, as a real resolver allows.
struct FakeDns {
  std::vector<std::string> addresses = {"127.0.0.1"};
  std::vector<std::string> asked;
  std::mutex mutex;
  Resolver resolver() {
    return [this](const std::string& host) -> Result<std::vector<std::string>> {
      std::lock_guard lock(mutex);
      asked.push_back(host);
      return addresses;
    };
  }
};

FetcherOptions options(FakeDns& dns, bool trustTestCa = true) {
  FetcherOptions o{kAllowed, dns.resolver(), std::nullopt};
  if (trustTestCa) o.caBundle = testing::fetchFixture("ca.pem");
  return o;
}

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(Fetcher, AllowedHostInUpperCaseIsFetchedOverHttps) {
  TestServer server("127.0.0.1", true);
  server.route("/label.pdf", Canned{200, "%PDF-1.4 label"});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  std::string port = std::to_string(server.port());

  auto result = fetcher.fetch("https://FILES.TEST:" + port + "/label.pdf");
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(text(result->body), "%PDF-1.4 label");
  EXPECT_EQ(result->head.status, 200);
  EXPECT_EQ(result->head.contentType, "application/pdf");
  EXPECT_EQ(result->head.via, "FILES.TEST → 127.0.0.1:" + port + ", попытка 1");

  Json json = toJson(*result);
  EXPECT_EQ(json["bytes"], base64(result->body));
  EXPECT_EQ(json["status"], 200);
  EXPECT_EQ(json["contentType"], "application/pdf");
  EXPECT_EQ(json["via"], result->head.via);

  // The request still names the host (TLS and the Host header), and says who asks.
  ASSERT_EQ(server.requestCount(), 1);
  auto seen = server.requests().front();
  EXPECT_EQ(seen.headers["host"], "FILES.TEST:" + port);
  EXPECT_EQ(seen.headers["user-agent"], "zorvik-mobile/0.66.2");
  EXPECT_EQ(dns.asked, std::vector<std::string>{"FILES.TEST"});
}

TEST(Fetcher, RefusesBeforeAnyConnection) {
  // Every name would resolve to this server: a refused URL must never reach it.
  TestServer server;
  server.route("/x", Canned{200, "secret"});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  const std::string p = ":" + std::to_string(server.port());
  struct Case {
    std::string url;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"ftp://files.test/x", "Недопустимая схема ссылки на этикетку: ftp"},
      {"file:///etc/passwd", "Недопустимая схема ссылки на этикетку: file"},
      {"files.test/x", "Некорректная ссылка: Bad scheme"},
      {"http://files.test" + p + "/a b", "Некорректная ссылка: Bad path"},
      {"http://evil.test" + p + "/x", "Домен evil.test не разрешен для скачивания этикетки"},
      // userinfo that looks like the allowed host
      {"http://files.test@evil.test" + p + "/x", "Домен evil.test не разрешен для скачивания этикетки"},
      {"http://files.test" + p + "@evil.test/x", "Домен evil.test не разрешен для скачивания этикетки"},
      // the allowed host as a label of another domain, or with a trailing dot
      {"http://files.test.evil.test" + p + "/x", "Домен files.test.evil.test не разрешен для скачивания этикетки"},
      {"http://files.test." + p + "/x", "Домен files.test. не разрешен для скачивания этикетки"},
      // look-alikes: Cyrillic "і", its punycode form, fullwidth letters, the Kelvin sign
      {"http://fіles.test" + p + "/x", "Домен fіles.test не разрешен для скачивания этикетки"},
      {"http://xn--fles-s2d.test" + p + "/x", "Домен xn--fles-s2d.test не разрешен для скачивания этикетки"},
      {"http://ｆｉｌｅｓ.test" + p + "/x", "Домен ｆｉｌｅｓ.test не разрешен для скачивания этикетки"},
      {"http://files.tes\u212A" + p + "/x", "Домен files.tes\u212A не разрешен для скачивания этикетки"},
      // a backslash: the authority ends only at "/", so this host is evil.test
      {"http://files.test\\@evil.test" + p + "/x", "Домен evil.test не разрешен для скачивания этикетки"},
      {"http://evil.test\\files.test" + p + "/x", "Некорректная ссылка: Bad hostname"},
      // percent-encoding in the host is decoded before the check
      {"http://files.test%2Eevil.test" + p + "/x", "Домен files.test.evil.test не разрешен для скачивания этикетки"},
      {"http://files.test%40evil.test" + p + "/x", "Некорректная ссылка: Bad hostname"},
      {"http://files.test%00.evil" + p + "/x", "Некорректная ссылка: Bad hostname"},
      // IP literals are not names, whatever they resolve to
      {"http://127.0.0.1" + p + "/x", "Домен 127.0.0.1 не разрешен для скачивания этикетки"},
      {"http://2130706433" + p + "/x", "Домен 127.0.0.1 не разрешен для скачивания этикетки"},
      {"http://[::1]" + p + "/x", "Домен [::1] не разрешен для скачивания этикетки"},
      // a fragment cannot carry the host
      {"http://evil.test" + p + "#@files.test/x", "Домен evil.test не разрешен для скачивания этикетки"},
  };
  for (const auto& c : cases) {
    auto result = fetcher.fetch(c.url);
    ASSERT_FALSE(result) << c.url;
    EXPECT_EQ(result.error(), c.error) << c.url;
  }
  EXPECT_TRUE(dns.asked.empty());
  EXPECT_EQ(server.connections(), 0);
  EXPECT_EQ(fetcher.clientCount(), 0u);
}

TEST(Fetcher, PercentEncodedAllowedHostReachesOnlyThatHost) {
  TestServer server;
  server.route("/x", Canned{200, "ok"});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  auto result = fetcher.fetch("http://files%2Etest:" + std::to_string(server.port()) + "/x");
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(dns.asked, std::vector<std::string>{"files.test"});
  EXPECT_EQ(server.requests().front().headers["host"], "files.test:" + std::to_string(server.port()));
}

TEST(Fetcher, FallsOverToTheNextAddressAndTriesItFirstNextTime) {
  TestServer server;  // 127.0.0.1 only; nothing listens on 127.0.0.3
  server.route("/label.pdf", Canned{200, "pdf"});
  FakeDns dns;
  dns.addresses = {"127.0.0.3", "127.0.0.1"};
  Fetcher fetcher(options(dns));
  std::string url = "http://files.test:" + std::to_string(server.port()) + "/label.pdf";

  auto first = fetcher.fetch(url);
  ASSERT_TRUE(first) << first.error();
  EXPECT_EQ(first->head.via, "files.test → 127.0.0.1:" + std::to_string(server.port()) + ", попытка 2");

  auto second = fetcher.fetch(url);
  ASSERT_TRUE(second) << second.error();
  EXPECT_EQ(second->head.via, "files.test → 127.0.0.1:" + std::to_string(server.port()) + ", попытка 1");
  // One client per address tried, kept with its open connection.
  EXPECT_EQ(fetcher.clientCount(), 2u);
  EXPECT_EQ(server.connections(), 1);

  // A failure of the remembered address does not forget it: with it gone,
  // the other address answers, and is then remembered instead.
  TestServer other("127.0.0.4", false, server.port());
  other.route("/label.pdf", Canned{200, "pdf"});
  dns.addresses = {"127.0.0.4", "127.0.0.5"};
  auto third = fetcher.fetch(url);
  ASSERT_TRUE(third) << third.error();
  EXPECT_EQ(third->head.via, "files.test → 127.0.0.4:" + std::to_string(server.port()) + ", попытка 1");
}

TEST(Fetcher, StatusAndEmptyBodiesAreResultsNotErrors) {
  TestServer server;
  server.route("/empty", Canned{200, "", ""});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  std::string base = "http://app.test:" + std::to_string(server.port());

  auto missing = fetcher.fetch(base + "/missing");
  ASSERT_TRUE(missing) << missing.error();
  EXPECT_EQ(missing->head.status, 404);
  EXPECT_EQ(missing->head.contentType, "text/plain");

  auto empty = fetcher.fetch(base + "/empty");
  ASSERT_TRUE(empty) << empty.error();
  EXPECT_EQ(empty->head.status, 200);
  EXPECT_EQ(toJson(*empty)["bytes"], "");
  EXPECT_EQ(toJson(*empty)["contentType"], "");  // no header at all
}

TEST(Fetcher, ResultKeysComeInTheirOwnOrder) {
  LabelFetchResult r;
  r.body = {'%'};
  r.head = {200, "application/pdf", "v"};
  EXPECT_EQ(toJson(r).dump(), R"({"bytes":"JQ==","status":200,"contentType":"application/pdf","via":"v"})");
}

// A body that never ends stops at the limit with an error, and the client
// (its pooled handle and connection) still works afterwards.
TEST(Fetcher, AnEndlessBodyStopsAtTheLimit) {
  TestServer server;
  server.route("/endless", Canned{.endless = true});
  server.route("/label.pdf", Canned{200, "%PDF-1.4"});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  std::string base = "http://files.test:" + std::to_string(server.port());
  auto endless = fetcher.fetch(base + "/endless");
  ASSERT_FALSE(endless);
  EXPECT_EQ(endless.error(), "Файл больше 64 МБ — скачивание остановлено");
  EXPECT_EQ(endless.error(), bodyTooLarge());
  auto next = fetcher.fetch(base + "/label.pdf");
  ASSERT_TRUE(next) << next.error();
  EXPECT_EQ(text(next->body), "%PDF-1.4");
}

// What a receiver throws (running out of memory, say) never crosses libcurl:
// the fetch fails with a message, and the next one works.
TEST(Fetcher, AThrowingReceiverBecomesAnError) {
  TestServer server;
  server.route("/label.pdf", Canned{200, "%PDF-1.4"});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  std::string url = "http://files.test:" + std::to_string(server.port()) + "/label.pdf";
  for (bool inHead : {true, false}) {
    ResponseSink sink;
    if (inHead) sink.onHead = [](const ResponseHead&) -> Status { throw std::bad_alloc(); };
    else sink.onChunk = [](std::span<const std::uint8_t>) -> Status { throw std::bad_alloc(); };
    auto got = fetcher.get(url, kLabelTimeout, sink);
    ASSERT_FALSE(got);
    EXPECT_EQ(got.error(), "Не удалось принять ответ сервера: std::bad_alloc");
  }
  auto next = fetcher.fetch(url);
  ASSERT_TRUE(next) << next.error();
  EXPECT_EQ(text(next->body), "%PDF-1.4");
}

TEST(Fetcher, ContentTypeThatIsNotPlainTextReadsAsEmpty) {
  TestServer server;
  server.route("/odd", Canned{200, "x", "application/pdf; name=\"\xd1\x84.pdf\""});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  auto result = fetcher.fetch("http://app.test:" + std::to_string(server.port()) + "/odd");
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(result->head.contentType, "");
}

TEST(Fetcher, RedirectsAreNotFollowed) {
  TestServer elsewhere;
  elsewhere.route("/x", Canned{200, "elsewhere"});
  TestServer server;
  server.route("/x", Canned{302, "", "", {{"Location", elsewhere.base() + "/x"}}});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  auto result = fetcher.fetch("http://files.test:" + std::to_string(server.port()) + "/x");
  ASSERT_TRUE(result) << result.error();
  EXPECT_EQ(result->head.status, 302);
  EXPECT_EQ(elsewhere.connections(), 0);
}

TEST(Fetcher, EveryAddressFailingGivesOneErrorNamingEach) {
  std::uint16_t port;
  {
    TestServer gone;
    port = gone.port();
  }
  FakeDns dns;
  dns.addresses = {"127.0.0.3", "127.0.0.4"};
  Fetcher fetcher(options(dns));
  std::string url = "http://files.test:" + std::to_string(port) + "/label.pdf";
  auto result = fetcher.fetch(url);
  ASSERT_FALSE(result);
  const std::string& e = result.error();
  std::string prefix = "error sending request for url (" + url + "): адреса не отвечают — 127.0.0.3: ";
  EXPECT_EQ(e.substr(0, prefix.size()), prefix) << e;
  auto second = e.find("; 127.0.0.4: ");
  ASSERT_NE(second, std::string::npos) << e;
  // Each line is the error and its causes, down to the system's own text.
  for (auto line : {e.substr(0, second), e.substr(second)}) {
    EXPECT_NE(line.find("Couldn't connect to server ← "), std::string::npos) << line;
    EXPECT_TRUE(line.ends_with("Connection refused") || line.find("Connection refused;") != std::string::npos)
        << line;
  }
}

TEST(Fetcher, ResolverFailuresHaveTheirOwnTexts) {
  FetcherOptions o{kAllowed, [](const std::string&) -> Result<std::vector<std::string>> {
                     return fail("Name or service not known");
                   }};
  Fetcher failing(o);
  EXPECT_EQ(failing.fetch("https://shop.test/x").error(), "Не удалось разрешить имя shop.test: Name or service not known");

  FakeDns dns;
  dns.addresses = {};
  Fetcher empty(options(dns));
  EXPECT_EQ(empty.fetch("https://shop.test/x").error(), "DNS не вернул ни одного адреса для shop.test");
}

TEST(Fetcher, SystemResolverResolvesLiteralsAndLocalhost) {
  auto literal = systemResolver()("127.0.0.2");
  ASSERT_TRUE(literal) << literal.error();
  EXPECT_EQ(*literal, std::vector<std::string>{"127.0.0.2"});
  auto local = systemResolver()("localhost");
  ASSERT_TRUE(local) << local.error();
  EXPECT_FALSE(local->empty());
}

TEST(Fetcher, CertificateFromAnUntrustedAuthorityFailsEveryAddress) {
  TestServer server("127.0.0.1", true);
  server.route("/x", Canned{200, "x"});
  FakeDns dns;
  dns.addresses = {"127.0.0.1", "127.0.0.1"};
  Fetcher fetcher(options(dns, /*trustTestCa=*/false));
  auto result = fetcher.fetch("https://files.test:" + std::to_string(server.port()) + "/x");
  ASSERT_FALSE(result);
  EXPECT_NE(result.error().find("certificate"), std::string::npos) << result.error();
  // A TLS failure moves on to the next address.
  EXPECT_EQ(server.connections(), 2);
  EXPECT_EQ(server.requestCount(), 0);
}

TEST(Fetcher, BodyCutShortIsReportedAsSuch) {
  TestServer server;
  server.route("/cut", Canned{200, "partial", "application/pdf", {}, /*truncate=*/true});
  FakeDns dns;
  dns.addresses = {"127.0.0.1", "127.0.0.1"};
  Fetcher fetcher(options(dns));
  auto result = fetcher.fetch("http://files.test:" + std::to_string(server.port()) + "/cut");
  ASSERT_FALSE(result);
  EXPECT_TRUE(result.error().starts_with("Файл скачался не до конца: ")) << result.error();
  EXPECT_NE(result.error().find(" ← "), std::string::npos) << result.error();
  // The address answered: no second attempt.
  EXPECT_EQ(server.requestCount(), 1);
}

TEST(Fetcher, ConcurrentFetchesShareOneClient) {
  TestServer server("127.0.0.1", true);
  server.route("/label.pdf", Canned{200, std::string(100000, 'x')});
  FakeDns dns;
  Fetcher fetcher(options(dns));
  std::string url = "https://files.test:" + std::to_string(server.port()) + "/label.pdf";
  std::vector<std::future<Result<LabelFetchResult>>> running;
  for (int i = 0; i < 6; ++i) running.push_back(std::async(std::launch::async, [&] { return fetcher.fetch(url); }));
  for (auto& f : running) {
    auto r = f.get();
    ASSERT_TRUE(r) << r.error();
    EXPECT_EQ(r->body.size(), 100000u);
  }
  EXPECT_EQ(fetcher.clientCount(), 1u);
  // Later fetches reuse the open connections instead of connecting again.
  int before = server.connections();
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(fetcher.fetch(url));
  EXPECT_EQ(server.connections(), before);
}

TEST(Fetcher, Base64IsStandardWithPadding) {
  struct Case {
    std::string in, out;
  };
  for (const auto& c : std::vector<Case>{{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"\xff\xfe", "//4="}}) {
    Bytes b(c.in.begin(), c.in.end());
    EXPECT_EQ(base64(b), c.out);
  }
}

}  // namespace
}  // namespace zorvik::fetch
