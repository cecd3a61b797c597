#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

namespace {
struct RidKeyValue {
  std::uint32_t rid;
  std::string key;
  Json value;
};
}  // namespace

bridge::Command storeSetCommand() {
  return bridge::makeCommand<RidKeyValue>(
      "plugin:store|set", bridge::Mode::Window,
      [](const bridge::ArgReader& r) -> Result<RidKeyValue> {
        auto rk = parseRidKey(r);
        if (!rk) return fail(rk.error());
        return RidKeyValue{rk->rid, std::move(rk->key), r.optValue("value").value_or(Json(nullptr))};
      },
      [](const RidKeyValue& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto store = storeOf(ctx, a.rid);
        if (!store) return fail(store.error());
        return done((*store)->set(a.key, a.value));
      });
}

}  // namespace zorvik::services
