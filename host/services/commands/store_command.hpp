// Shared by the plugin:store commands: resource ids, keys, the open store.
#pragma once

#include "services/commands/service_command.hpp"

namespace zorvik::services {

struct Rid {
  std::uint32_t rid;
};
struct RidKey {
  std::uint32_t rid;
  std::string key;
};

inline Result<std::uint32_t> readRid(const bridge::ArgReader& r) {
  auto v = r.integer("rid");
  if (!v) return fail(v.error());
  if (*v < 0 || *v > 0xffffffffLL) return fail(r.invalid("rid", "out of range"));
  return static_cast<std::uint32_t>(*v);
}

inline Result<Rid> parseRid(const bridge::ArgReader& r) {
  auto rid = readRid(r);
  if (!rid) return fail(rid.error());
  return Rid{*rid};
}

inline Result<RidKey> parseRidKey(const bridge::ArgReader& r) {
  auto rid = readRid(r);
  if (!rid) return fail(rid.error());
  auto key = r.string("key");
  if (!key) return fail(key.error());
  return RidKey{*rid, std::move(*key)};
}

inline Result<KeyValueStore*> storeOf(HostContext& ctx, std::uint32_t rid) {
  auto s = servicesOf(ctx);
  if (!s) return fail(s.error());
  return (*s)->stores.get(rid);
}

inline Result<bridge::Reply> done(const Status& s) {
  if (!s) return fail(s.error());
  return bridge::Reply::null();
}

// A command on one open store.
template <class Fn>
bridge::Command onStore(std::string_view name, Fn fn) {
  return bridge::makeCommand<Rid>(pluginName("store", name), bridge::Mode::Window, parseRid,
                                  [fn](const Rid& a, HostContext& ctx) -> Result<bridge::Reply> {
                                    auto store = storeOf(ctx, a.rid);
                                    if (!store) return fail(store.error());
                                    return fn(**store);
                                  });
}

// A command on one key of an open store.
template <class Fn>
bridge::Command onKey(std::string_view name, Fn fn) {
  return bridge::makeCommand<RidKey>(pluginName("store", name), bridge::Mode::Window, parseRidKey,
                                     [fn](const RidKey& a, HostContext& ctx) -> Result<bridge::Reply> {
                                       auto store = storeOf(ctx, a.rid);
                                       if (!store) return fail(store.error());
                                       return fn(**store, a.key);
                                     });
}

}  // namespace zorvik::services
