#include "signing/tool_run.hpp"

#include <thread>

#include "platform/process.hpp"
#include "signing/tool_output.hpp"

namespace zorvik::signing {

namespace fs = std::filesystem;

namespace {

// A tool that is killed is given this long to disappear before the call
// gives up on it (it then stays with the child's owner, which tries again).
constexpr auto kAfterKillLimit = std::chrono::seconds(5);

std::string decode(const Bytes& bytes) {
  return decodeToolOutput(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

}  // namespace

Result<fs::path> systemTempFolder() {
  std::error_code ec;
  auto folder = fs::temp_directory_path(ec);
  if (ec) return fail(ec.message());
  return folder;
}

std::string timeoutMessage(long long seconds) {
  return "КриптоПро не ответил за " + std::to_string(seconds) +
         " секунд. Обычно это пароль на контейнере или недоступный носитель с ключом.";
}

Result<ToolOutput> runToolLimited(const fs::path& tool, const std::vector<std::string>& args, const fs::path& folder,
                                  std::chrono::milliseconds limit) {
  auto out = platform::OutputFile::create(folder / "cryptcp.out");
  if (!out) return failWith("Не удалось создать временный файл: ", out.error());
  auto err = platform::OutputFile::create(folder / "cryptcp.err");
  if (!err) return failWith("Не удалось создать временный файл: ", err.error());

  const auto started = std::chrono::steady_clock::now();
  auto child = platform::ChildProcess::start({tool, args, folder, &*out, &*err});
  // The messages name cryptcp whichever tool runs: that is what the user knows.
  if (!child) return failWith("Не удалось запустить cryptcp: ", child.error());

  for (;;) {
    auto state = child->poll();
    if (!state) return failWith("Не удалось дождаться cryptcp: ", state.error());
    if (*state) return ToolOutput{**state, decode(out->readAll()), decode(err->readAll())};
    if (std::chrono::steady_clock::now() - started > limit) {
      (void)child->terminate();
      (void)child->waitFor(kAfterKillLimit);
      return fail(timeoutMessage(std::chrono::duration_cast<std::chrono::seconds>(limit).count()));
    }
    std::this_thread::sleep_for(kToolPollInterval);
  }
}

Result<ToolOutput> runToolToEnd(const fs::path& tool, const std::vector<std::string>& args) {
  auto run = platform::runCaptured(tool, args);
  if (!run) return fail(run.error());
  return ToolOutput{run->exitCode, decode(run->out), decode(run->err)};
}

}  // namespace zorvik::signing
