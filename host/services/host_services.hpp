// The host services the page reaches as "plugin:<service>|<command>".
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/desktop.hpp"
#include "platform/os_info.hpp"
#include "services/event_bus.hpp"
#include "services/journal_file.hpp"
#include "services/store_registry.hpp"

namespace zorvik::services {

// Window thread only, but for `journals`, which any thread may use.
struct HostServices {
  EventBus events;
  StoreRegistry stores;
  platform::OsFacts os;
  std::unique_ptr<platform::ScreenKeeper> screen;
  // Restarts the app; unset without a window.
  std::function<Status()> restart;
  std::vector<std::string> openerScope;
  // Runs a function on the window thread from any thread; unset without a window.
  std::function<void(std::function<void()>)> postToWindow;
  // The page's journal files, beside its stores.
  JournalRegistry journals{stores.folderResolver()};
};

// The folder of the page's key-value files: <local data>/<identifier>.
Result<std::filesystem::path> appDataFolder();

// The events page scripts see the OS facts through (plugin:os gives the rest).
std::string osFactsScript(const platform::OsFacts& os);

// The script that opens external links in the default browser instead of the window.
std::string openerClickScript();

// Deep-link URLs among a second launch's arguments (schemes zorvik and tsd-auth).
std::vector<std::string> deepLinkUrls(const std::vector<std::string>& args, const std::vector<std::string>& schemes);

// True when `url` falls within one of the opener's patterns ("https://*", "mailto:*" ...).
bool openerAllows(const std::vector<std::string>& scope, const std::string& url);

}  // namespace zorvik::services
