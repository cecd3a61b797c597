// plugin:store — the page's persistent key-value files — and plugin:resources|close.
#include "services/service_command.hpp"

namespace zorvik::services {

namespace {

struct Rid {
  std::uint32_t rid;
};
struct RidKey {
  std::uint32_t rid;
  std::string key;
};
struct RidKeyValue {
  std::uint32_t rid;
  std::string key;
  Json value;
};
struct LoadArgs {
  std::string path;
  Json defaults;
};
struct PathArgs {
  std::string path;
};

Result<std::uint32_t> readRid(const bridge::ArgReader& r) {
  auto v = r.integer("rid");
  if (!v) return fail(v.error());
  if (*v < 0 || *v > 0xffffffffLL) return fail(r.invalid("rid", "out of range"));
  return static_cast<std::uint32_t>(*v);
}

Result<Rid> parseRid(const bridge::ArgReader& r) {
  auto rid = readRid(r);
  if (!rid) return fail(rid.error());
  return Rid{*rid};
}

Result<RidKey> parseRidKey(const bridge::ArgReader& r) {
  auto rid = readRid(r);
  if (!rid) return fail(rid.error());
  auto key = r.string("key");
  if (!key) return fail(key.error());
  return RidKey{*rid, std::move(*key)};
}

Result<KeyValueStore*> storeOf(HostContext& ctx, std::uint32_t rid) {
  auto s = servicesOf(ctx);
  if (!s) return fail(s.error());
  return (*s)->stores.get(rid);
}

Result<bridge::Reply> done(const Status& s) {
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

template <class Fn>
bridge::Command onKey(std::string_view name, Fn fn) {
  return bridge::makeCommand<RidKey>(pluginName("store", name), bridge::Mode::Window, parseRidKey,
                                     [fn](const RidKey& a, HostContext& ctx) -> Result<bridge::Reply> {
                                       auto store = storeOf(ctx, a.rid);
                                       if (!store) return fail(store.error());
                                       return fn(**store, a.key);
                                     });
}

}  // namespace

void registerStoreCommands(bridge::CommandTable& table) {
  table.add(bridge::makeCommand<LoadArgs>(
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
      }));
  table.add(bridge::makeCommand<PathArgs>(
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
      }));
  table.add(onKey("get", [](KeyValueStore& s, const std::string& key) -> Result<bridge::Reply> {
    auto v = s.get(key);
    return bridge::Reply(Json{{"value", v ? *v : Json(nullptr)}, {"exists", v.has_value()}});
  }));
  table.add(bridge::makeCommand<RidKeyValue>(
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
      }));
  table.add(onKey("has", [](KeyValueStore& s, const std::string& key) -> Result<bridge::Reply> {
    return bridge::Reply(Json(s.has(key)));
  }));
  table.add(onKey("delete", [](KeyValueStore& s, const std::string& key) -> Result<bridge::Reply> {
    auto removed = s.remove(key);
    if (!removed) return fail(removed.error());
    return bridge::Reply(Json(*removed));
  }));
  table.add(onStore("clear", [](KeyValueStore& s) { return done(s.clear()); }));
  table.add(onStore("reset", [](KeyValueStore& s) { return done(s.reset()); }));
  table.add(onStore("reload", [](KeyValueStore& s) { return done(s.reload()); }));
  table.add(onStore("save", [](KeyValueStore& s) { return done(s.save()); }));
  table.add(onStore("keys", [](KeyValueStore& s) -> Result<bridge::Reply> {
    Json out = Json::array();
    for (const auto& [k, v] : s.data().items()) out.push_back(k);
    return bridge::Reply(std::move(out));
  }));
  table.add(onStore("values", [](KeyValueStore& s) -> Result<bridge::Reply> {
    Json out = Json::array();
    for (const auto& [k, v] : s.data().items()) out.push_back(v);
    return bridge::Reply(std::move(out));
  }));
  table.add(onStore("entries", [](KeyValueStore& s) -> Result<bridge::Reply> {
    Json out = Json::array();
    for (const auto& [k, v] : s.data().items()) out.push_back(Json::array({k, v}));
    return bridge::Reply(std::move(out));
  }));
  table.add(onStore("length", [](KeyValueStore& s) -> Result<bridge::Reply> {
    return bridge::Reply(Json(s.data().size()));
  }));
  table.add(bridge::makeCommand<Rid>(
      "plugin:resources|close", bridge::Mode::Window, parseRid,
      [](const Rid& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        (*s)->stores.close(a.rid);
        return bridge::Reply::null();
      }));
}

}  // namespace zorvik::services
