#include "services/commands/service_commands.hpp"

namespace zorvik::services {

void registerServiceCommands(bridge::CommandTable& table) {
  table.add(appBundleTypeCommand());
  table.add(appHostVersionCommand());
  table.add(appIdentifierCommand());
  table.add(appListenerCommand("register_listener"));
  table.add(appListenerCommand("remove_listener"));
  table.add(appNameCommand());
  table.add(appSupportsMultipleWindowsCommand());
  table.add(appVersionCommand());
  table.add(deepLinkGetCurrentCommand());
  table.add(eventEmitCommand());
  table.add(eventEmitToCommand());
  table.add(eventListenCommand());
  table.add(eventUnlistenCommand());
  table.add(journalChangeCommand());
  table.add(journalCloseCommand());
  table.add(journalOpenCommand());
  table.add(keepScreenOnCommand());
  table.add(openerOpenUrlCommand());
  table.add(openerRevealItemInDirCommand());
  table.add(osArchCommand());
  table.add(osExeExtensionCommand());
  table.add(osFamilyCommand());
  table.add(osHostnameCommand());
  table.add(osLocaleCommand());
  table.add(osPlatformCommand());
  table.add(osTypeCommand());
  table.add(osVersionCommand());
  table.add(processRestartCommand());
  table.add(resourcesCloseCommand());
  table.add(storeClearCommand());
  table.add(storeDeleteCommand());
  table.add(storeEntriesCommand());
  table.add(storeGetCommand());
  table.add(storeGetStoreCommand());
  table.add(storeHasCommand());
  table.add(storeKeysCommand());
  table.add(storeLengthCommand());
  table.add(storeLoadCommand());
  table.add(storeReloadCommand());
  table.add(storeResetCommand());
  table.add(storeSaveCommand());
  table.add(storeSetCommand());
  table.add(storeValuesCommand());
}

}  // namespace zorvik::services
