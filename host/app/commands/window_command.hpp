// Shared by the "plugin:window|..." commands the page uses on its own window.
#pragma once

#include "bridge/command.hpp"
#include "host_context.hpp"
#include "platform/window.hpp"

namespace zorvik::app {

// A command on the window; it does nothing when there is none (--invoke).
template <class Fn>
bridge::Command onWindow(std::string name, Fn fn) {
  return bridge::makeCommand<bridge::NoArgs>(std::move(name), bridge::Mode::Window, bridge::noArgs,
                                             [fn](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
                                               if (!ctx.window) return bridge::Reply::null();
                                               return fn(*ctx.window);
                                             });
}

}  // namespace zorvik::app
