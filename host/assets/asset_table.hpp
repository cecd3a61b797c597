// The compiled-in web UI: Brotli-compressed files keyed by request path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/bytes.hpp"
#include "core/result.hpp"

namespace zorvik {

struct AssetRecord {
  const char* path;  // UTF-8, starts with "/"
  std::size_t offset;
  std::size_t size;
};

// Read-only; safe to use from any thread.
class AssetTable {
 public:
  // `records` sorted by path (byte order); `blob` holds the compressed bytes.
  AssetTable(const AssetRecord* records, std::size_t count, const std::uint8_t* blob)
      : records_(records, count), blob_(blob) {}

  [[nodiscard]] std::optional<std::span<const std::uint8_t>> find(std::string_view path) const;
  [[nodiscard]] std::span<const AssetRecord> records() const { return records_; }
  [[nodiscard]] std::span<const std::uint8_t> compressed(const AssetRecord& r) const {
    return {blob_ + r.offset, r.size};
  }

 private:
  std::span<const AssetRecord> records_;
  const std::uint8_t* blob_;
};

// The table generated from the built UI at build time.
const AssetTable& embeddedAssets();

[[nodiscard]] Result<Bytes> brotliDecompress(std::span<const std::uint8_t> compressed);

[[nodiscard]] std::string_view contentTypeFor(std::string_view path);

struct ServedAsset {
  int status = 200;
  std::string contentType;
  Bytes body;
};

// "/" serves "/index.html"; query and fragment are ignored; a missing path is a plain 404.
[[nodiscard]] ServedAsset serveAsset(const AssetTable& table, std::string_view requestPath);

}  // namespace zorvik
