#include "printing/print_job_files.hpp"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "core/system_error.hpp"
#include "platform/c_file.hpp"

namespace zorvik::printing {

namespace fs = std::filesystem;

namespace {

using FilePtr = platform::CFile;

}  // namespace

Result<Bytes> readWholeFile(const fs::path& path) {
  FilePtr file = platform::openFile(path, "rb");
  if (!file) return fail(errnoText(errno));
  Bytes bytes;
  std::uint8_t buffer[65536];
  for (;;) {
    std::size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.insert(bytes.end(), buffer, buffer + n);
    if (n < sizeof buffer) break;
  }
  if (std::ferror(file.get())) return fail(errnoText(errno ? errno : EIO));
  return bytes;
}

Result<TempFile> TempFile::create(const std::string& stem, std::span<const std::uint8_t> data) {
  std::error_code ec;
  fs::path folder = fs::temp_directory_path(ec);
  if (ec) return fail(errorText(ec));
  for (int attempt = 1;; ++attempt) {
    fs::path path = folder / (stem + (attempt > 1 ? "-" + std::to_string(attempt) : "") + ".pdf");
    // "x": created new or not at all, so an existing file or link is never followed.
    std::FILE* raw = platform::openFile(path, "wbx").release();
    if (!raw) {
      if (errno == EEXIST && attempt < 1000) continue;
      return fail(errnoText(errno));
    }
    FilePtr file(raw);
    TempFile owned(path);  // from here on the file is removed on every path
    // Labels carry names and addresses: other users of the folder must not read them.
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, ec);
    if (ec) return fail(errorText(ec));
    if (!data.empty() && std::fwrite(data.data(), 1, data.size(), file.get()) != data.size())
      return fail(errnoText(errno ? errno : EIO));
    if (std::fclose(file.release()) != 0) return fail(errnoText(errno));
    return owned;
  }
}

TempFile::~TempFile() {
  if (!path_) return;
  std::error_code ignored;
  fs::remove(*path_, ignored);
}

}  // namespace zorvik::printing
