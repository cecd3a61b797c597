#include "app/commands/app_commands.hpp"

namespace zorvik::app {

void registerAppCommands(bridge::CommandTable& table) {
  table.add(appendAppLogCommand());
  table.add(appLogPathCommand());
  table.add(runningTranslatedCommand());
  table.add(windowShowCommand());
  table.add(windowSetFocusCommand());
  table.add(windowIsVisibleCommand());
  table.add(windowTitleCommand());
  table.add(windowIsFocusedCommand());
  table.add(windowIsMaximizedCommand());
  table.add(windowToggleMaximizeCommand());
  table.add(windowScaleFactorCommand());
  table.add(windowInnerSizeCommand());
}

}  // namespace zorvik::app
