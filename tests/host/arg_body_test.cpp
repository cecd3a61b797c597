#include "bridge/arg_body.hpp"

#include <gtest/gtest.h>

#include "app/config.hpp"
#include "bridge/dispatcher.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "test_env.hpp"

namespace zorvik::bridge {
namespace {

std::string nested(std::size_t levels, std::string_view inner = "1") {
  return std::string(levels, '[') + std::string(inner) + std::string(levels, ']');
}

TEST(ArgBody, NestingIsLimitedBeforeAnythingIsBuilt) {
  struct Case {
    std::string body;
    std::string error;  // empty: accepted
  };
  const std::string tooDeep = "nested deeper than 256 levels";
  const std::vector<Case> cases{
      // What crashed the host: an event payload and a store value 100,000 levels deep.
      {R"({"event":"x","payload":)" + nested(100000) + "}",
       "invalid args `payload` for command `c`: " + tooDeep},
      {R"({"rid":1,"key":"k","value":)" + std::string(100000, '{').substr(0, 0) + nested(50000, "{}") + "}",
       "invalid args `value` for command `c`: " + tooDeep},
      {nested(100000), "invalid args for command `c`: " + tooDeep},
      // The argument object itself is the first level.
      {R"({"v":)" + nested(255) + "}", ""},
      {R"({"v":)" + nested(256) + "}", "invalid args `v` for command `c`: " + tooDeep},
  };
  for (const Case& c : cases) {
    auto parsed = parseArgBody("c", c.body);
    if (c.error.empty()) {
      EXPECT_TRUE(parsed) << parsed.error();
    } else {
      ASSERT_FALSE(parsed);
      EXPECT_EQ(parsed.error(), c.error);
    }
  }
}

TEST(ArgBody, AKeyGivenTwiceIsRefused) {
  auto twice = parseArgBody("print_bytes", R"({"data":[1],"format":{"widthMm":58,"heightMm":40,"widthMm":40}})");
  ASSERT_FALSE(twice);
  EXPECT_EQ(twice.error(), "invalid args `format` for command `print_bytes`: the key `widthMm` is given twice");
  auto topLevel = parseArgBody("append_app_log", R"({"line":"a","line":"b"})");
  ASSERT_FALSE(topLevel);
  EXPECT_EQ(topLevel.error(), "invalid args `line` for command `append_app_log`: the key `line` is given twice");
  // The same key in different objects is no repetition.
  auto separate = parseArgBody("c", R"({"a":{"x":1},"b":{"x":2},"c":[{"x":1},{"x":2}]})");
  ASSERT_TRUE(separate) << separate.error();
  EXPECT_EQ((*separate)["b"]["x"], 2);
}

TEST(ArgBody, EmptyTextAndTextThatIsNotJson) {
  EXPECT_EQ(*parseArgBody("c", ""), Json::object());
  auto broken = parseArgBody("c", R"({"a": )");
  ASSERT_FALSE(broken);
  EXPECT_TRUE(broken.error().starts_with("invalid args for command `c`: the body is not JSON: ")) << broken.error();
}

// Results reach the page with their keys in the order the command wrote them.
TEST(ArgBody, ResultObjectsKeepTheirKeyOrder) {
  testing::TempDir tmp;
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = tmp.path()]() -> Result<std::filesystem::path> { return dir / "logs"; }};
  HostContext ctx{config, log, nullptr};
  CommandTable table = commands::buildCommandTable();
  Dispatcher dispatcher{table, config.permissions, ctx, nullptr, nullptr};
  testing::ScopedEnv path("PATH", std::string("/nonexistent"));
  auto status = dispatcher.call("crypto_available", Json::object());
  ASSERT_TRUE(status) << status.error();
  const Json& json = std::get<Json>(status->body);
  std::vector<std::string> keys;
  for (const auto& [key, value] : json.items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"available", "certmgrPath", "cryptcpPath", "version", "searched",
                                            "csptestPath"}));
  // Arguments keep the page's order too.
  EXPECT_EQ(parseArgBody("c", R"({"z":1,"a":2})")->dump(), R"({"z":1,"a":2})");
}

}  // namespace
}  // namespace zorvik::bridge
