// Rendering one PDF document into page bitmaps with a bound engine.
// Renderer thread only.
#pragma once

#include <cstdint>
#include <vector>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/engine_library.hpp"

namespace zorvik::printing {

// One page: pixels are width × height × 4 bytes, rows top to bottom, no
// padding, bytes blue, green, red, alpha.
struct RenderedPage {
  Bytes pixels;
  double widthPt = 0;
  double heightPt = 0;
  std::int32_t widthPx = 0;
  std::int32_t heightPx = 0;
};

using RenderedPages = std::vector<RenderedPage>;

// Pages whose larger side is at most this many points are labels.
inline constexpr double kSmallPagePoints = 600;
// The largest bitmap made for one page (256 MB of pixels).
inline constexpr std::int64_t kMaxPagePixels = 64'000'000;

// Pixels for a length in points at `dpi`: rounded, at least 1, at most INT32_MAX.
[[nodiscard]] std::int32_t pixelsFor(double points, std::int32_t dpi);

// Render flags for a page: labels without smoothing; always annotations and the
// reverse byte order (the bitmap is turned back to blue-green-red-alpha after).
[[nodiscard]] int renderFlags(bool smallPage);

// Label pages: each pixel becomes pure white or black by its weighted brightness.
void thresholdToBlackAndWhite(Bytes& pixels);

// Red and blue bytes of each pixel swap places.
void swapRedAndBlue(Bytes& pixels);

[[nodiscard]] Result<RenderedPages> renderDocument(const EngineLibrary& engine, const Bytes& pdf, std::int32_t dpi);

}  // namespace zorvik::printing
