#include "fetch/http_service.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "app/config.hpp"
#include "bridge/dispatcher.hpp"
#include "bridge/task_queue.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "test_env.hpp"
#include "test_server.hpp"

namespace zorvik::fetch {
namespace {

using testing::Canned;
using testing::eventually;
using testing::TestServer;

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(HttpService, ScopeIsCheckedOnTheParsedUrl) {
  HttpService http({"https://files.test/*", "https://app.test/*", "http://127.0.0.1:*/*"}, std::nullopt);
  struct Case {
    std::string url;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"https://files.test/labels/1.pdf", true},
      {"https://FILES.test/", true},
      {"https://files.test:443/x", true},
      {"http://127.0.0.1:8787/get-token", true},
      {"https://files.test:8443/x", false},  // no port in the pattern: the default port only
      {"http://files.test/x", false},        // the scheme is part of the scope
      {"https://evil.test/x", false},
      {"https://files.test@evil.test/x", false},
      {"https://files.test.evil.test/x", false},
      {"https://files.test./x", false},
      {"https://files.test\\@evil.test/x", false},
      {"https://fіles.test/x", false},
      {"http://127.0.0.2:8787/x", false},
      {"http://2130706433:8787/x", true},  // the same address, written as a number
  };
  for (const auto& c : cases) {
    auto checked = http.checkScope(c.url);
    EXPECT_EQ(bool(checked), c.allowed) << c.url;
    if (!checked) {
      EXPECT_NE(checked.error().find("not allowed on the configured scope"), std::string::npos);
    }
  }
  EXPECT_EQ(http.checkScope("ftp://files.test/x").error(), "scheme ftp not supported");
  EXPECT_FALSE(http.open(HttpRequest{"GET", "https://evil.test/x"}));
  EXPECT_EQ(http.openCount(), 0u);
}

TEST(HttpService, RequestHeadAndStreamedBody) {
  TestServer server;
  std::string big(3 << 20, 'b');  // more than the unread limit: the transfer waits for the reader
  server.route("/big", Canned{200, big, "application/pdf", {{"X-Label", "1"}}});
  server.route("/echo", Canned{.echo = true});
  HttpService http({"http://127.0.0.1:*/*"}, std::nullopt);

  auto rid = http.open(HttpRequest{"GET", server.base() + "/big", {{"Accept", "application/pdf"}}});
  ASSERT_TRUE(rid) << rid.error();
  auto head = http.send(*rid);
  ASSERT_TRUE(head) << head.error();
  EXPECT_EQ((*head)["status"], 200);
  EXPECT_EQ((*head)["statusText"], "OK");
  EXPECT_EQ((*head)["rid"], *rid);
  EXPECT_NE((*head)["headers"].dump().find(R"(["X-Label","1"])"), std::string::npos) << head->dump();
  std::string body;
  for (;;) {
    auto chunk = http.readBody(*rid);
    ASSERT_TRUE(chunk) << chunk.error();
    if (chunk->empty()) break;
    body += text(*chunk);
  }
  EXPECT_EQ(body.size(), big.size());
  EXPECT_EQ(body, big);
  EXPECT_EQ(http.openCount(), 0u);
  EXPECT_EQ(server.requests().front().headers["accept"], "application/pdf");
  EXPECT_EQ(server.requests().front().headers["user-agent"], "zorvik-mobile/0.66.2");

  HttpRequest post{"POST", server.base() + "/echo", {{"Content-Type", "application/json"}}, {'{', '}'}};
  auto postRid = http.open(post);
  ASSERT_TRUE(postRid);
  ASSERT_TRUE(http.send(*postRid));
  EXPECT_EQ(text(*http.readBody(*postRid)), "POST {}");
  EXPECT_TRUE(http.readBody(*postRid)->empty());
}

TEST(HttpService, RefusedAndFailedRequests) {
  HttpService http({"http://127.0.0.1:*/*"}, std::nullopt);
  EXPECT_EQ(http.open(HttpRequest{"GE T", "http://127.0.0.1:1/x"}).error(), "invalid method GE T");
  EXPECT_EQ(http.open(HttpRequest{"GET", "http://127.0.0.1:1/x", {{"X", "a\r\nInjected: 1"}}}).error(),
            "invalid header X");
  std::uint16_t port;
  {
    TestServer gone;
    port = gone.port();
  }
  auto rid = http.open(HttpRequest{"GET", "http://127.0.0.1:" + std::to_string(port) + "/x"});
  ASSERT_TRUE(rid);
  auto head = http.send(*rid);
  ASSERT_FALSE(head);
  EXPECT_TRUE(head.error().starts_with("error sending request for url (http://127.0.0.1:" + std::to_string(port)))
      << head.error();
  EXPECT_EQ(http.openCount(), 0u);
  EXPECT_EQ(http.send(*rid).error(), "unknown request id " + std::to_string(*rid));
}

TEST(HttpService, CancelStopsTheTransfer) {
  TestServer server;
  server.route("/held", Canned{200, "first part", "application/pdf", {}, false, /*hold=*/true});
  HttpService http({"http://127.0.0.1:*/*"}, std::nullopt);
  auto rid = http.open(HttpRequest{"GET", server.base() + "/held"});
  ASSERT_TRUE(rid);
  ASSERT_TRUE(http.send(*rid));
  EXPECT_EQ(text(*http.readBody(*rid)), "first part");
  http.cancel(*rid);
  EXPECT_EQ(http.openCount(), 0u);
  EXPECT_TRUE(eventually([&] { return server.abandoned() == 1; }));
  http.cancel(*rid);  // again: nothing left to cancel, not an error
}

TEST(HttpCommands, PageCallsGoThroughTheBridgeWithinTheCompiledInScope) {
  if (!app::flavourHosts().loopback) GTEST_SKIP() << "the compiled-in hosts are not on loopback";
  testing::TempDir tmp;
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = tmp.path()]() -> Result<std::filesystem::path> { return dir / "logs"; }};
  HostContext ctx{config, log, nullptr};
  bridge::CommandTable table = commands::buildCommandTable();
  bridge::TaskQueue pool(2);
  bridge::Dispatcher dispatcher{table, config.permissions, ctx, nullptr, &pool};

  TestServer server;  // plain http on 127.0.0.1, the local file host
  server.route("/label.pdf", Canned{200, "%PDF"});

  auto rid = dispatcher.call("plugin:http|fetch", {{"method", "GET"}, {"url", server.base() + "/label.pdf"},
                                                   {"connectTimeout", 30000}});
  ASSERT_TRUE(rid) << rid.error();
  // fetch_send waits for the network: it runs on the pool, off the calling thread.
  std::promise<std::pair<Result<bridge::Reply>, std::thread::id>> answered;
  dispatcher.dispatch("plugin:http|fetch_send", {{"rid", std::get<Json>(rid->body)}}, [&](Result<bridge::Reply> r) {
    answered.set_value({std::move(r), std::this_thread::get_id()});
  });
  auto [head, thread] = answered.get_future().get();
  ASSERT_TRUE(head) << head.error();
  EXPECT_NE(thread, std::this_thread::get_id());
  EXPECT_EQ(std::get<Json>(head->body)["status"], 200);
  auto body = dispatcher.call("plugin:http|fetch_read_body", {{"rid", std::get<Json>(rid->body)}});
  ASSERT_TRUE(body) << body.error();
  EXPECT_EQ(text(std::get<Bytes>(body->body)), "%PDF");
  EXPECT_TRUE(dispatcher.call("plugin:http|fetch_cancel_body", {{"rid", std::get<Json>(rid->body)}}));

  auto refused = dispatcher.call("plugin:http|fetch", {{"url", "https://evil.test/x"}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), "url not allowed on the configured scope: https://evil.test/x");
  EXPECT_FALSE(dispatcher.call("plugin:http|fetch", {{"url", server.base() + "/x"}, {"headers", "nope"}}));
}

}  // namespace
}  // namespace zorvik::fetch
