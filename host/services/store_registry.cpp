#include "services/store_registry.hpp"

#include "core/utf8_path.hpp"
#include "services/kv_file.hpp"

namespace zorvik::services {

KeyValueStore::KeyValueStore(std::filesystem::path file, Json defaults)
    : file_(std::move(file)), defaults_(defaults.is_object() ? std::move(defaults) : Json::object()) {
  (void)reload();
}

std::optional<Json> KeyValueStore::get(const std::string& key) const {
  auto it = data_.find(key);
  if (it == data_.end()) return std::nullopt;
  return *it;
}

Status KeyValueStore::set(const std::string& key, Json value) {
  data_[key] = std::move(value);
  return save();
}

Result<bool> KeyValueStore::remove(const std::string& key) {
  bool had = data_.erase(key) > 0;
  if (had)
    if (auto saved = save(); !saved) return fail(saved.error());
  return had;
}

Status KeyValueStore::clear() {
  data_ = Json::object();
  return save();
}

Status KeyValueStore::reset() {
  data_ = defaults_;
  return save();
}

Status KeyValueStore::reload() {
  auto loaded = loadKeyValueFile(file_);
  blocked_ = loaded.blocked;
  data_ = loaded.found ? std::move(loaded.data) : defaults_;
  return {};
}

Status KeyValueStore::save() {
  if (blocked_) return fail("Не удалось сохранить " + utf8Text(file_.filename()) + ": " + *blocked_);
  auto saved = saveKeyValueFile(file_, data_);
  if (!saved) return failWith("Не удалось сохранить " + utf8Text(file_.filename()) + ": ", saved.error());
  return {};
}

bool validStoreName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c == '/' || c == '\\' || c < 0x20) return false;
  return true;
}

Result<std::uint32_t> StoreRegistry::load(const std::string& name, const Json& defaults) {
  if (!validStoreName(name)) return fail("Недопустимое имя хранилища: " + name);
  if (auto rid = find(name)) return *rid;
  auto folder = folder_();
  if (!folder) return fail("Не удалось определить папку данных: " + folder.error());
  auto rid = next_++;
  open_.emplace(rid, std::make_unique<KeyValueStore>(*folder / pathFromUtf8(name), defaults));
  return rid;
}

std::optional<std::uint32_t> StoreRegistry::find(const std::string& name) const {
  for (const auto& [rid, store] : open_)
    if (store->file().filename() == pathFromUtf8(name)) return rid;
  return std::nullopt;
}

Result<KeyValueStore*> StoreRegistry::get(std::uint32_t rid) {
  auto it = open_.find(rid);
  if (it == open_.end()) return fail("Хранилище не открыто: " + std::to_string(rid));
  return it->second.get();
}

bool StoreRegistry::close(std::uint32_t rid) { return open_.erase(rid) > 0; }

}  // namespace zorvik::services
