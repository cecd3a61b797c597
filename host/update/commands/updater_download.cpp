#include "host_context.hpp"
#include "platform/window.hpp"
#include "services/host_services.hpp"
#include "update/commands/update_commands.hpp"
#include "update/process_updater.hpp"

namespace zorvik::update {

namespace {
struct Args {
  std::optional<std::int64_t> onEvent;  // the page callback that receives the progress events
};

// Hands each event to the page callback on the window thread; without a window they are dropped.
std::function<void(const DownloadEvent&)> eventSender(const Args& a, HostContext& ctx) {
  if (!a.onEvent || !ctx.services || !ctx.services->postToWindow) return {};
  auto post = ctx.services->postToWindow;
  const auto handler = *a.onEvent;
  return [post, handler, &ctx](const DownloadEvent& event) {
    std::string script = "window.__ZORVIK__ && window.__ZORVIK__.runCallback(" + std::to_string(handler) + ", " +
                         toJson(event).dump() + ");";
    post([&ctx, script = std::move(script)] {
      if (ctx.window) ctx.window->evaluateScript(script);
    });
  };
}
}  // namespace

bridge::Command updaterDownloadCommand(std::string name, bool install) {
  return bridge::makeCommand<Args>(
      std::move(name), bridge::Mode::Async,
      [](const bridge::ArgReader& r) -> Result<Args> {
        auto onEvent = r.optInteger("onEvent");
        if (!onEvent) return fail(onEvent.error());
        return Args{*onEvent};
      },
      [install](const Args& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto& updater = processUpdater(ctx.config);
        auto events = eventSender(a, ctx);
        auto done = install ? updater.downloadAndInstall(events) : updater.download(events);
        if (!done) return fail(done.error());
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::update
