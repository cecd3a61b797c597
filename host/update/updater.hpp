// The updater service: check the manifest, download the bundle with progress,
// verify it, install it. One per process; any thread (its state is locked).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "core/json.hpp"
#include "core/result.hpp"
#include "fetch/fetcher.hpp"
#include "platform/app_install.hpp"
#include "update/manifest.hpp"

namespace zorvik::update {

inline constexpr const char* kNoCheckText =
    "download вызван без предварительной проверки check() — обновление уже использовано или не найдено";
inline constexpr const char* kNothingDownloadedText =
    "install вызван без скачанного обновления — повторный вызов, либо скачивание ещё не начато";

// Download progress, as the page receives it.
struct DownloadEvent {
  enum class Kind { Started, Progress, Finished } kind;
  std::optional<std::uint64_t> contentLength;  // Started: null when the server gave none
  std::uint64_t chunkLength = 0;               // Progress
};
[[nodiscard]] Json toJson(const DownloadEvent& event);

struct UpdaterSettings {
  std::string endpoint;       // with {{target}} and {{arch}}
  std::string publicKey;      // Base64 of the key file
  std::string target;         // "linux"
  std::string arch;           // "x86_64"
  std::string currentVersion;
  std::filesystem::path downloadDir;  // where bundles wait to be installed
  // The copy to install into; nullopt: this program is not an installed copy.
  std::function<std::optional<platform::InstallLayout>()> layout;
  // The version folder the running program belongs to (kept when old versions go).
  std::filesystem::path runningVersionDir;
};

class Updater {
 public:
  Updater(UpdaterSettings settings, fetch::Fetcher& fetcher);
  ~Updater();
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  // The newer version the manifest offers (remembered for download), or nullopt.
  [[nodiscard]] Result<std::optional<UpdateInfo>> check();
  // Downloads the remembered update and verifies its signature.
  [[nodiscard]] Status download(const std::function<void(const DownloadEvent&)>& onEvent);
  // Installs what was downloaded (verified again first); forgets the update.
  [[nodiscard]] Status install();
  [[nodiscard]] Status downloadAndInstall(const std::function<void(const DownloadEvent&)>& onEvent);

 private:
  void dropDownload();

  UpdaterSettings settings_;
  fetch::Fetcher& fetcher_;
  std::mutex mutex_;
  std::mutex installMutex_;  // held for a whole install
  std::optional<UpdateInfo> found_;
  std::optional<std::filesystem::path> downloaded_;
  std::optional<UpdateInfo> downloadedInfo_;
};

}  // namespace zorvik::update
