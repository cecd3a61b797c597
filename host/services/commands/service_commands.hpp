// The host services the page reaches as "plugin:<service>|<command>". Each
// command is one file of this folder; register.cpp adds them to the table.
#pragma once

#include <string_view>

#include "bridge/command.hpp"

namespace zorvik::services {

void registerServiceCommands(bridge::CommandTable& table);

bridge::Command appBundleTypeCommand();
bridge::Command appHostVersionCommand();
bridge::Command appIdentifierCommand();
bridge::Command appListenerCommand(std::string_view name);
bridge::Command appNameCommand();
bridge::Command appSupportsMultipleWindowsCommand();
bridge::Command appVersionCommand();
bridge::Command deepLinkGetCurrentCommand();
bridge::Command eventEmitCommand();
bridge::Command eventEmitToCommand();
bridge::Command eventListenCommand();
bridge::Command eventUnlistenCommand();
bridge::Command keepScreenOnCommand();
bridge::Command openerOpenUrlCommand();
bridge::Command openerRevealItemInDirCommand();
bridge::Command osArchCommand();
bridge::Command osExeExtensionCommand();
bridge::Command osFamilyCommand();
bridge::Command osHostnameCommand();
bridge::Command osLocaleCommand();
bridge::Command osPlatformCommand();
bridge::Command osTypeCommand();
bridge::Command osVersionCommand();
bridge::Command processRestartCommand();
bridge::Command resourcesCloseCommand();
bridge::Command journalChangeCommand();
bridge::Command journalCloseCommand();
bridge::Command journalOpenCommand();
bridge::Command storeClearCommand();
bridge::Command storeDeleteCommand();
bridge::Command storeEntriesCommand();
bridge::Command storeGetCommand();
bridge::Command storeGetStoreCommand();
bridge::Command storeHasCommand();
bridge::Command storeKeysCommand();
bridge::Command storeLengthCommand();
bridge::Command storeLoadCommand();
bridge::Command storeReloadCommand();
bridge::Command storeResetCommand();
bridge::Command storeSaveCommand();
bridge::Command storeSetCommand();
bridge::Command storeValuesCommand();

}  // namespace zorvik::services
