#include <gtest/gtest.h>

#include "app/config.hpp"
#include "bridge/dispatcher.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "services/host_services.hpp"
#include "test_env.hpp"

namespace zorvik::services {
namespace {

namespace fs = std::filesystem;

struct Host {
  testing::TempDir tmp;
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = tmp.path()]() -> Result<fs::path> { return dir / "logs"; }};
  std::vector<std::string> scripts;
  HostServices services{EventBus([this](const std::string& s) { scripts.push_back(s); }),
                        StoreRegistry([dir = tmp.path()]() -> Result<fs::path> { return dir; }),
                        platform::osFacts(), nullptr, nullptr, config.openerScope};
  HostContext ctx{config, log, nullptr, &services};
  bridge::CommandTable table = commands::buildCommandTable();
  bridge::Dispatcher d{table, config.permissions, ctx, nullptr, nullptr};

  Json call(std::string_view name, const Json& args = Json::object()) {
    auto r = d.call(name, args);
    EXPECT_TRUE(r) << name << ": " << (r ? "" : r.error());
    return r ? std::get<Json>(r->body) : Json();
  }
};

TEST(Permissions, RefusesWhatThePageWasNotGranted) {
  Host h;
  struct Case {
    const char* command;
    const char* error;
  };
  for (auto c : {Case{"plugin:opener|open_path", "not allowed"}, Case{"plugin:haptics|impact_feedback", "not allowed"},
                 Case{"plugin:haptics|notification_feedback", "not allowed"},
                 Case{"plugin:window|close", "not allowed"}, Case{"plugin:window|set_size", "not allowed"},
                 Case{"plugin:store|compact", "not allowed"},
                 // Granted but not served by this host: its own not-found text.
                 Case{"plugin:window|current_monitor", "Command plugin:window|current_monitor not found"},
                 Case{"plugin:barcode-scanner|scan", "plugin barcode-scanner not found"},
                 Case{"plugin:tray|new", "plugin tray not found"}}) {
    auto r = h.d.call(c.command, Json::object());
    ASSERT_FALSE(r) << c.command;
    EXPECT_NE(r.error().find(c.error), std::string::npos) << c.command << ": " << r.error();
  }
}

TEST(StoreCommands, RoundTripThroughTheBridge) {
  Host h;
  auto rid = h.call("plugin:store|load", {{"path", "credentials.dat"}});
  h.call("plugin:store|set", {{"rid", rid}, {"key", "token"}, {"value", {{"a", 1}}}});
  EXPECT_EQ(h.call("plugin:store|get", {{"rid", rid}, {"key", "token"}}),
            (Json{{"value", {{"a", 1}}}, {"exists", true}}));
  EXPECT_EQ(h.call("plugin:store|get", {{"rid", rid}, {"key", "nope"}}), (Json{{"value", nullptr}, {"exists", false}}));
  EXPECT_EQ(h.call("plugin:store|keys", {{"rid", rid}}), Json::array({"token"}));
  EXPECT_EQ(h.call("plugin:store|length", {{"rid", rid}}), 1);
  EXPECT_EQ(h.call("plugin:store|get_store", {{"path", "credentials.dat"}}), rid);
  h.call("plugin:resources|close", {{"rid", rid}});
  EXPECT_FALSE(h.d.call("plugin:store|get", {{"rid", rid}, {"key", "token"}}));
  EXPECT_EQ(h.call("plugin:store|get_store", {{"path", "credentials.dat"}}), Json(nullptr));
  EXPECT_FALSE(h.d.call("plugin:store|load", {{"path", "../escape.dat"}}));
}

TEST(EventCommands, DeliverToListenersUntilUnlistened) {
  Host h;
  auto id = h.call("plugin:event|listen", {{"event", "deep-link://new-url"}, {"handler", 7}});
  h.services.events.emit("deep-link://new-url", Json::array({"tsd-auth://pin/1234"}));
  ASSERT_EQ(h.scripts.size(), 1u);
  EXPECT_NE(h.scripts[0].find("runCallback(7, "), std::string::npos);
  EXPECT_NE(h.scripts[0].find("tsd-auth://pin/1234"), std::string::npos);
  h.call("plugin:event|emit", {{"event", "other"}, {"payload", 1}});
  EXPECT_EQ(h.scripts.size(), 1u);  // nobody listens to "other"
  h.call("plugin:event|unlisten", {{"event", "deep-link://new-url"}, {"eventId", id}});
  h.services.events.emit("deep-link://new-url", Json::array());
  EXPECT_EQ(h.scripts.size(), 1u);
}

TEST(EventCommands, PayloadCannotBreakOutOfTheScript) {
  auto script = eventDeliveryScript(1, "e", 2, Json("</script>\u2028'); alert(1); //"));
  EXPECT_EQ(script.find("\u2028"), std::string::npos);
  EXPECT_NE(script.find("\\u2028"), std::string::npos);
}

TEST(DeepLinks, OnlyTheTwoSchemesAreForwarded) {
  std::vector<std::string> schemes = {"zorvik", "tsd-auth"};
  EXPECT_EQ(deepLinkUrls({"--flag", "tsd-auth://pin/1", "zorvik://tour/x", "https://x", "zorvik:", "tsd-authx://a"},
                         schemes),
            (std::vector<std::string>{"tsd-auth://pin/1", "zorvik://tour/x"}));
  // A scheme is the same in any letter case; the link is forwarded as it came.
  EXPECT_EQ(deepLinkUrls({"TSD-AUTH://pin/1234", "Zorvik://tour/x", "TSD-AUTHX://pin/1"}, schemes),
            (std::vector<std::string>{"TSD-AUTH://pin/1234", "Zorvik://tour/x"}));
}

TEST(Opener, ScopeAllowsOnlyWebMailAndPhoneLinks) {
  Host h;
  for (const char* ok : {"https://example.test/a", "http://x", "mailto:a@b.c", "tel:+7900"})
    EXPECT_TRUE(openerAllows(h.config.openerScope, ok)) << ok;
  for (const char* no : {"file:///etc/passwd", "javascript:alert(1)", "http://", "smb://host/share", "zorvik://x"})
    EXPECT_FALSE(openerAllows(h.config.openerScope, no)) << no;
  auto refused = h.d.call("plugin:opener|open_url", {{"url", "file:///etc/passwd"}});
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), "Эту ссылку нельзя открыть: file:///etc/passwd");
}

TEST(OsCommands, AnswerThisMachinesFacts) {
  Host h;
  EXPECT_EQ(h.call("plugin:os|os_type"), "linux");
  EXPECT_EQ(h.call("plugin:os|family"), "unix");
  EXPECT_EQ(h.call("plugin:os|exe_extension"), "");
  EXPECT_FALSE(h.call("plugin:os|arch").get<std::string>().empty());
  EXPECT_EQ(h.call("plugin:app|version"), "0.66.2");
  EXPECT_EQ(h.call("plugin:app|identifier"), "com.quennix.zorvik-mobile");
}

}  // namespace
}  // namespace zorvik::services
