#include "fetch/commands/fetch_commands.hpp"
#include "fetch/commands/http_command.hpp"

namespace zorvik::fetch {

namespace {

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

// Opens a request; fetch_send starts it.
bridge::Command httpFetchCommand() {
  return bridge::makeCommand<HttpRequest>(
      "plugin:http|fetch", bridge::Mode::Window, parseRequest,
      [](const HttpRequest& q, HostContext& ctx) -> Result<bridge::Reply> {
        auto rid = processHttpService(ctx.config).open(q);
        if (!rid) return fail(rid.error());
        return bridge::Reply(Json(*rid));
      });
}

}  // namespace zorvik::fetch
