// Desktop integration through GIO: default URI handlers, the freedesktop file
// manager and screen-saver D-Bus interfaces.
#include "platform/desktop.hpp"

#include <gio/gio.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "core/system_error.hpp"
#include "platform/linux/gobject_ptr.hpp"
#include "platform/paths.hpp"

extern char** environ;

namespace zorvik::platform {

Status openWithDefaultHandler(const std::string& uri) {
  GErrorPtr error;
  if (!g_app_info_launch_default_for_uri(uri.c_str(), nullptr, error.out())) return fail(error.text());
  return {};
}

Status revealInFileManager(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec)) return fail("Файл не найден: " + file.string());
  GObjectPtr<GFile> gfile(g_file_new_for_path(file.c_str()));
  GCharPtr uri(g_file_get_uri(gfile.get()));
  std::string fileUri = uri ? uri.get() : "";

  GErrorPtr error;
  if (GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out())); bus) {
    const char* items[] = {fileUri.c_str(), nullptr};
    GVariantPtr reply(g_dbus_connection_call_sync(
        bus.get(), "org.freedesktop.FileManager1", "/org/freedesktop/FileManager1", "org.freedesktop.FileManager1",
        "ShowItems", g_variant_new("(^ass)", items, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, 2000, nullptr, nullptr));
    if (reply) return {};
  }
  // No file manager service: open the folder instead.
  GObjectPtr<GFile> parent(g_file_new_for_path(file.parent_path().c_str()));
  GCharPtr parentUri(g_file_get_uri(parent.get()));
  return openWithDefaultHandler(parentUri ? parentUri.get() : "");
}

namespace {

class DbusScreenKeeper final : public ScreenKeeper {
 public:
  ~DbusScreenKeeper() override { keepOn(false); }

  void keepOn(bool on) override {
    if (on == (cookie_ != 0)) return;
    GObjectPtr<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
    if (!bus) return;  // no session bus: nothing dims the screen we could talk to
    if (on) {
      GVariantPtr reply(g_dbus_connection_call_sync(
          bus.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
          "Inhibit", g_variant_new("(ss)", "Зорвик", "открыт документ"), G_VARIANT_TYPE("(u)"),
          G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr));
      if (reply) g_variant_get(reply.get(), "(u)", &cookie_);
    } else {
      GVariantPtr reply(g_dbus_connection_call_sync(
          bus.get(), "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
          "UnInhibit", g_variant_new("(u)", cookie_), nullptr, G_DBUS_CALL_FLAGS_NONE, 1000, nullptr, nullptr));
      cookie_ = 0;
    }
  }

 private:
  guint32 cookie_ = 0;
};

}  // namespace

std::unique_ptr<ScreenKeeper> makeScreenKeeper() { return std::make_unique<DbusScreenKeeper>(); }

Status relaunchSelf(const std::vector<std::string>& args, const std::filesystem::path& program) {
  std::string exe = program.empty() ? std::string("/proc/self/exe") : program.string();
  std::error_code ec;
  if (program.empty()) {
    auto real = std::filesystem::read_symlink(exe, ec);
    if (!ec) exe = real.string();
  }
  std::vector<char*> argv;
  argv.push_back(exe.data());
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  // Its own process group: it outlives us.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, exe.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0) return fail(errnoText(rc));
  return {};
}

}  // namespace zorvik::platform
