// Label fetch, downloads and the page's http service as host commands. Each
// command is one file of this folder; register.cpp adds them.
#pragma once

#include <string>

#include "bridge/command.hpp"

namespace zorvik::fetch {

void registerFetchCommands(bridge::CommandTable& table);

bridge::Command fetchLabelCommand(std::string name);
bridge::Command saveDownloadCommand();
bridge::Command saveUrlDownloadCommand();
bridge::Command fileExistsCommand();
bridge::Command httpFetchCommand();
bridge::Command httpFetchSendCommand();
bridge::Command httpFetchReadBodyCommand();
bridge::Command httpFetchCancelCommand(std::string name);

}  // namespace zorvik::fetch
