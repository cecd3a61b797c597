// Delayed calls on the window's thread: each runs once from the loop, and a
// dropped handle means the call never runs.
#include <glib.h>
#include <gtest/gtest.h>

#include <chrono>

#include "platform/window.hpp"
#include "test_env.hpp"

namespace zorvik::platform {
namespace {

using namespace std::chrono_literals;

// Runs this thread's loop (the window's thread in these tests) until `done`.
template <class Done>
bool loopUntil(Done done) {
  return testing::eventually([&] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    return done();
  });
}

TEST(PendingCall, RunsOnceFromTheLoopAndItsHandleMayGoAfterwards) {
  int runs = 0;
  auto call = runLaterOnWindowThread(0ms, [&] { ++runs; });
  EXPECT_EQ(runs, 0);  // never inline
  ASSERT_TRUE(loopUntil([&] { return runs > 0; }));
  // A second marker call queued after it has run: the first never comes again.
  bool marker = false;
  auto after = runLaterOnWindowThread(0ms, [&] { marker = true; });
  ASSERT_TRUE(loopUntil([&] { return marker; }));
  EXPECT_EQ(runs, 1);
  // Its source is gone already: dropping the handle now must not touch it
  // (GLib reports removing an unknown source as a critical; fatal here).
  auto fatal = g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
  call.reset();
  g_log_set_always_fatal(fatal);
}

TEST(PendingCall, ADroppedHandleCancelsTheCall) {
  // What the call holds may be gone once the handle is: it must never run.
  bool cancelledRan = false;
  auto cancelled = runLaterOnWindowThread(0ms, [&] { cancelledRan = true; });
  cancelled.reset();
  // A call due no later than the dropped one: once it has run, the dropped one would have too.
  bool marker = false;
  auto after = runLaterOnWindowThread(0ms, [&] { marker = true; });
  ASSERT_TRUE(loopUntil([&] { return marker; }));
  EXPECT_FALSE(cancelledRan);
}

TEST(PendingCall, ACallMayDropItsOwnHandle) {
  std::unique_ptr<PendingCall> self;
  bool ran = false;
  self = runLaterOnWindowThread(0ms, [&] {
    ran = true;
    self.reset();
  });
  ASSERT_TRUE(loopUntil([&] { return ran; }));
  EXPECT_FALSE(self);
}

}  // namespace
}  // namespace zorvik::platform
