#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

namespace {
struct LoadArgs {
  std::string path;
  Json defaults;
};
}  // namespace

bridge::Command storeLoadCommand() {
  return bridge::makeCommand<LoadArgs>(
      "plugin:store|load", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<LoadArgs> {
        auto path = r.string("path");
        if (!path) return fail(path.error());
        Json defaults = Json::object();
        if (auto options = r.optValue("options"); options && options->is_object())
          if (auto d = options->find("defaults"); d != options->end() && d->is_object()) defaults = *d;
        return LoadArgs{std::move(*path), std::move(defaults)};
      },
      [](const LoadArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        auto rid = (*s)->stores.load(a.path, a.defaults);
        if (!rid) return fail(rid.error());
        return bridge::Reply(Json(*rid));
      });
}

}  // namespace zorvik::services
