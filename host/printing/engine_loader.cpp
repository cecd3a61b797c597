#include "printing/engine_loader.hpp"

#include <charconv>

#include "core/utf8_path.hpp"

namespace zorvik::printing {

namespace fs = std::filesystem;

namespace {

constexpr const char* kAdviceAlreadyLoaded =
    "Библиотека уже подключена в этом запуске приложения — дело не в файле и не в системе. Это наша ошибка, и она "
    "исправлена: перезапустите приложение, чтобы напечатать сейчас, и обновите его до последней версии.";
std::string adviceOldSystem(const std::string& system) {
  return "Система — " + system +
         ", а этой библиотеке нужна Windows 10 или новее: поэтому файл и не загружается. Переустановка не поможет. "
         "Напишите в поддержку и укажите версию системы — подберём вариант печати для неё.";
}
constexpr const char* kAdviceFilePresent =
    "Файл на месте, но система его не загружает. Отправьте это сообщение в поддержку целиком — по тексту ошибки видно "
    "причину.";
constexpr const char* kAdviceReinstall =
    "Библиотека ставится вместе с приложением. Переустановите приложение, скачав установщик заново; если сообщение "
    "повторится — отправьте его в поддержку целиком.";

// Binding step's description when the loader itself refused the file.
constexpr const char* kNotLoaded = "библиотека не загрузилась";

// Bytes as mebibytes with one decimal, whatever the locale.
std::string mebibytes(std::uintmax_t bytes) {
  char text[32];
  auto end = std::to_chars(text, text + sizeof text, static_cast<double>(bytes) / 1048576.0, std::chars_format::fixed, 1).ptr;
  return std::string(text, end);
}

// Loads the library and binds the engine; on failure fills the attempt's reason.
std::optional<LoadedEngine> tryLoad(std::expected<platform::Library, platform::LoadFailure> library,
                                    std::string label, CandidateAttempt& attempt) {
  if (!library) {
    attempt.reason = std::string(kNotLoaded) + " — " + library.error().reason;
    return std::nullopt;
  }
  auto engine = EngineLibrary::bind(std::move(*library));
  if (!engine) {
    attempt.reason = engine.error().description;
    attempt.alreadyInitialised = engine.error().kind == BindFailure::Kind::AlreadyInitialised;
    return std::nullopt;
  }
  return LoadedEngine{std::move(*engine), std::move(label)};
}

}  // namespace

std::string engineFileName() { return platform::libraryFileName("pdfium"); }

std::vector<fs::path> engineCandidates(const std::optional<fs::path>& exeDir) {
  if (!exeDir) return {};
  return {*exeDir / "resources" / engineFileName(), *exeDir / engineFileName()};
}

Result<LoadedEngine> loadEngine(const std::optional<fs::path>& exeDir) {
  std::vector<CandidateAttempt> attempts;
  for (const fs::path& path : engineCandidates(exeDir)) {
    CandidateAttempt& attempt = attempts.emplace_back();
    attempt.path = path;
    std::error_code ec;
    attempt.exists = fs::is_regular_file(path, ec);
    if (!attempt.exists) continue;
    attempt.size = fs::file_size(path, ec);
    if (ec) attempt.size = 0;
    if (auto loaded = tryLoad(platform::Library::open(path), utf8Text(path), attempt)) return std::move(*loaded);
  }
  CandidateAttempt systemAttempt;
  if (auto loaded = tryLoad(platform::Library::openFromSystem(engineFileName()), kSystemLibraryLabel, systemAttempt))
    return std::move(*loaded);
  return fail(engineLoadError(attempts, platform::describeSystem(), systemAttempt.alreadyInitialised));
}

std::string engineLoadError(const std::vector<CandidateAttempt>& attempts,
                            const std::optional<platform::SystemDescription>& system, bool systemAlreadyLoaded) {
  std::string lines;
  bool anyExists = false, alreadyLoaded = systemAlreadyLoaded;
  for (const CandidateAttempt& a : attempts) {
    if (!lines.empty()) lines += "\n";
    alreadyLoaded = alreadyLoaded || a.alreadyInitialised;
    if (!a.exists) {
      lines += "• " + utf8Text(a.path) + " — файла нет";
      continue;
    }
    anyExists = true;
    lines += "• " + utf8Text(a.path) + " — файл на месте (" + mebibytes(a.size) +
             " МБ), но загрузить его не удалось: " + (a.reason.empty() ? "причина неизвестна" : a.reason);
  }
  std::string advice;
  if (alreadyLoaded) advice = kAdviceAlreadyLoaded;
  else if (system && system->belowMinimum) advice = adviceOldSystem(system->text);
  else if (anyExists) advice = kAdviceFilePresent;
  else advice = kAdviceReinstall;
  std::string systemLine = system ? "Система: " + system->text + "\n\n" : std::string();
  return "Не найдена библиотека печати " + engineFileName() +
         " — без неё приложение не может подготовить этикетку.\n\n" + systemLine + "Где искали:\n" + lines +
         "\n(плюс системные каталоги библиотек)\n\n" + advice;
}

std::string systemText(const std::optional<platform::SystemDescription>& system) {
  return system ? system->text : "версия неизвестна";
}

}  // namespace zorvik::printing
