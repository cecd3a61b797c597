// "plugin:window|..." commands the page uses on its own window. Every routine
// that touches the window does nothing when there is none.
#include "commands/core_commands.hpp"
#include "host_context.hpp"
#include "platform/window.hpp"

namespace zorvik::commands {

namespace {

template <class Fn>
bridge::Command onWindow(std::string name, Fn fn) {
  return bridge::makeCommand<bridge::NoArgs>(std::move(name), bridge::Mode::Window, bridge::noArgs,
                                             [fn](const bridge::NoArgs&, HostContext& ctx) -> Result<bridge::Reply> {
                                               if (!ctx.window) return bridge::Reply::null();
                                               return fn(*ctx.window);
                                             });
}

}  // namespace

bridge::Command windowShow() {
  return onWindow("plugin:window|show", [](platform::Window& w) -> Result<bridge::Reply> {
    w.show();
    return bridge::Reply::null();
  });
}

bridge::Command windowSetFocus() {
  return onWindow("plugin:window|set_focus", [](platform::Window& w) -> Result<bridge::Reply> {
    w.focus();
    return bridge::Reply::null();
  });
}

void registerWindowQueries(bridge::CommandTable& table) {
  table.add(onWindow("plugin:window|title",
                     [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.title())); }));
  table.add(onWindow("plugin:window|is_focused",
                     [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.isFocused())); }));
  table.add(onWindow("plugin:window|is_maximized", [](platform::Window& w) -> Result<bridge::Reply> {
    return bridge::Reply(Json(w.isMaximized()));
  }));
  table.add(onWindow("plugin:window|internal_toggle_maximize", [](platform::Window& w) -> Result<bridge::Reply> {
    w.toggleMaximize();
    return bridge::Reply::null();
  }));
  table.add(onWindow("plugin:window|scale_factor", [](platform::Window& w) -> Result<bridge::Reply> {
    return bridge::Reply(Json(w.scaleFactor()));
  }));
  table.add(onWindow("plugin:window|inner_size", [](platform::Window& w) -> Result<bridge::Reply> {
    auto [width, height] = w.innerSize();
    return bridge::Reply(Json{{"width", width}, {"height", height}});
  }));
}

bridge::Command windowIsVisible() {
  return onWindow("plugin:window|is_visible",
                  [](platform::Window& w) -> Result<bridge::Reply> { return bridge::Reply(Json(w.isVisible())); });
}

}  // namespace zorvik::commands
