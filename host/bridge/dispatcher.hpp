// Routes one call from the page (or from --invoke) to its command: permission
// check, argument check, then the command on the thread its mode asks for.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string_view>

#include "bridge/command.hpp"

namespace zorvik::app {
struct Permissions;
}

namespace zorvik::bridge {

class TaskQueue;

// Called exactly once per call, on whichever thread finished the command.
using Respond = std::function<void(Result<Reply>)>;

class Dispatcher {
 public:
  // `serial` and `pool` may be null: the command then runs inline (--invoke).
  Dispatcher(const CommandTable& table, const app::Permissions& permissions, HostContext& ctx,
             TaskQueue* serial, TaskQueue* pool);
  ~Dispatcher();  // finishes what its own lanes still hold
  Dispatcher(const Dispatcher&) = delete;
  Dispatcher& operator=(const Dispatcher&) = delete;

  // Window thread (or the only thread, without a window).
  void dispatch(std::string_view name, const Json& args, Respond respond);

  // Runs the call to completion on the calling thread.
  [[nodiscard]] Result<Reply> call(std::string_view name, const Json& args);

  // Finds the command and checks the arguments; nothing runs yet.
  [[nodiscard]] Result<std::pair<const Command*, Prepared>> prepare(std::string_view name, const Json& args) const;

 private:
  TaskQueue* queueFor(const Command& command);

  const CommandTable& table_;
  const app::Permissions& permissions_;
  HostContext& ctx_;
  TaskQueue* serial_;
  TaskQueue* pool_;
  // Serial lanes other than the default one, made on first use.
  std::map<std::string, std::unique_ptr<TaskQueue>, std::less<>> lanes_;
};

// "Command <name> not found"
Error commandNotFound(std::string_view name);

}  // namespace zorvik::bridge
