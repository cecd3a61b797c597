// Loading a shared library at run time, and the system's reason when it fails.
#pragma once

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace zorvik::platform {

// What the system's loader held against a library file.
enum class LoadFailureKind {
  PermissionDenied,   // no right to read or run code from the file
  DependencyMissing,  // a library the file needs is not found
  OtherClass,         // built for another word size (32 / 64 bits)
  OtherArchitecture,  // built for another processor
  NotALibrary,        // not a shared library of this system at all
  StartFailed,        // mapped, but could not be linked or started
  Unknown,
};

struct LoadFailure {
  LoadFailureKind kind = LoadFailureKind::Unknown;
  // The reason for the user, with the loader's own text in parentheses.
  std::string reason;
};

// A loaded shared library; unloaded when the owner goes.
class Library {
 public:
  // Loads exactly the file at `path`, resolving all its symbols now.
  [[nodiscard]] static std::expected<Library, LoadFailure> open(const std::filesystem::path& path);
  // Loads `fileName` through the system's own library search.
  [[nodiscard]] static std::expected<Library, LoadFailure> openFromSystem(const std::string& fileName);

  Library(Library&& other) noexcept;
  Library& operator=(Library&& other) noexcept;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library();

  // Address of the exported symbol `name`, or null.
  [[nodiscard]] void* symbol(const char* name) const;

 private:
  explicit Library(void* handle) : handle_(handle) {}
  void* handle_ = nullptr;
};

// File name of the library called `stem` on this system ("pdfium" -> "libpdfium.so").
[[nodiscard]] std::string libraryFileName(std::string_view stem);

// The operating system as diagnostics name it, e.g.
// "Debian GNU/Linux 12 (bookworm), ядро Linux 6.1.0-18-amd64, x86_64".
struct SystemDescription {
  std::string text;
  // The system is older than the oldest one the product supports.
  bool belowMinimum = false;
};

// Null when the system cannot tell its own version.
[[nodiscard]] std::optional<SystemDescription> describeSystem();

}  // namespace zorvik::platform
