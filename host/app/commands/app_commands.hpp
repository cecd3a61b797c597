// The host's own commands: its log, its window, platform facts. Each command
// is one file of this folder; register.cpp adds them to the table.
#pragma once

#include "bridge/command.hpp"

namespace zorvik::app {

void registerAppCommands(bridge::CommandTable& table);

bridge::Command appendAppLogCommand();
bridge::Command appLogPathCommand();
bridge::Command runningTranslatedCommand();
bridge::Command windowShowCommand();
bridge::Command windowSetFocusCommand();
bridge::Command windowIsVisibleCommand();
bridge::Command windowTitleCommand();
bridge::Command windowIsFocusedCommand();
bridge::Command windowIsMaximizedCommand();
bridge::Command windowToggleMaximizeCommand();
bridge::Command windowScaleFactorCommand();
bridge::Command windowInnerSizeCommand();

}  // namespace zorvik::app
