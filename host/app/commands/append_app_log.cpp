#include "app/commands/app_commands.hpp"
#include "host_context.hpp"

namespace zorvik::app {

namespace {
struct Args {
  std::string line;
};
}  // namespace

bridge::Command appendAppLogCommand() {
  return bridge::makeCommand<Args>(
      "append_app_log", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<Args> {
        auto line = r.string("line");
        if (!line) return fail(line.error());
        return Args{std::move(*line)};
      },
      [](const Args& a, HostContext& ctx) -> Result<bridge::Reply> {
        if (auto written = ctx.log.write(a.line); !written) return fail(written.error());
        return bridge::Reply::null();
      });
}

}  // namespace zorvik::app
