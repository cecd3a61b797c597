// One persistent key-value file of the page (a JSON object on disk).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::services {

struct LoadedFile {
  Json data = Json::object();
  // True when the file existed and held a JSON object.
  bool found = false;
  // Set when the file on disk could not be parsed: where it was moved aside.
  std::optional<std::filesystem::path> keptAside;
  // Set when an unreadable entry could not be moved aside: it must not be overwritten.
  std::optional<std::string> blocked;
};

// Reads `path`. Only a path where nothing exists reads as a new, empty store.
// Anything else there that is not a readable JSON object (damaged text, no
// permission, a dangling or looping link, a folder) is renamed to
// "<name>.corrupt-<stamp>" and reads as empty, so nothing is lost; when it
// cannot be moved, `blocked` says why and the store must not be saved.
[[nodiscard]] LoadedFile loadKeyValueFile(const std::filesystem::path& path);

// Writes the whole object atomically with mode 0600.
[[nodiscard]] Status saveKeyValueFile(const std::filesystem::path& path, const Json& data);

}  // namespace zorvik::services
