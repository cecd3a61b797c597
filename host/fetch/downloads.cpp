#include "fetch/downloads.hpp"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

#include "core/system_error.hpp"
#include "platform/files.hpp"
#include "platform/paths.hpp"

namespace zorvik::fetch {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoDownloads = "Не нашли папку загрузок";

bool keptInName(UChar32 c) {
  if (c == ' ' || c == '-' || c == '.' || c == '_') return true;
  if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) return true;
  switch (u_charType(c)) {
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
      return true;
    default:
      return false;
  }
}

void appendUtf8(std::string& out, UChar32 c) {
  char buf[U8_MAX_LENGTH];
  int32_t n = 0;
  UBool error = false;
  U8_APPEND(buf, n, U8_MAX_LENGTH, c, error);
  if (!error) out.append(buf, static_cast<std::size_t>(n));
}

// The longest file name the common file systems take, in bytes.
constexpr std::size_t kMaxNameBytes = 255;
// An extension longer than this is part of the name, not a type to keep.
constexpr std::size_t kMaxKeptExtension = 32;

// `text` cut to at most `limit` bytes without splitting a character.
std::string cutUtf8(std::string_view text, std::size_t limit) {
  if (text.size() <= limit) return std::string(text);
  std::size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

std::string trimmedEnd(std::string s) {
  auto last = s.find_last_not_of(" .");
  s.erase(last == std::string::npos ? 0 : last + 1);
  return s;
}

// `stem` followed by `tail` in at most kMaxNameBytes: the stem gives way, so
// a counter and an extension in `tail` survive.
std::string withinNameLimit(std::string_view stem, std::string_view tail) {
  if (stem.size() + tail.size() <= kMaxNameBytes) return std::string(stem) + std::string(tail);
  if (tail.size() + 1 > kMaxNameBytes) return trimmedEnd(cutUtf8(std::string(stem) + std::string(tail), kMaxNameBytes));
  std::string head = trimmedEnd(cutUtf8(stem, kMaxNameBytes - tail.size()));
  if (head.empty()) head = "file";
  return head + std::string(tail);
}

bool taken(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens for writing (create or truncate), never through a symbolic link that
// sits at the chosen name: the file would land outside the folder.
Result<File> openForWriting(const fs::path& path) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec)))
    return fail(std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
  errno = 0;
  File f(std::fopen(path.c_str(), "wb"));
  if (!f) return fail(errnoText(errno ? errno : EIO));
  return f;
}

// Closes the file, reporting a write that failed only at the end.
Status closeFile(File& f) {
  errno = 0;
  int rc = std::fclose(f.release());
  if (rc != 0) return fail(errnoText(errno ? errno : EIO));
  return {};
}

// Path components without empty and "." entries, so "a//b/./c/" reads as a, b, c.
std::vector<fs::path> components(const fs::path& p) {
  std::vector<fs::path> out;
  for (const auto& c : p)
    if (!c.empty() && c != ".") out.push_back(c);
  return out;
}

bool startsWith(const fs::path& path, const fs::path& prefix) {
  auto a = components(path);
  auto b = components(prefix);
  if (b.size() > a.size()) return false;
  return std::equal(b.begin(), b.end(), a.begin());
}

}  // namespace

std::string cleanFileName(std::string_view name) {
  std::string out;
  const auto* s = reinterpret_cast<const uint8_t*>(name.data());
  const auto length = static_cast<int32_t>(name.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    if (c >= 0 && keptInName(c)) appendUtf8(out, c);
    else out += '_';
  }
  auto first = out.find_first_not_of(" .");
  if (first == std::string::npos) return "file.pdf";
  auto last = out.find_last_not_of(" .");
  out = out.substr(first, last - first + 1);
  if (out.size() <= kMaxNameBytes) return out;
  fs::path asPath(out);
  std::string ext = asPath.has_extension() ? asPath.extension().string() : std::string();
  if (ext.size() > kMaxKeptExtension) ext.clear();
  return withinNameLimit(std::string_view(out).substr(0, out.size() - ext.size()), ext);
}

fs::path chooseFreePath(const fs::path& dir, const std::string& cleaned) {
  fs::path first = dir / cleaned;
  if (!taken(first)) return first;
  fs::path name(cleaned);
  std::string stem = name.stem().string();
  if (stem.empty()) stem = "file";
  std::string ext = name.has_extension() ? name.extension().string() : std::string();  // with its dot
  for (int i = 2; i <= 999; ++i) {
    fs::path candidate = dir / withinNameLimit(stem, " (" + std::to_string(i) + ")" + ext);
    if (!taken(candidate)) return candidate;
  }
  return first;
}

Result<fs::path> findDownloadsDir() {
  auto dir = platform::downloadsDir();
  if (!dir) return fail(std::string(kNoDownloads));
  std::error_code ec;
  if (!fs::is_directory(*dir, ec)) return fail(std::string(kNoDownloads));
  return *dir;
}

Result<fs::path> ensureDownloadsDir() {
  auto dir = platform::downloadsDir();
  if (!dir) return fail(std::string(kNoDownloads));
  std::error_code ec;
  if (fs::is_directory(*dir, ec)) return *dir;
  // Many accounts never had one; anything else at that name stays untouched.
  if (fs::exists(fs::symlink_status(*dir, ec))) return fail(std::string(kNoDownloads));
  fs::create_directories(*dir, ec);
  if (ec || !fs::is_directory(*dir, ec)) return fail(std::string(kNoDownloads));
  return *dir;
}

Result<fs::path> saveBytes(const fs::path& dir, std::string_view name, std::span<const std::uint8_t> data) {
  constexpr std::string_view kFailed = "Не удалось сохранить файл: ";
  if (data.empty()) return fail("Файл пустой");
  // The whole content goes to a hidden file first: a write that fails (a full
  // disk) leaves neither a stub under the name nor a cut old file.
  auto staged = platform::StagedFile::write(dir, {reinterpret_cast<const char*>(data.data()), data.size()}, false);
  if (!staged) return failWith(kFailed, staged.error());
  const std::string cleaned = cleanFileName(name);
  Error placeError = platform::StagedFile::alreadyExists();
  // A name taken between the choice and the rename is chosen again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    fs::path path = chooseFreePath(dir, cleaned);
    const bool replace = taken(path);  // every numbered name is taken: the first one is replaced
    // A link there stays the user's: it is neither followed nor replaced.
    std::error_code ec;
    if (replace && fs::is_symlink(fs::symlink_status(path, ec)))
      return failWith(kFailed, std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
    auto placed = staged->place(path, replace);
    if (placed) return path;
    placeError = placed.error();
    if (replace || placeError != platform::StagedFile::alreadyExists()) break;
  }
  return failWith(kFailed, placeError);
}

Result<fs::path> saveFromUrl(Fetcher& fetcher, std::string_view url, std::string_view name,
                             const DirLookup& findDir) {
  fs::path path;
  File file;
  ResponseSink sink;
  sink.onHead = [&](const ResponseHead& head) -> Status {
    if (head.status == 404 || head.status == 410) return fail("Ссылка недействительна — соберите файл заново");
    if (head.status < 200 || head.status > 299) return fail("Сервер ответил " + std::to_string(head.status));
    auto dir = findDir();
    if (!dir) return fail(dir.error());
    path = chooseFreePath(*dir, cleanFileName(name));
    auto opened = openForWriting(path);
    if (!opened) return failWith("Не удалось создать файл: ", opened.error());
    file = std::move(*opened);
    // Each chunk goes to the disk in full before the next one is read.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    return {};
  };
  sink.onChunk = [&](std::span<const std::uint8_t> chunk) -> Status {
    errno = 0;
    if (std::fwrite(chunk.data(), 1, chunk.size(), file.get()) != chunk.size())
      return failWith("Не удалось записать файл: ", errnoText(errno ? errno : EIO));
    return {};
  };

  auto head = fetcher.get(url, kDownloadTimeout, sink);
  Status closed = file ? closeFile(file) : Status{};
  std::error_code ec;
  auto size = path.empty() ? 0 : fs::file_size(path, ec);
  bool empty = ec || size == 0;
  if (!head) {
    // A partly written file stays for the user to see; an empty one is no use.
    if (!path.empty() && empty) fs::remove(path, ec);
    return fail(head.error());
  }
  if (!closed) return failWith("Не удалось записать файл: ", closed.error());
  if (empty) {
    fs::remove(path, ec);
    return fail("Сервер отдал пустой файл");
  }
  return path;
}

bool existsInside(const fs::path& dir, std::string_view pathText) {
  fs::path path(pathText);
  if (!path.is_absolute() || !startsWith(path, dir)) return false;
  for (const auto& c : path)
    if (c == "..") return false;
  std::error_code ec;
  if (components(path).size() == components(dir).size()) return fs::is_directory(dir, ec);
  // The folder that holds it must really be inside: a symbolic link on the
  // way may lead anywhere.
  fs::path realDir = fs::canonical(dir, ec);
  if (ec) return false;
  fs::path realParent = fs::canonical(path.parent_path(), ec);
  if (ec || !startsWith(realParent, realDir)) return false;
  auto status = fs::symlink_status(path, ec);
  if (ec || fs::is_symlink(status)) return false;
  return fs::exists(status);
}

std::string pathText(const fs::path& path) {
  const std::string raw = path.string();
  std::string out;
  const auto* s = reinterpret_cast<const uint8_t*>(raw.data());
  const auto length = static_cast<int32_t>(raw.size());
  for (int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(s, i, length, c);
    appendUtf8(out, c < 0 ? 0xFFFD : c);
  }
  return out;
}

}  // namespace zorvik::fetch
