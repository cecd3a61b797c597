#include "signing/tool_run.hpp"

#include <thread>
#include <utility>

#include "core/system_error.hpp"

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

namespace {

Result<ToolOutput> runIn(const fs::path& tool, const std::vector<std::string>& args, const fs::path& folder,
                         std::chrono::milliseconds limit, std::string_view shownName) {
  const std::string name(shownName);
  auto out = platform::OutputFile::create(folder / "cryptcp.out");
  if (!out) return failWith("Не удалось создать временный файл: ", out.error());
  auto err = platform::OutputFile::create(folder / "cryptcp.err");
  if (!err) return failWith("Не удалось создать временный файл: ", err.error());

  const auto started = std::chrono::steady_clock::now();
  auto child = platform::ChildProcess::start({tool, args, folder, &*out, &*err});
  if (!child) return failWith("Не удалось запустить " + name + ": ", child.error());

  for (;;) {
    auto state = child->poll();
    if (!state) return failWith("Не удалось дождаться " + name + ": ", state.error());
    if (*state) return ToolOutput{**state, decode(out->readAll()), decode(err->readAll())};
    if (std::chrono::steady_clock::now() - started > limit) {
      (void)child->terminate();
      (void)child->waitFor(kAfterKillLimit);
      return fail(timeoutMessage(std::chrono::duration_cast<std::chrono::seconds>(limit).count()));
    }
    std::this_thread::sleep_for(kToolPollInterval);
  }
}

}  // namespace

Result<ToolOutput> runToolLimited(const fs::path& tool, const std::vector<std::string>& args, const fs::path& folder,
                                  std::chrono::milliseconds limit) {
  // The messages name cryptcp whichever tool signs: that is what the user knows.
  return runIn(tool, args, folder, limit, "cryptcp");
}

Result<ToolOutput> runToolTimed(const fs::path& tool, const std::vector<std::string>& args, std::string_view shownName,
                                std::chrono::milliseconds limit) {
  auto folder = ToolFolder::create("zorvik-tool-");
  if (!folder) return fail(folder.error());
  return runIn(tool, args, folder->path(), limit, shownName);
}

Result<ToolFolder> ToolFolder::create(std::string_view prefix) {
  auto nanos =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  auto parent = systemTempFolder();
  if (!parent) return failWith("Не удалось создать временную папку: ", parent.error());
  auto path = *parent / (std::string(prefix) + std::to_string(platform::currentProcessId()) + "-" +
                         std::to_string(nanos < 0 ? 0 : nanos));
  std::error_code ec;
  fs::create_directories(*parent, ec);
  // The folder must be new: one that someone else made beforehand in the
  // shared temporary folder is not ours to run in.
  if (!ec && !fs::create_directory(path, ec) && !ec) ec = std::make_error_code(std::errc::file_exists);
  if (ec) return failWith("Не удалось создать временную папку: ", errorText(ec));
  fs::permissions(path, fs::perms::owner_all, ec);
  return ToolFolder(path);
}

ToolFolder::ToolFolder(ToolFolder&& other) noexcept : path_(std::exchange(other.path_, {})) {}

ToolFolder::~ToolFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);  // a folder that cannot be removed is left behind, not an error
}

}  // namespace zorvik::signing
