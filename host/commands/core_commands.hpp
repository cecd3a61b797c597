// The host's own commands that belong to the spine (log, window, platform facts).
#pragma once

#include "bridge/command.hpp"

namespace zorvik::commands {

bridge::Command appendAppLog();
bridge::Command appLogPath();
bridge::Command runningTranslated();
bridge::Command windowShow();
bridge::Command windowSetFocus();
bridge::Command windowIsVisible();
void registerWindowQueries(bridge::CommandTable& table);

void registerCoreCommands(bridge::CommandTable& table);

}  // namespace zorvik::commands
