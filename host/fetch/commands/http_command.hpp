// Shared by the plugin:http commands: the request id most of them take.
//   fetch           {method?, url, headers?: [[name, value]], body?: bytes, connectTimeout?: ms, timeout?: ms} → rid
//   fetch_send      {rid} → {status, statusText, url, headers, rid}
//   fetch_read_body {rid} → raw bytes received since the last call; none at the end
//   fetch_cancel, fetch_cancel_body {rid} → null
#pragma once

#include "bridge/command.hpp"
#include "fetch/http_service.hpp"
#include "fetch/process_clients.hpp"
#include "host_context.hpp"

namespace zorvik::fetch {

struct RidArgs {
  std::uint32_t rid = 0;
};

inline Result<RidArgs> parseRid(const bridge::ArgReader& r) {
  auto rid = r.integer("rid");
  if (!rid) return fail(rid.error());
  if (*rid < 0 || *rid > 0xffffffffLL) return fail(r.invalid("rid", "out of range"));
  return RidArgs{static_cast<std::uint32_t>(*rid)};
}

}  // namespace zorvik::fetch
