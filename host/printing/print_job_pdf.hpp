// The document a print job sends: one PDF whose pages each hold one
// page-sized image of a rendered page, placed 1:1 from the paper's corner.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/renderer_render.hpp"

namespace zorvik::printing {

// Built page by page as the renderer draws them: each page is packed,
// deflated and written out at once, so neither its pixels nor its packed
// image stay in memory.
// A page of pure black and white (or a black-and-white label) is stored with
// 1 bit per pixel, a grey one as 8-bit grey, anything else as 8-bit RGB.
class JobDocument {
 public:
  // Takes the document's bytes in order; a failure stops the document and is
  // answered by addPage or finish.
  using Write = std::function<Status(std::span<const std::uint8_t>)>;
  explicit JobDocument(Write write);
  ~JobDocument();
  JobDocument(const JobDocument&) = delete;
  JobDocument& operator=(const JobDocument&) = delete;

  // Fails with "Принтер не принял изображение этикетки" when the image cannot be packed.
  [[nodiscard]] Status addPage(const PageImage& page);
  // The pages in order, the whole sequence `copies` times (collated); each
  // distinct page's image is stored once and shared by its copies.
  [[nodiscard]] Status finish(int copies);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The same document from pages already kept.
[[nodiscard]] Result<Bytes> makeJobPdf(const RenderedPages& pages, int copies);

}  // namespace zorvik::printing
