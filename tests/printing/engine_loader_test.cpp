// Finding and loading the engine library, and the text that explains a failed
// load: run against a temporary executable folder with real and broken files.
#include <gtest/gtest.h>

#include <elf.h>

#include <cerrno>
#include <fstream>
#include <iterator>

#include "platform/library.hpp"
#include "platform/linux/library_linux.hpp"
#include "platform/paths.hpp"
#include "printing/engine_loader.hpp"
#include "printing/renderer.hpp"
#include "test_env.hpp"

namespace zorvik::printing {
namespace {

namespace fs = std::filesystem;

fs::path buildDir() { return *platform::executableDir(); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

const std::string kReinstall =
    "Библиотека ставится вместе с приложением. Переустановите приложение, скачав установщик заново; если сообщение "
    "повторится — отправьте его в поддержку целиком.";
const std::string kFilePresent =
    "Файл на месте, но система его не загружает. Отправьте это сообщение в поддержку целиком — по тексту ошибки видно "
    "причину.";

std::string systemLine() {
  auto system = platform::describeSystem();
  return system ? "Система: " + system->text + "\n\n" : "";
}

TEST(EngineLoaderTest, NoLibraryAnywhereListsBothCandidatesThenCopyingItInMakesTheNextCallSucceed) {
  testing::TempDir exe;
  auto renderer = Renderer::start(exe.path());
  ASSERT_TRUE(renderer);
  auto first = (*renderer)->probe();
  ASSERT_FALSE(first);
  EXPECT_EQ(first.error(), "Не найдена библиотека печати libpdfium.so — без неё приложение не может подготовить "
                           "этикетку.\n\n" +
                               systemLine() + "Где искали:\n• " + (exe.path() / "resources/libpdfium.so").string() +
                               " — файла нет\n• " + (exe.path() / "libpdfium.so").string() +
                               " — файла нет\n(плюс системные каталоги библиотек)\n\n" + kReinstall);
  // A render request gets the same text.
  auto render = (*renderer)->render(Bytes{'%', 'P', 'D', 'F'}, 203);
  ASSERT_FALSE(render);
  EXPECT_EQ(render.error(), first.error());

  fs::copy_file(buildDir() / "libpdfium.so", exe.path() / "libpdfium.so");
  auto second = (*renderer)->probe();
  ASSERT_TRUE(second) << second.error();
  EXPECT_EQ(*second, (exe.path() / "libpdfium.so").string());
}

TEST(EngineLoaderTest, TheResourcesFolderComesFirst) {
  testing::TempDir exe;
  fs::create_directories(exe.path() / "resources");
  fs::copy_file(buildDir() / "libpdfium.so", exe.path() / "resources/libpdfium.so");
  writeFile(exe.path() / "libpdfium.so", "not looked at");
  auto renderer = Renderer::start(exe.path());
  ASSERT_TRUE(renderer);
  auto label = (*renderer)->probe();
  ASSERT_TRUE(label) << label.error();
  EXPECT_EQ(*label, (exe.path() / "resources/libpdfium.so").string());
}

// An ELF header of the given class and processor, as a 32-bit build would start.
std::string elfHeader(unsigned char elfClass, unsigned machine) {
  std::string h(64, '\0');
  h.replace(0, 4, ELFMAG);
  h[EI_CLASS] = static_cast<char>(elfClass);
  h[EI_DATA] = ELFDATA2LSB;
  h[EI_VERSION] = EV_CURRENT;
  h[16] = ET_DYN;
  h[18] = static_cast<char>(machine & 0xFF);
  h[19] = static_cast<char>(machine >> 8);
  return h;
}

TEST(EngineLoaderTest, AFileThatDoesNotLoadGetsItsSizeAndReason) {
  std::string realEngine = readFile(buildDir() / "libpdfium.so");
  ASSERT_GT(realEngine.size(), 64U);
  std::string otherProcessor = realEngine;
  otherProcessor[18] = static_cast<char>(EM_AARCH64);
  otherProcessor[19] = 0;
  struct Case {
    std::string name;
    std::string bytes;
    std::string reason;
  } cases[] = {
      {"32-bit build", elfHeader(ELFCLASS32, EM_386),
       "библиотека не загрузилась — файл собран для другой разрядности процессора: это 32-разрядная библиотека, а "
       "приложению нужна 64-разрядная (загрузчик Linux: "},
      {"another processor", otherProcessor,
       "библиотека не загрузилась — файл не подходит этой системе: он собран для процессора ARM AArch64, а здесь "
       "x86-64 (загрузчик Linux: "},
      {"not a library", "<html>not found</html>",
       "библиотека не загрузилась — файл не подходит этой системе: это не библиотека Linux (загрузчик Linux: "},
      {"missing exported function", readFile(buildDir() / "engine-fixtures/missing-export/libpdfium.so"),
       "в библиотеке нет функции FPDF_FFLDraw"},
      {"missing dependency", readFile(buildDir() / "engine-fixtures/missing-dependency/libpdfium.so"),
       "библиотека не загрузилась — Linux не нашла библиотеку libzorvik_gone_dependency.so, от которой зависит этот "
       "файл (загрузчик Linux: libzorvik_gone_dependency.so: cannot open shared object file"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_FALSE(c.bytes.empty());
    testing::TempDir exe;
    writeFile(exe.path() / "libpdfium.so", c.bytes);
    auto loaded = loadEngine(exe.path());
    ASSERT_FALSE(loaded);
    char size[32];
    std::snprintf(size, sizeof size, "%.1f", static_cast<double>(c.bytes.size()) / 1048576.0);
    std::string line = "• " + (exe.path() / "libpdfium.so").string() + " — файл на месте (" + size +
                       " МБ), но загрузить его не удалось: " + c.reason;
    EXPECT_NE(loaded.error().find("• " + (exe.path() / "resources/libpdfium.so").string() + " — файла нет\n" + line),
              std::string::npos)
        << loaded.error();
    EXPECT_TRUE(loaded.error().ends_with("\n(плюс системные каталоги библиотек)\n\n" + kFilePresent))
        << loaded.error();
  }
}

TEST(EngineLoaderTest, ASecondEngineInTheSameProcessIsRefusedWithItsOwnAdvice) {
  auto first = Renderer::start(buildDir());
  ASSERT_TRUE(first);
  ASSERT_TRUE((*first)->probe());
  auto second = Renderer::start(buildDir());
  ASSERT_TRUE(second);
  auto refused = (*second)->probe();
  ASSERT_FALSE(refused);
  EXPECT_NE(refused.error().find("загрузить его не удалось: библиотека печати уже инициализирована в этом процессе"),
            std::string::npos);
  EXPECT_TRUE(refused.error().ends_with(
      "Библиотека уже подключена в этом запуске приложения — дело не в файле и не в системе. Это наша ошибка, и она "
      "исправлена: перезапустите приложение, чтобы напечатать сейчас, и обновите его до последней версии."));
  first->reset();  // the first engine is freed: the second renderer's next request loads it
  EXPECT_TRUE((*second)->probe());
}

TEST(EngineLoaderTest, AdviceAndLinesOfTheLoadError) {
  std::vector<CandidateAttempt> present = {{"/opt/z/resources/libpdfium.so", false, 0, "", false},
                                           {"/opt/z/libpdfium.so", true, 3407872, "", false}};
  std::string text = engineLoadError(present, platform::SystemDescription{"Debian 12", false});
  EXPECT_EQ(text,
            "Не найдена библиотека печати libpdfium.so — без неё приложение не может подготовить этикетку.\n\n"
            "Система: Debian 12\n\nГде искали:\n• /opt/z/resources/libpdfium.so — файла нет\n"
            "• /opt/z/libpdfium.so — файл на месте (3.2 МБ), но загрузить его не удалось: причина неизвестна\n"
            "(плюс системные каталоги библиотек)\n\n" +
                kFilePresent);
  // No system line when the system cannot be told; an old system has its own advice.
  EXPECT_NE(engineLoadError(present, std::nullopt).find("этикетку.\n\nГде искали:"), std::string::npos);
  EXPECT_TRUE(engineLoadError(present, platform::SystemDescription{"Windows 7 (6.1.7601)", true})
                  .ends_with("Система — Windows 7 (6.1.7601), а этой библиотеке нужна Windows 10 или новее: поэтому "
                             "файл и не загружается. Переустановка не поможет. Напишите в поддержку и укажите версию "
                             "системы — подберём вариант печати для неё."));
  EXPECT_EQ(systemText(std::nullopt), "версия неизвестна");
}

TEST(EngineLoaderTest, LinuxLoaderFailuresMapToReasons) {
  using platform::LoadFailureKind;
  namespace ll = platform::linux_loader;
  std::string elf64 = elfHeader(ELFCLASS64, EM_X86_64);
  std::string executable = elf64;
  executable[16] = ET_EXEC;
  struct Case {
    std::string name;
    ll::LoadFacts facts;
    LoadFailureKind kind;
    std::string reason;
  } cases[] = {
      {"no right to read", {"/a/libpdfium.so", EACCES, "", false, "/a/libpdfium.so: Permission denied"},
       LoadFailureKind::PermissionDenied,
       "Linux запретила загрузку: нет прав на чтение файла (загрузчик Linux: /a/libpdfium.so: Permission denied)"},
      {"noexec mount", {"/a/libpdfium.so", 0, elf64, true, "/a/libpdfium.so: failed to map segment"},
       LoadFailureKind::PermissionDenied,
       "Linux запретила загрузку: файловая система, где лежит файл, запрещает запускать из него код (загрузчик "
       "Linux: /a/libpdfium.so: failed to map segment)"},
      {"executable, not a library", {"/a/libpdfium.so", 0, executable, false, ""}, LoadFailureKind::NotALibrary,
       "файл не подходит этой системе: это не библиотека, а другой файл Linux"},
      {"unresolved function",
       {"/a/libpdfium.so", 0, elf64, false, "/a/libpdfium.so: undefined symbol: _ZN6PDFDoc4Open"},
       LoadFailureKind::StartFailed,
       "файл загрузился, но не смог запуститься: в библиотеках системы нет нужной ему функции (загрузчик Linux: "
       "/a/libpdfium.so: undefined symbol: _ZN6PDFDoc4Open)"},
      {"anything else", {"/a/libpdfium.so", 0, elf64, false, "/a/libpdfium.so: file too short"},
       LoadFailureKind::Unknown, "причина не разобрана (загрузчик Linux: /a/libpdfium.so: file too short)"},
  };
  for (const auto& c : cases) {
    auto failure = ll::classifyLoadFailure(c.facts);
    EXPECT_EQ(failure.kind, c.kind) << c.name;
    EXPECT_EQ(failure.reason, c.reason) << c.name;
  }
}

TEST(EngineLoaderTest, SystemNameComesFromOsRelease) {
  namespace ll = platform::linux_loader;
  EXPECT_EQ(ll::osReleaseName("NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"),
            "Debian GNU/Linux 12 (bookworm)");
  EXPECT_EQ(ll::osReleaseName("NAME=Fedora\nVERSION='40 (Workstation)'\n"), "Fedora 40 (Workstation)");
  EXPECT_EQ(ll::osReleaseName(""), "");
  auto system = platform::describeSystem();
  ASSERT_TRUE(system);
  EXPECT_NE(system->text.find(", ядро Linux "), std::string::npos) << system->text;
  EXPECT_FALSE(system->belowMinimum);
}

}  // namespace
}  // namespace zorvik::printing
