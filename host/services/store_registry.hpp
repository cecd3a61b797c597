// The page's persistent key-value stores (".device.dat", "credentials.dat",
// ".settings.dat" ...) in the app's data folder. Every change is written to
// disk at once, atomically. Window thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/json.hpp"
#include "core/result.hpp"

namespace zorvik::services {

class KeyValueStore {
 public:
  KeyValueStore(std::filesystem::path file, Json defaults);

  [[nodiscard]] const std::filesystem::path& file() const { return file_; }
  [[nodiscard]] std::optional<Json> get(const std::string& key) const;
  [[nodiscard]] bool has(const std::string& key) const { return data_.contains(key); }
  [[nodiscard]] Status set(const std::string& key, Json value);
  [[nodiscard]] Result<bool> remove(const std::string& key);
  [[nodiscard]] Status clear();
  [[nodiscard]] Status reset();  // back to the defaults given at load
  [[nodiscard]] Status reload();
  [[nodiscard]] Status save();
  [[nodiscard]] const Json& data() const { return data_; }

 private:
  std::filesystem::path file_;
  Json defaults_;
  Json data_ = Json::object();
  std::optional<std::string> blocked_;
};

class StoreRegistry {
 public:
  using FolderResolver = std::function<Result<std::filesystem::path>()>;
  explicit StoreRegistry(FolderResolver folder) : folder_(std::move(folder)) {}

  // Opens (or finds the open) store `name` and answers its resource id.
  [[nodiscard]] Result<std::uint32_t> load(const std::string& name, const Json& defaults);
  [[nodiscard]] std::optional<std::uint32_t> find(const std::string& name) const;
  [[nodiscard]] Result<KeyValueStore*> get(std::uint32_t rid);
  // Releases the resource id; the data stays on disk.
  bool close(std::uint32_t rid);
  // Where the stores live (the page's journals live there too).
  [[nodiscard]] const FolderResolver& folderResolver() const { return folder_; }

 private:
  FolderResolver folder_;
  std::uint32_t next_ = 1;
  std::map<std::uint32_t, std::unique_ptr<KeyValueStore>> open_;
};

// A store name is one plain file name in the app's data folder.
[[nodiscard]] bool validStoreName(const std::string& name);

}  // namespace zorvik::services
