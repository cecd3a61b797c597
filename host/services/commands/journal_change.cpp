#include "services/commands/service_commands.hpp"
#include "services/commands/store_command.hpp"

namespace zorvik::services {

namespace {
struct ChangeArgs {
  std::uint32_t rid;
  Json put;
  std::vector<std::string> remove;
};
}  // namespace

// One record of a journal: {rid, put: {key: value}, del: [key]}; answers once
// it is on the disk. Off the window's thread: the page's writes follow one
// another, each waiting for the one before.
bridge::Command journalChangeCommand() {
  return bridge::makeCommand<ChangeArgs>(
      "plugin:journal|change", bridge::Mode::Async,
      [](const bridge::ArgReader& r) -> Result<ChangeArgs> {
        auto rid = readRid(r);
        if (!rid) return fail(rid.error());
        ChangeArgs args{*rid, Json::object(), {}};
        if (auto put = r.optValue("put"); put && !put->is_null()) {
          if (!put->is_object()) return fail(r.invalid("put", "expected an object"));
          args.put = std::move(*put);
        }
        if (auto del = r.optValue("del"); del && !del->is_null()) {
          if (!del->is_array()) return fail(r.invalid("del", "expected an array of keys"));
          for (const Json& key : *del) {
            if (!key.is_string()) return fail(r.invalid("del", "expected an array of keys"));
            args.remove.push_back(key.get<std::string>());
          }
        }
        return args;
      },
      [](const ChangeArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto s = servicesOf(ctx);
        if (!s) return fail(s.error());
        return done((*s)->journals.change(a.rid, a.put, a.remove));
      });
}

}  // namespace zorvik::services
