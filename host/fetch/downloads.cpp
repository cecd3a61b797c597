#include "fetch/downloads.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

#include "core/system_error.hpp"
#include "core/utf8_path.hpp"
#include "platform/c_file.hpp"
#include "platform/files.hpp"
#include "platform/paths.hpp"
#include "platform/unicode.hpp"

namespace zorvik::fetch {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoDownloads = "Не нашли папку загрузок";

bool keptInName(char32_t c) {
  if (c == ' ' || c == '-' || c == '.' || c == '_') return true;
  return platform::isLetterOrNumber(c);
}

// The character starting at byte `i` of `s`, moving `i` past it; -1 (and `i`
// past the longest start of a sequence that is not one) for bytes that are
// not UTF-8.
std::int32_t nextUtf8(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(s[at]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int trail = 0;
  std::int32_t c = 0;
  unsigned char low = 0x80, high = 0xBF;  // the range of the first trail byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    trail = 1;
    c = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    trail = 2;
    c = lead & 0x0F;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    trail = 3;
    c = lead & 0x07;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return -1;
  }
  for (int k = 0; k < trail; ++k) {
    if (i >= s.size()) return -1;
    const unsigned char b = byte(i);
    if (b < (k == 0 ? low : 0x80) || b > (k == 0 ? high : 0xBF)) return -1;
    c = (c << 6) | (b & 0x3F);
    ++i;
  }
  return c;
}

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
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

using File = platform::CFile;

// Opens for writing (create or truncate), never through a symbolic link that
// sits at the chosen name: the file would land outside the folder.
Result<File> openForWriting(const fs::path& path) {
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(path, ec)))
    return fail(std::make_error_code(std::errc::too_many_symbolic_link_levels).message());
  errno = 0;
  File f = platform::openFile(path, "wb");
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
  for (std::size_t i = 0; i < name.size();) {
    const std::int32_t c = nextUtf8(name, i);
    if (c >= 0 && keptInName(static_cast<char32_t>(c))) appendUtf8(out, static_cast<char32_t>(c));
    else out += '_';
  }
  auto first = out.find_first_not_of(" .");
  if (first == std::string::npos) return "file.pdf";
  auto last = out.find_last_not_of(" .");
  out = out.substr(first, last - first + 1);
  if (out.size() <= kMaxNameBytes) return out;
  fs::path asPath = pathFromUtf8(out);
  std::string ext = asPath.has_extension() ? utf8Text(asPath.extension()) : std::string();
  if (ext.size() > kMaxKeptExtension) ext.clear();
  return withinNameLimit(std::string_view(out).substr(0, out.size() - ext.size()), ext);
}

fs::path chooseFreePath(const fs::path& dir, const std::string& cleaned) {
  fs::path first = dir / pathFromUtf8(cleaned);
  if (!taken(first)) return first;
  fs::path name = pathFromUtf8(cleaned);
  std::string stem = utf8Text(name.stem());
  if (stem.empty()) stem = "file";
  std::string ext = name.has_extension() ? utf8Text(name.extension()) : std::string();  // with its dot
  for (int i = 2; i <= 999; ++i) {
    fs::path candidate = dir / pathFromUtf8(withinNameLimit(stem, " (" + std::to_string(i) + ")" + ext));
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
  fs::path path = pathFromUtf8(pathText);
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
  const std::string raw = utf8Text(path);
  std::string out;
  for (std::size_t i = 0; i < raw.size();) {
    const std::int32_t c = nextUtf8(raw, i);
    appendUtf8(out, c < 0 ? 0xFFFD : static_cast<char32_t>(c));
  }
  return out;
}

}  // namespace zorvik::fetch
