// One named host command: how its arguments are read and where it runs.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bridge/args.hpp"
#include "core/bytes.hpp"
#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik {
struct HostContext;
}

namespace zorvik::bridge {

enum class Mode {
  // Runs on the window's thread: quick work, or anything that touches the window.
  Window,
  // Can block (print jobs, signing tools): runs on one serial worker so the
  // window never freezes and such commands still finish in the order they came.
  Serial,
  // Runs on the worker pool; any number in flight, each answers once.
  Async,
};

// A command answers JSON, or raw bytes (sent to the page as an ArrayBuffer).
struct Reply {
  std::variant<Json, Bytes> body;

  Reply(Json json) : body(std::move(json)) {}  // NOLINT: implicit on purpose
  Reply(Bytes bytes) : body(std::move(bytes)) {}  // NOLINT
  static Reply null() { return Reply(Json(nullptr)); }
};

// Arguments already checked; runs the command itself.
using Prepared = std::function<Result<Reply>(HostContext&)>;

struct Command {
  std::string name;
  Mode mode = Mode::Window;
  // Serial commands of one lane run one at a time; different lanes run side
  // by side, so a signing tool that hangs never holds up a print job.
  std::string lane;
  // Parses and type-checks the arguments. Runs before the command, on the
  // thread that received the call.
  std::function<Result<Prepared>(const Json& args)> prepare;
};

// Builds a command from a plain argument struct, its parser and its handler.
template <class Args, class Parse, class Run>
Command makeCommand(std::string name, Mode mode, Parse parse, Run run) {
  std::string commandName = name;
  return Command{
      std::move(name), mode, {},
      [commandName, parse, run](const Json& json) -> Result<Prepared> {
        ArgReader reader(commandName, json);
        Result<Args> args = parse(reader);
        if (!args) return fail(args.error());
        return Prepared([run, a = std::move(*args)](HostContext& ctx) -> Result<Reply> { return run(a, ctx); });
      }};
}

// The same command on its own serial lane.
inline Command inLane(std::string lane, Command command) {
  command.lane = std::move(lane);
  return command;
}

struct NoArgs {};
inline Result<NoArgs> noArgs(const ArgReader&) { return NoArgs{}; }

class CommandTable {
 public:
  void add(Command command);
  [[nodiscard]] const Command* find(std::string_view name) const;
  // True when some "plugin:<service>|..." command is registered.
  [[nodiscard]] bool hasService(std::string_view service) const;
  [[nodiscard]] std::size_t size() const { return commands_.size(); }
  // Every registered command, by name.
  [[nodiscard]] std::vector<const Command*> all() const;

 private:
  std::map<std::string, Command, std::less<>> commands_;
};

}  // namespace zorvik::bridge
