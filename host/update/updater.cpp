#include "update/updater.hpp"

#include <cstdio>
#include <cstring>
#include <random>

#include "core/utf8_path.hpp"
#include "platform/c_file.hpp"
#include "update/installer.hpp"
#include "update/signature.hpp"

namespace zorvik::update {

namespace fs = std::filesystem;

Json toJson(const DownloadEvent& event) {
  switch (event.kind) {
    case DownloadEvent::Kind::Started:
      return Json{{"event", "Started"},
                  {"data", {{"contentLength", event.contentLength ? Json(*event.contentLength) : Json(nullptr)}}}};
    case DownloadEvent::Kind::Progress:
      return Json{{"event", "Progress"}, {"data", {{"chunkLength", event.chunkLength}}}};
    case DownloadEvent::Kind::Finished:
      break;
  }
  return Json{{"event", "Finished"}};
}

namespace {


// The signature, then the version it vouches for against the offered and the running one.
Status verify(const fs::path& file, const UpdateInfo& info, const UpdaterSettings& settings) {
  auto key = parsePublicKeyBase64(settings.publicKey);
  if (!key) return fail(key.error());
  auto signature = parseSignatureBase64(info.signature);
  if (!signature) return fail(signature.error());
  if (auto verified = verifyFile(file, *signature, *key); !verified) return verified;
  auto problem = signedVersionProblem(signedVersion(signature->trustedComment), info.version, settings.currentVersion);
  if (!problem.empty()) return fail(problem);
  return {};
}

std::optional<std::uint64_t> contentLength(const fetch::ResponseHead& head) { return head.contentLength; }

}  // namespace

Updater::Updater(UpdaterSettings settings, fetch::Fetcher& fetcher)
    : settings_(std::move(settings)), fetcher_(fetcher) {
  // Bundles an earlier run downloaded and never installed.
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(settings_.downloadDir, ec))
    if (utf8Text(entry.path().filename()).starts_with("bundle-")) fs::remove(entry.path(), ec);
}

Updater::~Updater() { dropDownload(); }

void Updater::dropDownload() {
  if (downloaded_) {
    std::error_code ec;
    fs::remove(*downloaded_, ec);
  }
  downloaded_.reset();
  downloadedInfo_.reset();
}

Result<std::optional<UpdateInfo>> Updater::check() {
  const std::string url = expandEndpoint(settings_.endpoint, settings_.target, settings_.arch);
  auto response = fetcher_.fetch(url);
  if (!response) return fail(response.error());
  std::lock_guard lock(mutex_);
  if (response->head.status == 204) {
    found_.reset();
    return std::optional<UpdateInfo>();
  }
  if (response->head.status < 200 || response->head.status > 299)
    return fail("сервер обновлений ответил " + std::to_string(response->head.status) + " (" + url + ")");
  std::string body(response->body.begin(), response->body.end());
  auto info = parseManifest(body, settings_.target, settings_.arch);
  if (!info) return fail(info.error());
  if (compareVersions(info->version, settings_.currentVersion) <= 0) {
    found_.reset();
    return std::optional<UpdateInfo>();
  }
  found_ = *info;
  return std::optional<UpdateInfo>(*info);
}

Status Updater::download(const std::function<void(const DownloadEvent&)>& onEvent) {
  UpdateInfo info;
  {
    std::lock_guard lock(mutex_);
    if (!found_) return fail(kNoCheckText);
    info = *found_;
  }
  std::error_code ec;
  fs::create_directories(settings_.downloadDir, ec);
  if (ec) return fail("не удалось подготовить папку для обновления: " + ec.message());
  std::random_device rd;
  const fs::path file = settings_.downloadDir / ("bundle-" + std::to_string(rd()) + ".tar.gz");
  // Created new, never through a link planted at the name.
  platform::CFile out = platform::openFile(file, "wbx");
  if (!out) return fail("не удалось создать файл обновления: " + std::string(std::strerror(errno)));
  std::setvbuf(out.get(), nullptr, _IONBF, 0);
  auto removeFile = [&] { fs::remove(file, ec); };

  fetch::ResponseSink sink;
  bool started = false;
  sink.onHead = [&](const fetch::ResponseHead& head) -> Status {
    if (head.status < 200 || head.status > 299)
      return fail("сервер обновлений ответил " + std::to_string(head.status) + " на скачивание сборки");
    started = true;
    if (onEvent) onEvent({DownloadEvent::Kind::Started, contentLength(head), 0});
    return {};
  };
  sink.onChunk = [&](std::span<const std::uint8_t> chunk) -> Status {
    if (std::fwrite(chunk.data(), 1, chunk.size(), out.get()) != chunk.size())
      return fail("не удалось записать обновление на диск: " + std::string(std::strerror(errno)));
    if (onEvent) onEvent({DownloadEvent::Kind::Progress, std::nullopt, chunk.size()});
    return {};
  };
  auto head = fetcher_.get(info.url, fetch::kDownloadTimeout, sink);
  if (!head) {
    removeFile();
    return fail(head.error());
  }
  if (!started) {
    removeFile();
    return fail("сервер обновлений не отдал сборку (" + info.url + ")");
  }
  if (auto synced = platform::syncFile(out.get()); !synced || std::fclose(out.release()) != 0) {
    out.reset();
    removeFile();
    return fail("не удалось записать обновление на диск: " + (synced ? std::string(std::strerror(errno)) : synced.error()));
  }
  if (auto verified = verify(file, info, settings_); !verified) {
    removeFile();
    return fail(verified.error());
  }
  if (onEvent) onEvent({DownloadEvent::Kind::Finished, std::nullopt, 0});
  std::lock_guard lock(mutex_);
  dropDownload();
  downloaded_ = file;
  downloadedInfo_ = info;
  return {};
}

Status Updater::install() {
  // One install at a time (the program runs once per user): whatever an
  // earlier install left unpacked is a leftover the installer may clear.
  std::lock_guard installing(installMutex_);
  fs::path file;
  UpdateInfo info;
  {
    std::lock_guard lock(mutex_);
    if (!downloaded_ || !downloadedInfo_) return fail(kNothingDownloadedText);
    file = *downloaded_;
    info = *downloadedInfo_;
    // Forgotten before installing: a second install never repeats this one.
    downloaded_.reset();
    downloadedInfo_.reset();
    found_.reset();
  }
  struct Remove {
    fs::path p;
    ~Remove() {
      std::error_code ec;
      fs::remove(p, ec);
    }
  } removeAfter{file};
  // The file waited on disk since the download: it is checked again.
  if (auto verified = verify(file, info, settings_); !verified) return fail(verified.error());
  auto layout = settings_.layout ? settings_.layout() : std::nullopt;
  if (!layout)
    return fail("обновление ставится только в установленное приложение (make package и install.sh), а это запущено из сборки");
  auto installed = installBundle(*layout, file, info.version, settings_.runningVersionDir);
  if (!installed) return fail(installed.error());
  return {};
}

Status Updater::downloadAndInstall(const std::function<void(const DownloadEvent&)>& onEvent) {
  if (auto downloaded = download(onEvent); !downloaded) return downloaded;
  return install();
}

}  // namespace zorvik::update
