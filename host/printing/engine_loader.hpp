// Finding and loading the engine library: beside the executable first, then
// through the system's library search; and the text that explains a failure.
// Used only on the renderer thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/result.hpp"
#include "platform/library.hpp"
#include "printing/engine_library.hpp"

namespace zorvik::printing {

// Engine label when the library came from the system's own search.
inline constexpr const char* kSystemLibraryLabel = "системная библиотека";

struct LoadedEngine {
  std::unique_ptr<EngineLibrary> engine;
  // The library file's full path, or kSystemLibraryLabel.
  std::string label;
};

// What happened to one candidate file.
struct CandidateAttempt {
  std::filesystem::path path;
  bool exists = false;
  std::uintmax_t size = 0;
  std::string reason;               // why an existing file did not load
  bool alreadyInitialised = false;  // the engine was already running here
};

// The engine library's file name on this system ("libpdfium.so").
[[nodiscard]] std::string engineFileName();

// Candidate files in the order they are tried; none when `exeDir` is unknown.
[[nodiscard]] std::vector<std::filesystem::path> engineCandidates(const std::optional<std::filesystem::path>& exeDir);

// Tries the candidates, then the system search. The error is the full load text.
[[nodiscard]] Result<LoadedEngine> loadEngine(const std::optional<std::filesystem::path>& exeDir);

// The load error: a line per candidate, the system line and the advice.
// `systemAlreadyLoaded`: the system's own library was found while an engine was running.
[[nodiscard]] std::string engineLoadError(const std::vector<CandidateAttempt>& attempts,
                                          const std::optional<platform::SystemDescription>& system,
                                          bool systemAlreadyLoaded = false);

// The system as "check_print_engine" names it ("версия неизвестна" when unknown).
[[nodiscard]] std::string systemText(const std::optional<platform::SystemDescription>& system);

}  // namespace zorvik::printing
