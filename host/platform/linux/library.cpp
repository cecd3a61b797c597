#include "platform/library.hpp"

#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/linux/library_linux.hpp"

namespace zorvik::platform {

namespace linux_loader {

namespace {

#if defined(__x86_64__)
constexpr unsigned kHostMachine = EM_X86_64;
constexpr unsigned char kHostClass = ELFCLASS64;
constexpr const char* kHostBits = "64";
constexpr const char* kHostName = "x86-64";
#elif defined(__aarch64__)
constexpr unsigned kHostMachine = EM_AARCH64;
constexpr unsigned char kHostClass = ELFCLASS64;
constexpr const char* kHostBits = "64";
constexpr const char* kHostName = "ARM AArch64";
#else
#error "Name this processor for the loader's diagnostics"
#endif

std::string machineName(unsigned machine) {
  switch (machine) {
    case EM_386: return "x86";
    case EM_X86_64: return "x86-64";
    case EM_ARM: return "ARM";
    case EM_AARCH64: return "ARM AArch64";
    case EM_RISCV: return "RISC-V";
    case EM_MIPS: return "MIPS";
    case EM_PPC64: return "PowerPC 64";
    case EM_S390: return "IBM Z";
    default: return "код процессора " + std::to_string(machine);
  }
}

// Reads a 16-bit field of the ELF header in the file's own byte order.
unsigned field16(const std::string& h, std::size_t at) {
  auto b0 = static_cast<unsigned char>(h[at]), b1 = static_cast<unsigned char>(h[at + 1]);
  return h[EI_DATA] == ELFDATA2MSB ? (b0 << 8) | b1 : (b1 << 8) | b0;
}

// "<object>: <message>": the object the loader was busy with when it failed.
std::string failedObject(const std::string& loaderText) {
  auto colon = loaderText.find(": ");
  return colon == std::string::npos ? std::string() : loaderText.substr(0, colon);
}

LoadFailure make(LoadFailureKind kind, std::string text, const LoadFacts& facts) {
  if (!facts.loaderText.empty()) text += " (загрузчик Linux: " + facts.loaderText + ")";
  return {kind, std::move(text)};
}

}  // namespace

LoadFailure classifyLoadFailure(const LoadFacts& f) {
  using K = LoadFailureKind;
  if (f.openErrno == EACCES || f.openErrno == EPERM)
    return make(K::PermissionDenied, "Linux запретила загрузку: нет прав на чтение файла", f);
  const std::string& h = f.header;
  if (f.openErrno == 0) {
    if (h.size() < EI_NIDENT || h.compare(0, SELFMAG, ELFMAG) != 0)
      return make(K::NotALibrary, "файл не подходит этой системе: это не библиотека Linux", f);
    if (static_cast<unsigned char>(h[EI_CLASS]) != kHostClass) {
      const char* bits = h[EI_CLASS] == ELFCLASS32 ? "32" : h[EI_CLASS] == ELFCLASS64 ? "64" : "другой";
      return make(K::OtherClass,
                  std::string("файл собран для другой разрядности процессора: это ") + bits +
                      "-разрядная библиотека, а приложению нужна " + kHostBits + "-разрядная",
                  f);
    }
    if (h.size() >= 20) {
      unsigned machine = field16(h, 18);
      if (h[EI_DATA] != ELFDATA2LSB || machine != kHostMachine)
        return make(K::OtherArchitecture,
                    "файл не подходит этой системе: он собран для процессора " + machineName(machine) +
                        ", а здесь " + kHostName,
                    f);
      if (field16(h, 16) != ET_DYN)
        return make(K::NotALibrary, "файл не подходит этой системе: это не библиотека, а другой файл Linux", f);
    }
  }
  if (f.noexecMount)
    return make(K::PermissionDenied,
                "Linux запретила загрузку: файловая система, где лежит файл, запрещает запускать из него код", f);
  std::string object = failedObject(f.loaderText);
  if (!object.empty() && object != f.path && f.loaderText.find("cannot open shared object file") != std::string::npos)
    return make(K::DependencyMissing, "Linux не нашла библиотеку " + object + ", от которой зависит этот файл", f);
  if (f.loaderText.find("undefined symbol") != std::string::npos)
    return make(K::StartFailed, "файл загрузился, но не смог запуститься: в библиотеках системы нет нужной ему функции",
                f);
  return make(K::Unknown, "причина не разобрана", f);
}

std::string osReleaseName(const std::string& osRelease) {
  std::istringstream in(osRelease);
  std::string line, pretty, name, version;
  auto value = [](std::string v) {
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) v = v.substr(1, v.size() - 2);
    return v;
  };
  while (std::getline(in, line)) {
    if (line.starts_with("PRETTY_NAME=")) pretty = value(line.substr(12));
    else if (line.starts_with("NAME=")) name = value(line.substr(5));
    else if (line.starts_with("VERSION=")) version = value(line.substr(8));
  }
  if (!pretty.empty()) return pretty;
  if (!name.empty() && !version.empty()) return name + " " + version;
  return name;
}

}  // namespace linux_loader

namespace {

// dlerror() in English whatever the user's language, so failures can be told apart.
class CLocaleScope {
 public:
  CLocaleScope() : c_(newlocale(LC_ALL_MASK, "C", nullptr)), old_(c_ ? uselocale(c_) : nullptr) {}
  ~CLocaleScope() {
    if (c_) {
      uselocale(old_);
      freelocale(c_);
    }
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

 private:
  locale_t c_;
  locale_t old_;
};

linux_loader::LoadFacts factsAbout(const std::filesystem::path& path, std::string loaderText) {
  linux_loader::LoadFacts facts;
  facts.path = path.string();
  facts.loaderText = std::move(loaderText);
  int fd = ::open(facts.path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    facts.openErrno = errno;
    return facts;
  }
  char buf[64];
  ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) facts.header.assign(buf, static_cast<std::size_t>(n));
  struct statvfs fs{};
  if (::fstatvfs(fd, &fs) == 0) facts.noexecMount = (fs.f_flag & ST_NOEXEC) != 0;
  ::close(fd);
  return facts;
}

}  // namespace

std::expected<Library, LoadFailure> Library::open(const std::filesystem::path& path) {
  CLocaleScope cLocale;
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) return Library(handle);
  const char* text = ::dlerror();
  return std::unexpected(linux_loader::classifyLoadFailure(factsAbout(path, text ? text : "")));
}

std::expected<Library, LoadFailure> Library::openFromSystem(const std::string& fileName) {
  CLocaleScope cLocale;
  void* handle = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle) return Library(handle);
  const char* text = ::dlerror();
  linux_loader::LoadFacts facts;
  facts.path = fileName;
  facts.openErrno = ENOENT;  // no one file to look at: the search went through several folders
  facts.loaderText = text ? text : "";
  return std::unexpected(linux_loader::classifyLoadFailure(facts));
}

Library::Library(Library&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}

Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    if (handle_) ::dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
  }
  return *this;
}

Library::~Library() {
  if (handle_) ::dlclose(handle_);
}

void* Library::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

std::string libraryFileName(std::string_view stem) { return "lib" + std::string(stem) + ".so"; }

std::optional<SystemDescription> describeSystem() {
  utsname u{};
  if (::uname(&u) != 0) return std::nullopt;
  std::ifstream in("/etc/os-release");
  if (!in) in.open("/usr/lib/os-release");
  std::stringstream text;
  text << in.rdbuf();
  std::string name = linux_loader::osReleaseName(text.str());
  if (name.empty()) name = "Linux";
  return SystemDescription{name + ", ядро " + u.sysname + " " + u.release + ", " + u.machine, false};
}

}  // namespace zorvik::platform
