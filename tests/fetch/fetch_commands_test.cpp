#include "fetch/commands/fetch_commands.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <future>

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
using testing::TestServer;

// The process's fetcher is built once; it must trust the test CA from the start.
const bool kTestCaTrusted = [] {
  ::setenv("ZORVIK_TEST_CA_BUNDLE", testing::fetchFixture("ca.pem").c_str(), 1);
  return true;
}();

struct Host {
  testing::TempDir tmp;
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = tmp.path()]() -> Result<std::filesystem::path> { return dir / "logs"; }};
  HostContext ctx{config, log, nullptr};
  bridge::CommandTable table = commands::buildCommandTable();
  bridge::TaskQueue pool{2};
  bridge::Dispatcher dispatcher{table, config.permissions, ctx, nullptr, &pool};

  // As the page calls: the answer comes on whichever thread finished the command.
  std::pair<Result<bridge::Reply>, std::thread::id> dispatch(const std::string& name, const Json& args) {
    std::promise<std::pair<Result<bridge::Reply>, std::thread::id>> answered;
    dispatcher.dispatch(name, args, [&](Result<bridge::Reply> r) {
      answered.set_value({std::move(r), std::this_thread::get_id()});
    });
    return answered.get_future().get();
  }
};

TEST(FetchCommands, LabelFetchRunsOffTheCallingThread) {
  if (!app::flavourHosts().loopback) GTEST_SKIP() << "the compiled-in hosts are not on loopback";
  ASSERT_TRUE(kTestCaTrusted);
  TestServer server("127.0.0.1", true);  // the local file host, over HTTPS
  server.route("/label.pdf", Canned{200, "%PDF-1.7"});
  Host h;
  for (const char* command : {"fetch_label", "fetch_url"}) {
    auto [result, thread] = h.dispatch(command, {{"url", server.base() + "/label.pdf"}});
    ASSERT_TRUE(result) << result.error();
    EXPECT_NE(thread, std::this_thread::get_id());
    Json json = std::get<Json>(result->body);
    EXPECT_EQ(json, (Json{{"bytes", "JVBERi0xLjc="},
                          {"status", 200},
                          {"contentType", "application/pdf"},
                          {"via", "127.0.0.1 → 127.0.0.1:" + std::to_string(server.port()) + ", попытка 1"}}))
        << command;
  }
  // One client for both commands: same host, address and time-out.
  EXPECT_EQ(server.connections(), 1);
}

TEST(FetchCommands, ArgumentsAreCheckedBeforeTheFetch) {
  Host h;
  auto missing = h.dispatcher.call("fetch_label", Json::object());
  ASSERT_FALSE(missing);
  EXPECT_NE(missing.error().find("url"), std::string::npos) << missing.error();
  EXPECT_EQ(h.dispatcher.call("fetch_url", {{"url", "ftp://localhost/x"}}).error(),
            "Недопустимая схема ссылки на этикетку: ftp");
}

}  // namespace
}  // namespace zorvik::fetch
