// What a command may use of the running host.
#pragma once

#include "app/config.hpp"
#include "log/app_log.hpp"

namespace zorvik {

namespace platform {
class Window;
}
namespace services {
struct HostServices;
}

struct HostContext {
  const app::Config& config;
  const log::AppLog& log;
  // The window `main`; null without a window (--invoke). Window thread only.
  platform::Window* window = nullptr;
  // The host services (events, stores, ...). Window thread only.
  services::HostServices* services = nullptr;
};

}  // namespace zorvik
