#include "app/command_line.hpp"

#include <gtest/gtest.h>

namespace zorvik::app {
namespace {

TEST(CommandLine, InvokeTakesNameAndOptionalJson) {
  auto a = parseCommandLine({"--invoke", "app_log_path"}, false);
  ASSERT_TRUE(a);
  EXPECT_EQ(*a->invoke, "app_log_path");
  EXPECT_EQ(a->invokeArgs, "{}");

  auto b = parseCommandLine({"--invoke", "append_app_log", R"({"line":"x"})"}, false);
  ASSERT_TRUE(b);
  EXPECT_EQ(b->invokeArgs, R"({"line":"x"})");

  EXPECT_FALSE(parseCommandLine({"--invoke"}, false));
}

TEST(CommandLine, TestSwitchesOnlyInTestBuilds) {
  for (const char* sw : {"--automation", "--no-page-show"}) {
    auto refused = parseCommandLine({sw}, false);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), std::string(sw) + " is not available in this build");
    EXPECT_TRUE(parseCommandLine({sw}, true));
  }
}

TEST(CommandLine, OtherArgumentsAreKeptForTheRunningInstance) {
  auto cl = parseCommandLine({"tsd-auth://pin/1234", "--automation"}, true);
  ASSERT_TRUE(cl);
  EXPECT_TRUE(cl->automation);
  EXPECT_EQ(cl->rest, std::vector<std::string>{"tsd-auth://pin/1234"});
}

}  // namespace
}  // namespace zorvik::app
