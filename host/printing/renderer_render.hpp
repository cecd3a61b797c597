// Rendering one PDF document into page bitmaps with a bound engine, one page
// at a time into one reused buffer. Renderer thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/engine_library.hpp"

namespace zorvik::printing {

enum class PixelKind {
  Grey,  // one byte per pixel
  Bgra,  // four bytes per pixel: blue, green, red, alpha
};

// One drawn page as the renderer hands it over: a view of the renderer's own
// buffer, valid only while the call that received it runs.
struct PageImage {
  const std::uint8_t* pixels = nullptr;  // rows top to bottom, `stride` bytes apart
  std::size_t stride = 0;
  PixelKind kind = PixelKind::Bgra;
  // Grey that goes to the printer as pure black or white (labels): each pixel
  // is turned by isWhite() where it is packed, in the same pass.
  bool blackAndWhite = false;
  double widthPt = 0;
  double heightPt = 0;
  std::int32_t widthPx = 0;
  std::int32_t heightPx = 0;
};

// Receives each page in order on the renderer thread; a failure stops the
// document and becomes the render's answer.
using PageSink = std::function<Status(const PageImage&)>;

// A page kept after its render: rows without padding; a black-and-white page
// holds only 0 and 255.
struct RenderedPage {
  Bytes pixels;
  double widthPt = 0;
  double heightPt = 0;
  std::int32_t widthPx = 0;
  std::int32_t heightPx = 0;
  PixelKind kind = PixelKind::Bgra;
};

using RenderedPages = std::vector<RenderedPage>;

// Pages whose larger side is at most this many points are labels.
inline constexpr double kSmallPagePoints = 600;
// The largest bitmap made for one page (256 MB of pixels).
inline constexpr std::int64_t kMaxPagePixels = 64'000'000;

// Pixels for a length in points at `dpi`: rounded, at least 1, at most INT32_MAX.
[[nodiscard]] std::int32_t pixelsFor(double points, std::int32_t dpi);

// Render flags for a page: always annotations; labels without smoothing.
[[nodiscard]] int renderFlags(bool smallPage);

// Black-and-white pages: a grey level at or above 160 of 255 prints white.
[[nodiscard]] inline bool isWhite(std::uint8_t grey) { return grey >= 160; }

// A copy of the page that outlives the call (black and white turned to 0 and 255).
[[nodiscard]] RenderedPage keepPage(const PageImage& page);
// The kept page seen as the renderer hands pages over.
[[nodiscard]] PageImage viewOf(const RenderedPage& page);

// The page memory the renderer draws into, kept from page to page and job to
// job so a page is drawn into memory already mapped.
class PageBuffer {
 public:
  // At least `bytes` bytes, contents unspecified; nullptr when memory runs out.
  [[nodiscard]] std::uint8_t* reserve(std::size_t bytes);
  // Lets a buffer go that is larger than what ordinary pages need.
  void trim();

 private:
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
};

// Draws every page of `pdf` into `buffer` and hands each to `sink` before the
// next is drawn. The number of pages, or the first failure.
[[nodiscard]] Result<std::size_t> renderDocument(const EngineLibrary& engine, const Bytes& pdf, std::int32_t dpi,
                                                 PageBuffer& buffer, const PageSink& sink);

}  // namespace zorvik::printing
