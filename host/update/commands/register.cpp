#include "update/commands/update_commands.hpp"

namespace zorvik::update {

void registerUpdateCommands(bridge::CommandTable& table) {
  table.add(updaterCheckCommand());
  table.add(updaterDownloadCommand("plugin:updater|download", false));
  table.add(updaterDownloadCommand("plugin:updater|download_and_install", true));
  table.add(updaterInstallCommand());
}

}  // namespace zorvik::update
