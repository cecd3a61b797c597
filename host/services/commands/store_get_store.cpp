#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

namespace {
struct PathArgs {
  std::string path;
};
}  // namespace

bridge::Command storeGetStoreCommand() {
  return bridge::makeCommand<PathArgs>(
      "plugin:store|get_store", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<PathArgs> {
        auto path = r.string("path");
        if (!path) return fail(path.error());
        return PathArgs{std::move(*path)};
      },
      [](const PathArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        auto rid = (*s)->stores.find(a.path);
        return bridge::Reply(rid ? Json(*rid) : Json(nullptr));
      });
}

}  // namespace zorvik::services
