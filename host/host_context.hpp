// What a command may use of the running host.
#pragma once

#include "app/config.hpp"
#include "log/app_log.hpp"

namespace zorvik {

namespace platform {
class Window;
}

struct HostContext {
  const app::Config& config;
  const log::AppLog& log;
  // The window `main`; null without a window (--invoke). Window thread only.
  platform::Window* window = nullptr;
};

}  // namespace zorvik
