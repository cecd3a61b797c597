#include "bridge/command.hpp"

#include <cassert>

namespace zorvik::bridge {

void CommandTable::add(Command command) {
  auto name = command.name;
  [[maybe_unused]] auto [it, inserted] = commands_.emplace(std::move(name), std::move(command));
  assert(inserted && "a command name is registered twice");
}

const Command* CommandTable::find(std::string_view name) const {
  auto it = commands_.find(name);
  return it == commands_.end() ? nullptr : &it->second;
}

std::vector<const Command*> CommandTable::all() const {
  std::vector<const Command*> out;
  out.reserve(commands_.size());
  for (const auto& [name, command] : commands_) out.push_back(&command);
  return out;
}

bool CommandTable::hasService(std::string_view service) const {
  std::string prefix = "plugin:" + std::string(service) + "|";
  auto it = commands_.lower_bound(prefix);
  return it != commands_.end() && it->first.starts_with(prefix);
}

}  // namespace zorvik::bridge
