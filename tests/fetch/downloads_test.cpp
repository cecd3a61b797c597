#include "fetch/downloads.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <fstream>

#include "app/config.hpp"
#include "bridge/dispatcher.hpp"
#include "commands/command_set.hpp"
#include "host_context.hpp"
#include "test_env.hpp"
#include "test_server.hpp"

namespace zorvik::fetch {
namespace {

namespace fs = std::filesystem;
using testing::Canned;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TestServer;

std::string readAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::string& content) { std::ofstream(p, std::ios::binary) << content; }

Bytes bytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(Downloads, NamesAreCleaned) {
  struct Case {
    std::string in, out;
  };
  const std::vector<Case> cases = {
      {"../../x.exe", "_.._x.exe"},
      {"...", "file.pdf"},
      {"", "file.pdf"},
      {" . report.csv . ", "report.csv"},
      {"a:b*c?d\"e<f>g|h\\i/j.txt", "a_b_c_d_e_f_g_h_i_j.txt"},
      {"tab\there\nnewline", "tab_here_newline"},
      {"Отчёт №5 (итог).csv", "Отчёт _5 _итог_.csv"},
      {"шаблон-импорта.csv", "шаблон-импорта.csv"},
      {"日本語_ラベル.pdf", "日本語_ラベル.pdf"},
      // digits of other scripts and numeric signs stay; symbols do not
      {"٣Ⅻ½.pdf", "٣Ⅻ½.pdf"},
      {"smile😀.pdf", "smile_.pdf"},
      {"a\u00a0b.pdf", "a_b.pdf"},  // a no-break space is not a space
  };
  for (const auto& c : cases) EXPECT_EQ(cleanFileName(c.in), c.out) << c.in;
}

TEST(Downloads, ClashingNamesGetANumber) {
  TempDir dir;
  for (const char* expected : {"report.csv", "report (2).csv", "report (3).csv"}) {
    auto saved = saveBytes(dir.path(), "report.csv", bytes("a;b"));
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(*saved, dir.path() / expected);
  }
  for (const char* expected : {"README", "README (2)"}) {
    auto saved = saveBytes(dir.path(), "README", bytes("x"));
    ASSERT_TRUE(saved) << saved.error();
    EXPECT_EQ(*saved, dir.path() / expected);
  }
  // The last extension is the extension.
  ASSERT_TRUE(saveBytes(dir.path(), "a.tar.gz", bytes("1")));
  EXPECT_EQ(*saveBytes(dir.path(), "a.tar.gz", bytes("2")), dir.path() / "a.tar (2).gz");
  EXPECT_EQ(readAll(dir.path() / "report.csv"), "a;b");
}

TEST(Downloads, WhenEveryNumberIsTakenTheFirstNameIsOverwritten) {
  TempDir dir;
  writeFile(dir.path() / "r.txt", "old");
  for (int i = 2; i <= 999; ++i) writeFile(dir.path() / ("r (" + std::to_string(i) + ").txt"), "");
  auto saved = saveBytes(dir.path(), "r.txt", bytes("new"));
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(*saved, dir.path() / "r.txt");
  EXPECT_EQ(readAll(dir.path() / "r.txt"), "new");
}

TEST(Downloads, ASymbolicLinkInTheFolderIsNeverWrittenThrough) {
  TempDir outside;
  TempDir dir;
  writeFile(outside.path() / "target", "keep");
  fs::create_symlink(outside.path() / "target", dir.path() / "label.pdf");
  fs::create_symlink(outside.path() / "missing", dir.path() / "dangling.pdf");

  // A link, even a dangling one, counts as a taken name.
  EXPECT_EQ(*saveBytes(dir.path(), "label.pdf", bytes("new")), dir.path() / "label (2).pdf");
  EXPECT_EQ(*saveBytes(dir.path(), "dangling.pdf", bytes("new")), dir.path() / "dangling (2).pdf");
  EXPECT_EQ(readAll(outside.path() / "target"), "keep");
  EXPECT_FALSE(fs::exists(outside.path() / "missing"));

  // Every number taken: the first name is a link, so nothing is written.
  for (int i = 2; i <= 999; ++i) writeFile(dir.path() / ("label (" + std::to_string(i) + ").pdf"), "");
  auto refused = saveBytes(dir.path(), "label.pdf", bytes("new"));
  ASSERT_FALSE(refused);
  EXPECT_TRUE(refused.error().starts_with("Не удалось сохранить файл: ")) << refused.error();
  EXPECT_EQ(readAll(outside.path() / "target"), "keep");
}

TEST(Downloads, EmptyDataAndWriteFailures) {
  TempDir dir;
  EXPECT_EQ(saveBytes(dir.path(), "a.csv", {}).error(), "Файл пустой");
  fs::create_directory(dir.path() / "folder.csv");
  for (int i = 2; i <= 999; ++i) fs::create_directory(dir.path() / ("folder (" + std::to_string(i) + ").csv"));
  EXPECT_EQ(saveBytes(dir.path(), "folder.csv", bytes("x")).error(), "Не удалось сохранить файл: Is a directory");
}

// Writes past `bytes` fail as on a full disk (EFBIG instead of ENOSPC), for
// this process only and without privileges; the limit is lifted at the end.
class WriteLimit {
 public:
  explicit WriteLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~WriteLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  WriteLimit(const WriteLimit&) = delete;
  WriteLimit& operator=(const WriteLimit&) = delete;

 private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::directory_iterator(dir)) out.push_back(e.path().filename().string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(Downloads, AFailedWriteLeavesNoStubAndNoCutFile) {
  TempDir dir;
  const Bytes big(64 * 1024, 'x');
  {
    WriteLimit full(4096);
    auto refused = saveBytes(dir.path(), "report.csv", big);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error(), "Не удалось сохранить файл: File too large");
  }
  // Nothing was left behind, so the next save takes the name itself.
  EXPECT_TRUE(entries(dir.path()).empty());
  EXPECT_EQ(*saveBytes(dir.path(), "report.csv", bytes("ok")), dir.path() / "report.csv");

  // Every number taken: the first name is to be replaced, and a failed write
  // leaves it exactly as it was.
  writeFile(dir.path() / "r.txt", "old content");
  for (int i = 2; i <= 999; ++i) writeFile(dir.path() / ("r (" + std::to_string(i) + ").txt"), "");
  {
    WriteLimit full(4096);
    EXPECT_FALSE(saveBytes(dir.path(), "r.txt", big));
  }
  EXPECT_EQ(readAll(dir.path() / "r.txt"), "old content");
  EXPECT_EQ(entries(dir.path()).size(), 1u + 998u + 1u);  // no temporary file either
  ASSERT_TRUE(saveBytes(dir.path(), "r.txt", big));
  EXPECT_EQ(fs::file_size(dir.path() / "r.txt"), big.size());
}

TEST(Downloads, NamesLongerThanTheFileSystemTakesAreShortened) {
  TempDir dir;
  std::string stem;
  for (int i = 0; i < 200; ++i) stem += "Отчёт";  // 2,000 bytes of two-byte letters
  for (const std::string& name : {stem + ".csv", stem, std::string(300, 'a') + "." + std::string(40, 'b')}) {
    std::vector<fs::path> saved;
    for (int i = 0; i < 2; ++i) {
      auto path = saveBytes(dir.path(), name, bytes("x"));
      ASSERT_TRUE(path) << path.error();
      saved.push_back(*path);
    }
    for (const auto& p : saved) {
      std::string file = p.filename().string();
      EXPECT_LE(file.size(), 255u);
      EXPECT_GE(file.size(), 250u);
      EXPECT_EQ(pathText(p), p.string()) << "a letter was cut in half";
    }
    if (name.ends_with(".csv")) {
      EXPECT_TRUE(saved[0].string().ends_with("т.csv") || saved[0].string().ends_with("ё.csv")) << saved[0];
      EXPECT_TRUE(saved[1].string().ends_with(" (2).csv")) << saved[1];
    }
  }
}

TEST(Downloads, FileExistsOnlyInsideTheFolder) {
  TempDir home;
  fs::path dl = home.path() / "Downloads";
  fs::create_directories(dl / "sub");
  TempDir outside;
  writeFile(dl / "a.csv", "x");
  writeFile(dl / "sub" / "b.csv", "x");
  writeFile(home.path() / "secret.txt", "x");
  writeFile(outside.path() / "c.csv", "x");
  fs::create_directory_symlink(outside.path(), dl / "link");
  fs::create_symlink(outside.path() / "c.csv", dl / "c.csv");

  struct Case {
    std::string path;
    bool exists;
  };
  const std::vector<Case> cases = {
      {(dl / "a.csv").string(), true},
      {(dl / "sub" / "b.csv").string(), true},
      {dl.string() + "//sub/./b.csv", true},
      {(dl / "missing.csv").string(), false},
      {(home.path() / "secret.txt").string(), false},              // outside, though it exists
      {(dl / ".." / "secret.txt").string(), false},                // ".." inside the path
      {(dl / "sub" / ".." / "a.csv").string(), false},             // ".." even when it stays inside
      {(dl / "link" / "c.csv").string(), false},                   // a linked folder leading out
      {(dl / "c.csv").string(), false},                            // a link to a file outside
      {(home.path() / "Downloads-other" / "a.csv").string(), false},  // same text prefix, other folder
      {"a.csv", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(existsInside(dl, c.path), c.exists) << c.path;

  // The Downloads folder itself may be a link to elsewhere: its files are inside.
  fs::path linkedDl = home.path() / "LinkedDownloads";
  fs::create_directory_symlink(dl, linkedDl);
  EXPECT_TRUE(existsInside(linkedDl, (linkedDl / "a.csv").string()));
  EXPECT_FALSE(existsInside(linkedDl, (dl / "a.csv").string()));  // not the path the folder is known by
}

// save_url_download over a test fetcher whose every allowed name is this server.
struct UrlSave {
  TestServer server;
  TempDir dl;
  Fetcher fetcher{FetcherOptions{{"files.test"},
                                 [](const std::string&) -> Result<std::vector<std::string>> {
                                   return std::vector<std::string>{"127.0.0.1"};
                                 }}};
  std::string url(const std::string& path) { return "http://files.test:" + std::to_string(server.port()) + path; }
  Result<fs::path> save(const std::string& path, const std::string& name) {
    return saveFromUrl(fetcher, url(path), name, [this]() -> Result<fs::path> { return dl.path(); });
  }
  std::size_t fileCount() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dl.path()), fs::directory_iterator()));
  }
};

TEST(Downloads, UrlDownloadStreamsIntoACleanName) {
  UrlSave s;
  std::string big(300000, 'z');
  s.server.route("/export", Canned{200, big, "text/csv"});
  auto saved = s.save("/export", "../инвентаризация.csv");
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(*saved, s.dl.path() / "_инвентаризация.csv");
  EXPECT_EQ(readAll(*saved), big);
  EXPECT_EQ(*s.save("/export", "../инвентаризация.csv"), s.dl.path() / "_инвентаризация (2).csv");
}

TEST(Downloads, UrlDownloadFailuresLeaveNoEmptyFile) {
  UrlSave s;
  s.server.route("/gone", Canned{410, "gone"});
  s.server.route("/broken", Canned{500, "oops"});
  s.server.route("/empty", Canned{200, ""});
  s.server.route("/cut", Canned{200, "part", "text/csv", {}, /*truncate=*/true});
  struct Case {
    std::string path, error;
  };
  const std::vector<Case> cases = {
      {"/gone", "Ссылка недействительна — соберите файл заново"},
      {"/missing", "Ссылка недействительна — соберите файл заново"},
      {"/broken", "Сервер ответил 500"},
      {"/empty", "Сервер отдал пустой файл"},
  };
  for (const auto& c : cases) {
    auto saved = s.save(c.path, "report.csv");
    ASSERT_FALSE(saved) << c.path;
    EXPECT_EQ(saved.error(), c.error) << c.path;
    EXPECT_EQ(s.fileCount(), 0u) << c.path;
  }
  // The allow-list and its messages are those of the label fetch.
  EXPECT_EQ(saveFromUrl(s.fetcher, "ftp://files.test/x", "x", [&]() -> Result<fs::path> { return s.dl.path(); })
                .error(),
            "Недопустимая схема ссылки на этикетку: ftp");

  // A body cut short: what arrived stays for the user.
  auto cut = s.save("/cut", "report.csv");
  ASSERT_FALSE(cut);
  EXPECT_TRUE(cut.error().starts_with("Файл скачался не до конца: ")) << cut.error();
  EXPECT_EQ(readAll(s.dl.path() / "report.csv"), "part");
}

TEST(Downloads, UrlDownloadWithoutTheFolderFailsAfterTheAnswer) {
  UrlSave s;
  s.server.route("/x", Canned{200, "data"});
  auto saved = saveFromUrl(s.fetcher, s.url("/x"), "x.csv",
                           []() -> Result<fs::path> { return fail("Не нашли папку загрузок"); });
  EXPECT_EQ(saved.error(), "Не нашли папку загрузок");
}

// ---- The commands, on the user's configured Downloads folder ----------------

struct Host {
  TempDir home;
  ScopedEnv homeEnv{"HOME", home.path().string()};
  ScopedEnv configEnv{"XDG_CONFIG_HOME", (home.path() / "config").string()};
  app::Config config = *app::buildConfig();
  log::AppLog log{[dir = home.path()]() -> Result<fs::path> { return dir / "logs"; }};
  HostContext ctx{config, log, nullptr};
  bridge::CommandTable table = commands::buildCommandTable();
  bridge::Dispatcher dispatcher{table, config.permissions, ctx, nullptr, nullptr};

  Result<Json> call(const std::string& name, const Json& args) {
    auto r = dispatcher.call(name, args);
    if (!r) return fail(r.error());
    return std::get<Json>(r->body);
  }
};

TEST(DownloadCommands, SaveIntoTheConfiguredFolderCreatedWhenMissing) {
  Host h;
  Json data = Json::array({0xEF, 0xBB, 0xBF, 'a'});
  // Asking whether a file is there creates nothing.
  EXPECT_EQ(h.call("file_exists", {{"path", (h.home.path() / "Downloads" / "a.csv").string()}}).error(),
            "Не нашли папку загрузок");
  EXPECT_FALSE(fs::exists(h.home.path() / "Downloads"));

  // Something else at the folder's name is left alone.
  writeFile(h.home.path() / "Downloads", "not a folder");
  EXPECT_EQ(h.call("save_download", {{"name", "a.csv"}, {"data", data}}).error(), "Не нашли папку загрузок");
  EXPECT_EQ(readAll(h.home.path() / "Downloads"), "not a folder");
  fs::remove(h.home.path() / "Downloads");

  // ~/Downloads without a user-dirs file: made by the first save.
  auto saved = h.call("save_download", {{"name", "a.csv"}, {"data", data}});
  ASSERT_TRUE(saved) << saved.error();
  EXPECT_EQ(*saved, (h.home.path() / "Downloads" / "a.csv").string());
  EXPECT_EQ(readAll(h.home.path() / "Downloads" / "a.csv"), "\xEF\xBB\xBF" "a");
  EXPECT_EQ(*h.call("file_exists", {{"path", *saved}}), Json(true));

  // The desktop's own choice wins, read again on every call.
  fs::create_directories(h.home.path() / "config");
  fs::create_directory(h.home.path() / "Загрузки");
  writeFile(h.home.path() / "config" / "user-dirs.dirs",
            "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOWNLOAD_DIR=\"$HOME/Загрузки\"\n");
  EXPECT_EQ(*h.call("save_download", {{"name", "a.csv"}, {"data", data}}),
            Json((h.home.path() / "Загрузки" / "a.csv").string()));
  EXPECT_EQ(*h.call("file_exists", {{"path", *saved}}), Json(false));  // now outside the folder

  // The desktop's folder is made too when it is missing.
  writeFile(h.home.path() / "config" / "user-dirs.dirs",
            "XDG_DOWNLOAD_DIR=\"" + (h.home.path() / "dl \\\"q\\\"").string() + "\"\n");
  EXPECT_EQ(*h.call("save_download", {{"name", "b.csv"}, {"data", data}}),
            Json((h.home.path() / "dl \"q\"" / "b.csv").string()));

  EXPECT_EQ(h.call("save_download", {{"name", "a.csv"}, {"data", Json::array()}}).error(), "Файл пустой");
}

TEST(DownloadCommands, SaveUrlDownloadRunsThroughTheCommand) {
  if (!app::flavourHosts().loopback) GTEST_SKIP() << "the compiled-in hosts are not on loopback";
  Host h;
  fs::create_directory(h.home.path() / "Downloads");
  TestServer server;  // 127.0.0.1: the local file host
  server.route("/files/report.csv", Canned{200, "a;b\n", "text/csv"});
  server.route("/files/gone.csv", Canned{410, ""});
  std::string base = server.base();
  EXPECT_EQ(*h.call("save_url_download", {{"url", base + "/files/report.csv"}, {"name", "report.csv"}}),
            Json((h.home.path() / "Downloads" / "report.csv").string()));
  EXPECT_EQ(h.call("save_url_download", {{"url", base + "/files/gone.csv"}, {"name", "gone.csv"}}).error(),
            "Ссылка недействительна — соберите файл заново");
  EXPECT_FALSE(fs::exists(h.home.path() / "Downloads" / "gone.csv"));
  EXPECT_EQ(h.call("save_url_download", {{"url", "http://evil.test/x"}, {"name", "x"}}).error(),
            "Домен evil.test не разрешен для скачивания этикетки");
}

}  // namespace
}  // namespace zorvik::fetch
