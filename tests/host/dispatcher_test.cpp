#include "bridge/dispatcher.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <condition_variable>
#include <mutex>

#include "app/config.hpp"
#include "bridge/task_queue.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "test_env.hpp"

namespace zorvik::bridge {
namespace {

namespace fs = std::filesystem;

struct Host {
  testing::TempDir tmp;
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = tmp.path()]() -> Result<fs::path> { return dir / "logs"; }};
  HostContext ctx{config, log, nullptr};
  CommandTable table = commands::buildCommandTable();
  Dispatcher dispatcher{table, config.permissions, ctx, nullptr, nullptr};
};

TEST(Dispatcher, UnknownCommandIsRefusedWithItsName) {
  Host h;
  EXPECT_EQ(h.dispatcher.call("nope", Json::object()).error(), "Command nope not found");
  // Names are compared exactly.
  EXPECT_EQ(h.dispatcher.call("App_Log_Path", Json::object()).error(), "Command App_Log_Path not found");
}

TEST(Dispatcher, CoreCommandsAnswer) {
  Host h;
  EXPECT_EQ(std::get<Json>(h.dispatcher.call("running_translated", {})->body), Json(false));
  auto path = h.dispatcher.call("app_log_path", {});
  ASSERT_TRUE(path);
  EXPECT_EQ(std::get<Json>(path->body), (h.tmp.path() / "logs" / "startup.log").string());
  EXPECT_FALSE(fs::exists(h.tmp.path() / "logs"));
  ASSERT_TRUE(h.dispatcher.call("append_app_log", {{"line", "hello"}}));
  EXPECT_TRUE(fs::exists(h.tmp.path() / "logs" / "startup.log"));
  // Window commands do nothing without a window.
  EXPECT_EQ(std::get<Json>(h.dispatcher.call("plugin:window|show", {})->body), Json(nullptr));
}

TEST(Dispatcher, WrongArgumentsAreRefusedBeforeTheCommandRuns) {
  Host h;
  std::atomic<int> runs = 0;
  struct Args {
    std::int64_t copies;
  };
  h.table.add(makeCommand<Args>(
      "probe", Mode::Window,
      [](const ArgReader& r) -> Result<Args> {
        auto c = r.integer("copies");
        if (!c) return fail(c.error());
        return Args{*c};
      },
      [&runs](const Args&, HostContext&) -> Result<Reply> {
        ++runs;
        return Reply::null();
      }));
  auto wrong = h.dispatcher.call("probe", {{"copies", "two"}});
  ASSERT_FALSE(wrong);
  EXPECT_EQ(wrong.error(), "invalid args `copies` for command `probe`: invalid type: string, expected an integer");
  EXPECT_FALSE(h.dispatcher.call("probe", Json::object()));
  EXPECT_FALSE(h.dispatcher.call("append_app_log", {{"line", 12}}));
  EXPECT_EQ(runs, 0);
  EXPECT_TRUE(h.dispatcher.call("probe", {{"copies", 2}}));
  EXPECT_EQ(runs, 1);
}

TEST(Dispatcher, PagePermissionsGateHostServices) {
  Host h;
  auto openPath = h.dispatcher.call("plugin:opener|open_path", {{"path", "/etc"}});
  ASSERT_FALSE(openPath);
  EXPECT_NE(openPath.error().find("not allowed"), std::string::npos);
  EXPECT_FALSE(h.dispatcher.call("plugin:haptics|impact_feedback", {}));
  EXPECT_FALSE(h.dispatcher.call("plugin:window|close", {}));
  // Granted, but the desktop has no such service.
  EXPECT_EQ(h.dispatcher.call("plugin:barcode-scanner|scan", {}).error(), "plugin barcode-scanner not found");
  EXPECT_EQ(h.dispatcher.call("plugin:window", {}).error(), "Command plugin:window not found");
}

TEST(Dispatcher, CommandExceptionsBecomeErrors) {
  Host h;
  h.table.add(makeCommand<NoArgs>("throws", Mode::Window, noArgs, [](const NoArgs&, HostContext&) -> Result<Reply> {
    throw std::runtime_error("boom");
  }));
  EXPECT_EQ(h.dispatcher.call("throws", {}).error(), "boom");
}

// Blocking commands run off the calling thread, one at a time, in arrival order.
TEST(Dispatcher, SerialCommandsFinishInArrivalOrder) {
  Host h;
  TaskQueue serial(1), pool(2);
  Dispatcher d(h.table, h.config.permissions, h.ctx, &serial, &pool);
  const auto caller = std::this_thread::get_id();
  std::atomic<bool> offThread = true;
  struct Args {
    std::int64_t n;
  };
  h.table.add(makeCommand<Args>(
      "slow", Mode::Serial,
      [](const ArgReader& r) -> Result<Args> { return Args{*r.integer("n")}; },
      [&](const Args& a, HostContext&) -> Result<Reply> {
        if (std::this_thread::get_id() == caller) offThread = false;
        return Reply(Json(a.n));
      }));
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::int64_t> order;
  for (int i = 0; i < 20; ++i)
    d.dispatch("slow", {{"n", i}}, [&](Result<Reply> r) {
      std::lock_guard lock(m);
      order.push_back(std::get<Json>(r->body).get<std::int64_t>());
      cv.notify_one();
    });
  std::unique_lock lock(m);
  ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return order.size() == 20; }));
  for (int i = 0; i < 20; ++i) EXPECT_EQ(order[i], i);
  EXPECT_TRUE(offThread);
}

TEST(Dispatcher, ABlockedLaneDoesNotHoldUpAnother) {
  Host h;
  TaskQueue serial(1), pool(2);
  std::promise<void> release;
  auto released = release.get_future().share();
  h.table.add(inLane("signing", makeCommand<NoArgs>("hangs", Mode::Serial, noArgs,
                                                    [released](const NoArgs&, HostContext&) -> Result<Reply> {
                                                      released.wait();
                                                      return Reply::null();
                                                    })));
  h.table.add(makeCommand<NoArgs>("prints", Mode::Serial, noArgs,
                                  [](const NoArgs&, HostContext&) -> Result<Reply> { return Reply(Json("printed")); }));
  std::promise<void> hungDone;
  std::promise<Result<Reply>> printed;
  {
    Dispatcher d(h.table, h.config.permissions, h.ctx, &serial, &pool);
    d.dispatch("hangs", {}, [&](Result<Reply>) { hungDone.set_value(); });
    d.dispatch("prints", {}, [&](Result<Reply> r) { printed.set_value(std::move(r)); });
    auto fut = printed.get_future();
    ASSERT_EQ(fut.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(std::get<Json>(fut.get()->body), "printed");
    release.set_value();
  }
  hungDone.get_future().wait();
}

TEST(Dispatcher, ArgumentErrorsOfQueuedCommandsAnswerAtOnce) {
  Host h;
  TaskQueue serial(1), pool(2);
  Dispatcher d(h.table, h.config.permissions, h.ctx, &serial, &pool);
  h.table.add(makeCommand<NoArgs>("later", Mode::Async, noArgs,
                                  [](const NoArgs&, HostContext&) -> Result<Reply> { return Reply(Bytes{1, 2}); }));
  std::optional<Result<Reply>> got;
  d.dispatch("nope", {}, [&](Result<Reply> r) { got = std::move(r); });
  ASSERT_TRUE(got);  // answered synchronously, nothing queued
  EXPECT_EQ(got->error(), "Command nope not found");

  std::promise<Result<Reply>> done;
  d.dispatch("later", {}, [&](Result<Reply> r) { done.set_value(std::move(r)); });
  auto fut = done.get_future();
  ASSERT_EQ(fut.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(std::get<Bytes>(fut.get()->body), (Bytes{1, 2}));
}

}  // namespace
}  // namespace zorvik::bridge
