// Small helpers shared by the host tests.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>

#include "platform/environment.hpp"

namespace zorvik::testing {

// A fresh folder removed with everything in it when the test ends.
class TempDir {
 public:
  TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    // A name nobody holds yet: create_directory answers false for an existing one.
    for (;;) {
      path_ = base / ("zorvik-test-" + std::to_string(random()));
      if (std::filesystem::create_directory(path_)) break;
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Sets an environment variable for the scope of a test, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value)
      : name_(name), old_(platform::environmentVariable(name)) {
    platform::setEnvironmentVariable(name_, value);
  }
  ~ScopedEnv() { platform::setEnvironmentVariable(name_, old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// Asks `done` until it holds; false once `limit` has passed without it. The
// limit only keeps a broken test from hanging (and a slow machine from failing
// a sound one), so it is generous and the test asserts on the condition only.
template <class Done>
bool eventually(Done done, std::chrono::milliseconds limit = std::chrono::seconds(30)) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace zorvik::testing
