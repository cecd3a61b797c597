#include "bridge/dispatcher.hpp"

#include <exception>

#include "app/permissions.hpp"
#include "bridge/task_queue.hpp"

namespace zorvik::bridge {

Error commandNotFound(std::string_view name) {
  return "Command " + std::string(name) + " not found";
}

namespace {

// No exception crosses the bridge: a library that throws (qpdf, nlohmann)
// becomes the command's error text.
Result<Reply> runGuarded(const Prepared& run, HostContext& ctx) {
  try {
    return run(ctx);
  } catch (const std::exception& e) {
    return fail(e.what());
  } catch (...) {
    return fail("unknown error");
  }
}

}  // namespace

Dispatcher::Dispatcher(const CommandTable& table, const app::Permissions& permissions, HostContext& ctx,
                       TaskQueue* serial, TaskQueue* pool)
    : table_(table), permissions_(permissions), ctx_(ctx), serial_(serial), pool_(pool) {}

Result<std::pair<Mode, Prepared>> Dispatcher::prepare(std::string_view name, const Json& args) const {
  constexpr std::string_view kPlugin = "plugin:";
  if (name.starts_with(kPlugin)) {
    auto bar = name.find('|');
    if (bar == std::string_view::npos) return fail(commandNotFound(name));
    auto service = name.substr(kPlugin.size(), bar - kPlugin.size());
    auto command = name.substr(bar + 1);
    if (!permissions_.allows(service, command)) return fail(app::Permissions::refusal(service, command));
    if (!table_.hasService(service)) return fail("plugin " + std::string(service) + " not found");
  }
  const Command* cmd = table_.find(name);
  if (!cmd) return fail(commandNotFound(name));
  Result<Prepared> prepared;
  try {
    prepared = cmd->prepare(args);
  } catch (const std::exception& e) {
    return fail(e.what());
  }
  if (!prepared) return fail(prepared.error());
  return std::pair{cmd->mode, std::move(*prepared)};
}

void Dispatcher::dispatch(std::string_view name, const Json& args, Respond respond) {
  auto prepared = prepare(name, args);
  if (!prepared) {
    respond(fail(prepared.error()));
    return;
  }
  auto [mode, run] = std::move(*prepared);
  TaskQueue* queue = mode == Mode::Serial ? serial_ : mode == Mode::Async ? pool_ : nullptr;
  if (!queue) {
    respond(runGuarded(run, ctx_));
    return;
  }
  queue->post([this, run = std::move(run), respond = std::move(respond)] { respond(runGuarded(run, ctx_)); });
}

Result<Reply> Dispatcher::call(std::string_view name, const Json& args) {
  auto prepared = prepare(name, args);
  if (!prepared) return fail(prepared.error());
  return runGuarded(prepared->second, ctx_);
}

}  // namespace zorvik::bridge
