// Starting helper programs (the signing tools) without a terminal window.
// Any thread may use these; a ChildProcess belongs to the thread that started it.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.hpp"
#include "core/result.hpp"

namespace zorvik::platform {

// A file created (or truncated) to receive a child's output. It is never
// reached through a symbolic link, so a link planted in a shared folder
// cannot redirect the write to another file.
class OutputFile {
 public:
  // The error is the system's text.
  [[nodiscard]] static Result<OutputFile> create(const std::filesystem::path& path);

  OutputFile(OutputFile&&) noexcept;
  OutputFile& operator=(OutputFile&&) noexcept;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // Everything written to the file so far; empty when it cannot be read.
  [[nodiscard]] Bytes readAll() const;

 private:
  struct Handle;
  explicit OutputFile(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> handle_;
  friend class ChildProcess;
};

struct StartOptions {
  std::filesystem::path program;   // full path; the search path is not used
  std::vector<std::string> args;   // without the program itself
  std::filesystem::path workingDir;  // empty: the host's own
  OutputFile* stdoutFile = nullptr;  // null: discarded
  OutputFile* stderrFile = nullptr;
};

// One started child. Standard input is the null device and the child runs
// detached from any terminal, so a tool that asks for a password gets end of
// input instead of waiting for a keyboard. A child still running when its
// owner goes away is ended with everything it started.
class ChildProcess {
 public:
  // The error is the system's text.
  [[nodiscard]] static Result<ChildProcess> start(const StartOptions& options);

  ChildProcess(ChildProcess&&) noexcept;
  ChildProcess& operator=(ChildProcess&&) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Never blocks: the exit code once the child has ended (128 + the signal
  // number when a signal ended it), nullopt while it runs.
  [[nodiscard]] Result<std::optional<int>> poll();
  // Ends the child and whatever it started. A child that has already ended
  // is not an error.
  [[nodiscard]] Status terminate();
  // Polls until the child has ended or `limit` has passed; false on time-out.
  [[nodiscard]] bool waitFor(std::chrono::milliseconds limit);

 private:
  explicit ChildProcess(long pid) : pid_(pid) {}
  void release() noexcept;
  long pid_ = -1;  // -1 once reaped or moved from
  std::optional<int> exitCode_;
};

struct CapturedRun {
  int exitCode = 0;
  Bytes out;
  Bytes err;
};

// Runs a program to its end with no time limit and returns what it wrote.
// The error is the system's text (it could not be started or waited for).
[[nodiscard]] Result<CapturedRun> runCaptured(const std::filesystem::path& program,
                                              const std::vector<std::string>& args);

// This process's id.
[[nodiscard]] long currentProcessId();

// The file name of a program called `name` on this system.
[[nodiscard]] std::string programFileName(std::string_view name);

// The program search path (PATH) split by this system's rules; empty
// entries are left out.
[[nodiscard]] std::vector<std::filesystem::path> programSearchPath();

// The folders the signing tools are installed to by their own installer on
// this system, in no particular order.
[[nodiscard]] std::vector<std::filesystem::path> signingToolInstallFolders();

}  // namespace zorvik::platform
