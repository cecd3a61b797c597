#include "services/event_bus.hpp"

#include <algorithm>

namespace zorvik::services {

std::uint32_t EventBus::listen(const std::string& event, std::uint32_t handler) {
  auto id = next_++;
  listeners_[event].push_back({id, handler});
  return id;
}

void EventBus::unlisten(const std::string& event, std::uint32_t eventId) {
  auto it = listeners_.find(event);
  if (it == listeners_.end()) return;
  std::erase_if(it->second, [eventId](const Listener& l) { return l.id == eventId; });
  if (it->second.empty()) listeners_.erase(it);
}

bool EventBus::hasListeners(const std::string& event) const { return listeners_.contains(event); }

void EventBus::emit(const std::string& event, const Json& payload) {
  auto it = listeners_.find(event);
  if (it == listeners_.end()) return;
  // Copy: a callback may unlisten while we deliver.
  auto targets = it->second;
  for (const auto& l : targets) run_(eventDeliveryScript(l.handler, event, l.id, payload));
}

std::string eventDeliveryScript(std::uint32_t handler, const std::string& event, std::uint32_t eventId,
                                const Json& payload) {
  Json message = {{"event", event}, {"id", eventId}, {"payload", payload}};
  // JSON is a JavaScript expression; U+2028/2029 are escaped by ensure_ascii.
  return "window.__ZORVIK__ && window.__ZORVIK__.runCallback(" + std::to_string(handler) + ", " +
         message.dump(-1, ' ', true, Json::error_handler_t::replace) + ");";
}

}  // namespace zorvik::services
