// The page's "plugin:updater|…" commands, one file each.
#pragma once

#include "bridge/command.hpp"

namespace zorvik::update {

void registerUpdateCommands(bridge::CommandTable& table);

bridge::Command updaterCheckCommand();
bridge::Command updaterDownloadCommand(std::string name, bool install);
bridge::Command updaterInstallCommand();

}  // namespace zorvik::update
