// The host's command table as the page sees it: every name, where it runs, and
// that every host service the host registers is one the page is granted.
#include <gtest/gtest.h>

#include <set>
#include <tuple>

#include "app/permissions.hpp"
#include "bridge/command.hpp"
#include "commands/command_set.hpp"

namespace zorvik::bridge {
namespace {

struct Entry {
  std::string name;
  Mode mode;
  std::string lane;
  auto operator<=>(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Entry& e) {
  return out << e.name << " mode " << static_cast<int>(e.mode) << " lane '" << e.lane << "'";
}

TEST(CommandTable, EveryCommandKeepsItsNameAndItsThread) {
  // The page and the end-to-end tests call these names; a command that moves
  // from one thread to another changes what may block the window.
  constexpr Mode W = Mode::Window, S = Mode::Serial, A = Mode::Async;
  const std::set<Entry> expected = {
      {"app_log_path", W, ""},
      {"append_app_log", W, ""},
      {"running_translated", W, ""},
      {"plugin:window|show", W, ""},
      {"plugin:window|set_focus", W, ""},
      {"plugin:window|is_visible", W, ""},
      {"plugin:window|title", W, ""},
      {"plugin:window|is_focused", W, ""},
      {"plugin:window|is_maximized", W, ""},
      {"plugin:window|internal_toggle_maximize", W, ""},
      {"plugin:window|scale_factor", W, ""},
      {"plugin:window|inner_size", W, ""},
      {"plugin:app|name", W, ""},
      {"plugin:app|version", W, ""},
      {"plugin:app|identifier", W, ""},
      {"plugin:app|host_version", W, ""},
      {"plugin:app|bundle_type", W, ""},
      {"plugin:app|supports_multiple_windows", W, ""},
      {"plugin:app|register_listener", W, ""},
      {"plugin:app|remove_listener", W, ""},
      {"plugin:deep-link|get_current", W, ""},
      {"plugin:event|listen", W, ""},
      {"plugin:event|unlisten", W, ""},
      {"plugin:event|emit", W, ""},
      {"plugin:event|emit_to", W, ""},
      {"plugin:journal|open", A, ""},
      {"plugin:journal|change", A, ""},
      {"plugin:journal|close", A, ""},
      {"plugin:keep-screen-on|keep_screen_on", W, ""},
      {"plugin:opener|open_url", W, ""},
      {"plugin:opener|reveal_item_in_dir", W, ""},
      {"plugin:os|arch", W, ""},
      {"plugin:os|exe_extension", W, ""},
      {"plugin:os|family", W, ""},
      {"plugin:os|hostname", W, ""},
      {"plugin:os|locale", W, ""},
      {"plugin:os|os_type", W, ""},
      {"plugin:os|platform", W, ""},
      {"plugin:os|version", W, ""},
      {"plugin:process|restart", W, ""},
      {"plugin:resources|close", W, ""},
      {"plugin:store|clear", W, ""},
      {"plugin:store|delete", W, ""},
      {"plugin:store|entries", W, ""},
      {"plugin:store|get", W, ""},
      {"plugin:store|get_store", W, ""},
      {"plugin:store|has", W, ""},
      {"plugin:store|keys", W, ""},
      {"plugin:store|length", W, ""},
      {"plugin:store|load", W, ""},
      {"plugin:store|reload", W, ""},
      {"plugin:store|reset", W, ""},
      {"plugin:store|save", W, ""},
      {"plugin:store|set", W, ""},
      {"plugin:store|values", W, ""},
      {"plugin:updater|check", A, ""},
      {"plugin:updater|download", A, ""},
      {"plugin:updater|download_and_install", A, ""},
      {"plugin:updater|install", S, "update"},
      {"check_print_engine", S, ""},
      {"get_printers", A, ""},
      {"get_page_size", A, ""},
      {"set_page_size", S, ""},
      {"print_file", S, ""},
      {"print_bytes", S, ""},
      {"render_test_page", W, ""},
      {"print_test_page", S, ""},
      {"crypto_available", S, "signing"},
      {"set_crypto_dir", S, "signing"},
      {"crypto_diagnose", S, "signing"},
      {"list_certificates", S, "signing"},
      {"sign_auth_data", S, "signing"},
      {"sign_document", S, "signing"},
      {"fetch_label", A, ""},
      {"fetch_url", A, ""},
      {"save_download", W, ""},
      {"save_url_download", A, ""},
      {"file_exists", W, ""},
      {"plugin:http|fetch", W, ""},
      {"plugin:http|fetch_send", A, ""},
      {"plugin:http|fetch_read_body", A, ""},
      {"plugin:http|fetch_cancel", W, ""},
      {"plugin:http|fetch_cancel_body", W, ""},
  };
  const CommandTable table = commands::buildCommandTable();
  std::set<Entry> registered;
  for (const Command* c : table.all()) registered.insert({c->name, c->mode, c->lane});
  for (const auto& e : expected) EXPECT_TRUE(registered.contains(e)) << "missing or changed: " << e;
  for (const auto& e : registered) EXPECT_TRUE(expected.contains(e)) << "not in the list: " << e;
}

TEST(CommandTable, EveryHostServiceTheHostRegistersIsGrantedToThePage) {
  // A "plugin:<service>|<command>" without a grant in app/permissions.cpp is
  // refused before it runs: registered but unreachable.
  const app::Permissions granted = app::pagePermissions();
  const CommandTable table = commands::buildCommandTable();
  for (const Command* c : table.all()) {
    std::string_view name = c->name;
    if (!name.starts_with("plugin:")) continue;  // the host's own commands need no grant
    auto bar = name.find('|');
    ASSERT_NE(bar, std::string_view::npos) << name;
    EXPECT_TRUE(granted.allows(name.substr(7, bar - 7), name.substr(bar + 1))) << name;
  }
}

}  // namespace
}  // namespace zorvik::bridge
