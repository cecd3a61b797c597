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

Result<std::pair<const Command*, Prepared>> Dispatcher::prepare(std::string_view name, const Json& args) const {
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
  return std::pair{cmd, std::move(*prepared)};
}

void Dispatcher::dispatch(std::string_view name, const Json& args, Respond respond) {
  auto prepared = prepare(name, args);
  if (!prepared) {
    respond(fail(prepared.error()));
    return;
  }
  auto [cmd, run] = std::move(*prepared);
  TaskQueue* queue = queueFor(*cmd);
  if (!queue) {
    respond(runGuarded(run, ctx_));
    return;
  }
  queue->post([this, run = std::move(run), respond = std::move(respond)] { respond(runGuarded(run, ctx_)); });
}

Dispatcher::~Dispatcher() = default;

TaskQueue* Dispatcher::queueFor(const Command& command) {
  switch (command.mode) {
    case Mode::Window: return nullptr;
    case Mode::Async: return pool_;
    case Mode::Serial:
      if (!serial_ || command.lane.empty()) return serial_;
      auto it = lanes_.find(command.lane);
      if (it == lanes_.end()) it = lanes_.emplace(command.lane, std::make_unique<TaskQueue>(1)).first;
      return it->second.get();
  }
  return nullptr;
}

Result<Reply> Dispatcher::call(std::string_view name, const Json& args) {
  auto prepared = prepare(name, args);
  if (!prepared) return fail(prepared.error());
  return runGuarded(prepared->second, ctx_);
}

}  // namespace zorvik::bridge
