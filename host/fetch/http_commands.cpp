// plugin:http|fetch, fetch_send, fetch_read_body, fetch_cancel, fetch_cancel_body.
//   fetch           {method?, url, headers?: [[name, value]], body?: bytes, connectTimeout?: ms, timeout?: ms} → rid
//   fetch_send      {rid} → {status, statusText, url, headers, rid}
//   fetch_read_body {rid} → raw bytes received since the last call; none at the end
//   fetch_cancel, fetch_cancel_body {rid} → null
#include "fetch/fetch_commands.hpp"
#include "fetch/http_service.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

namespace {

struct RidArgs {
  std::uint32_t rid = 0;
};

Result<RidArgs> parseRid(const bridge::ArgReader& r) {
  auto rid = r.integer("rid");
  if (!rid) return fail(rid.error());
  if (*rid < 0 || *rid > 0xffffffffLL) return fail(r.invalid("rid", "out of range"));
  return RidArgs{static_cast<std::uint32_t>(*rid)};
}

Result<HttpRequest> parseRequest(const bridge::ArgReader& r) {
  HttpRequest q;
  auto url = r.string("url");
  if (!url) return fail(url.error());
  q.url = std::move(*url);
  auto method = r.optString("method");
  if (!method) return fail(method.error());
  if (*method) q.method = **method;
  if (auto headers = r.optValue("headers")) {
    auto bad = [&] { return r.invalid("headers", "expected an array of [name, value] pairs of strings"); };
    if (!headers->is_array()) return fail(bad());
    for (const auto& pair : *headers) {
      if (!pair.is_array() || pair.size() != 2 || !pair[0].is_string() || !pair[1].is_string()) return fail(bad());
      q.headers.emplace_back(pair[0].get<std::string>(), pair[1].get<std::string>());
    }
  }
  if (r.optValue("body")) {
    auto body = r.bytes("body");
    if (!body) return fail(body.error());
    q.body = std::move(*body);
  }
  auto connect = r.optInteger("connectTimeout");
  if (!connect) return fail(connect.error());
  q.connectTimeoutMs = *connect;
  auto whole = r.optInteger("timeout");
  if (!whole) return fail(whole.error());
  q.timeoutMs = *whole;
  return q;
}

}  // namespace

void registerHttpCommands(bridge::CommandTable& table) {
  table.add(bridge::makeCommand<HttpRequest>(
      "plugin:http|fetch", bridge::Mode::Window, parseRequest,
      [](const HttpRequest& q, HostContext& ctx) -> Result<bridge::Reply> {
        auto rid = processHttpService(ctx.config).open(q);
        if (!rid) return fail(rid.error());
        return bridge::Reply(Json(*rid));
      }));
  table.add(bridge::makeCommand<RidArgs>(
      "plugin:http|fetch_send", bridge::Mode::Async, parseRid,
      [](const RidArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto head = processHttpService(ctx.config).send(a.rid);
        if (!head) return fail(head.error());
        return bridge::Reply(std::move(*head));
      }));
  table.add(bridge::makeCommand<RidArgs>(
      "plugin:http|fetch_read_body", bridge::Mode::Async, parseRid,
      [](const RidArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
        auto body = processHttpService(ctx.config).readBody(a.rid);
        if (!body) return fail(body.error());
        return bridge::Reply(std::move(*body));
      }));
  for (const char* name : {"plugin:http|fetch_cancel", "plugin:http|fetch_cancel_body"}) {
    table.add(bridge::makeCommand<RidArgs>(name, bridge::Mode::Window, parseRid,
                                           [](const RidArgs& a, HostContext& ctx) -> Result<bridge::Reply> {
                                             processHttpService(ctx.config).cancel(a.rid);
                                             return bridge::Reply::null();
                                           }));
  }
}

}  // namespace zorvik::fetch
