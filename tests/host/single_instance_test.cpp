// One process per user: a later launch reaches the first through its socket, and
// a first process that no longer answers never swallows a launch.
#include <glib.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

#include "platform/single_instance.hpp"
#include "test_env.hpp"

namespace zorvik::platform {
namespace {

using zorvik::testing::eventually;
using zorvik::testing::ScopedEnv;
using zorvik::testing::TempDir;

// Runs this thread's GLib loop (where the first process's listener answers)
// until `done` holds; false when it never does.
template <class Done>
bool loopUntil(Done done) {
  return eventually([&] {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    return done();
  });
}

template <class T>
bool ready(std::future<T>& f) {
  return f.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

constexpr const char* kId = "com.example.zorvik-instance-test";

class SingleInstanceTest : public ::testing::Test {
 protected:
  TempDir runtime;
  ScopedEnv env{"XDG_RUNTIME_DIR", runtime.path().string()};
};

TEST_F(SingleInstanceTest, TheFirstClaimsAndALaterLaunchIsHandedToItWithItsArguments) {
  auto first = claimInstance(kId, {{"one"}, "/"});
  ASSERT_TRUE(first) << first.error();
  ASSERT_TRUE(first->primary);
  EXPECT_FALSE(first->forwarded);

  std::optional<Launch> received;
  first->primary->listen([&](Launch l) { received = std::move(l); });
  auto second = std::async(std::launch::async, [] { return claimInstance(kId, {{"tsd-auth://pin/1234"}, "/home/picker"}); });
  ASSERT_TRUE(loopUntil([&] { return ready(second); }));

  auto claim = second.get();
  ASSERT_TRUE(claim) << claim.error();
  EXPECT_TRUE(claim->forwarded);
  EXPECT_FALSE(claim->primary);
  // The launch may still be on its way to the callback when the sender has its answer.
  ASSERT_TRUE(loopUntil([&] { return received.has_value(); }));
  EXPECT_EQ(received->args, std::vector<std::string>{"tsd-auth://pin/1234"});
  EXPECT_EQ(received->cwd, "/home/picker");
}

TEST_F(SingleInstanceTest, ALaunchDuringTheFirstProcessShutdownTakesOverInsteadOfBeingLost) {
  // A first process whose loop has ended: its socket still accepts, nobody reads.
  auto first = claimInstance(kId, {{}, "/"});
  ASSERT_TRUE(first && first->primary);
  auto second = std::async(std::launch::async, [] { return claimInstance(kId, {{"again"}, "/"}); });
  // Whether the later launch connects before or after the first one goes, it
  // must end up the owner; the pause only makes "before" the likely order.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  first->primary.reset();

  ASSERT_TRUE(eventually([&] { return ready(second); }));
  auto claim = second.get();
  ASSERT_TRUE(claim) << claim.error();
  EXPECT_FALSE(claim->forwarded);
  ASSERT_TRUE(claim->primary);

  // And it answers the launch after it.
  std::optional<Launch> received;
  claim->primary->listen([&](Launch l) { received = std::move(l); });
  auto third = std::async(std::launch::async, [] { return claimInstance(kId, {{"third"}, "/"}); });
  ASSERT_TRUE(loopUntil([&] { return ready(third); }));
  ASSERT_TRUE(third.get()->forwarded);
}

TEST_F(SingleInstanceTest, ALeftoverSocketOfADeadProcessIsTakenOver) {
  // A crashed process leaves its socket file behind with nobody listening.
  auto path = runtime.path() / (std::string(kId) + "-" + std::to_string(getuid()) + ".sock");
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr), 0);
  ::close(fd);
  ASSERT_TRUE(std::filesystem::exists(path));

  auto claim = claimInstance(kId, {{}, "/"});
  ASSERT_TRUE(claim) << claim.error();
  EXPECT_TRUE(claim->primary);
}

}  // namespace
}  // namespace zorvik::platform
