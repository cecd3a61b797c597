#include "assets/asset_table.hpp"

#include <brotli/decode.h>

#include <algorithm>
#include <memory>

namespace zorvik {

std::optional<std::span<const std::uint8_t>> AssetTable::find(std::string_view path) const {
  auto it = std::lower_bound(records_.begin(), records_.end(), path,
                             [](const AssetRecord& r, std::string_view p) { return std::string_view(r.path) < p; });
  if (it == records_.end() || std::string_view(it->path) != path) return std::nullopt;
  return compressed(*it);
}

Result<Bytes> brotliDecompress(std::span<const std::uint8_t> compressed) {
  std::unique_ptr<BrotliDecoderState, decltype(&BrotliDecoderDestroyInstance)> state(
      BrotliDecoderCreateInstance(nullptr, nullptr, nullptr), &BrotliDecoderDestroyInstance);
  if (!state) return fail("brotli: out of memory");
  Bytes out;
  // Web assets compress about 3:1; start there and grow as needed.
  out.resize(std::max<std::size_t>(compressed.size() * 4, 4096));
  const std::uint8_t* in = compressed.data();
  std::size_t availIn = compressed.size();
  std::size_t written = 0;
  for (;;) {
    std::uint8_t* next = out.data() + written;
    std::size_t availOut = out.size() - written;
    auto rc = BrotliDecoderDecompressStream(state.get(), &availIn, &in, &availOut, &next, nullptr);
    written = out.size() - availOut;
    if (rc == BROTLI_DECODER_RESULT_SUCCESS) break;
    if (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_OUTPUT) {
      out.resize(out.size() * 2);
      continue;
    }
    if (rc == BROTLI_DECODER_RESULT_NEEDS_MORE_INPUT) return fail("brotli: truncated data");
    return fail(std::string("brotli: ") + BrotliDecoderErrorString(BrotliDecoderGetErrorCode(state.get())));
  }
  out.resize(written);
  return out;
}

std::string_view contentTypeFor(std::string_view path) {
  struct Type {
    std::string_view ext, type;
  };
  static constexpr Type kTypes[] = {
      {".html", "text/html; charset=utf-8"},  {".js", "text/javascript; charset=utf-8"},
      {".mjs", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
      {".mp3", "audio/mpeg"},                 {".png", "image/png"},
      {".svg", "image/svg+xml"},              {".wasm", "application/wasm"},
      {".json", "application/json"},          {".ico", "image/x-icon"},
      {".woff2", "font/woff2"},               {".txt", "text/plain; charset=utf-8"},
      {".mjs.map", "application/json"},       {".map", "application/json"},
      {".pdf", "application/pdf"},
  };
  for (const auto& t : kTypes)
    if (path.ends_with(t.ext)) return t.type;
  return "application/octet-stream";
}

ServedAsset serveAsset(const AssetTable& table, std::string_view requestPath) {
  auto cut = requestPath.find_first_of("?#");
  std::string_view path = requestPath.substr(0, cut);
  if (path.empty() || path == "/") path = "/index.html";
  auto found = table.find(path);
  if (!found) return {404, "text/plain; charset=utf-8", Bytes{'N', 'o', 't', ' ', 'F', 'o', 'u', 'n', 'd'}};
  auto body = brotliDecompress(*found);
  if (!body) {
    std::string text = body.error();
    return {500, "text/plain; charset=utf-8", Bytes(text.begin(), text.end())};
  }
  return {200, std::string(contentTypeFor(path)), std::move(*body)};
}

}  // namespace zorvik
