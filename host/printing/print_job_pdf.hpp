// The document a print job sends: one PDF whose pages each hold one
// page-sized image of a rendered page, placed 1:1 from the paper's corner.
#pragma once

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/renderer_render.hpp"

namespace zorvik::printing {

// The pages in order, the whole sequence `copies` times (collated). Each
// distinct page's image is stored once and shared by its copies. A page of
// pure black and white is stored with 1 bit per pixel, a grey one as 8-bit
// grey, anything else as 8-bit RGB; all deflated. Fails with "Принтер не
// принял изображение этикетки" when an image cannot be packed.
[[nodiscard]] Result<Bytes> makeJobPdf(const RenderedPages& pages, int copies);

}  // namespace zorvik::printing
