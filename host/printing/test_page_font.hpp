// The TrueType font of the test page (PT Sans Regular, SIL Open Font
// License), compiled into the executable from the system's copy at build time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvik::printing {

extern const std::uint8_t kEmbeddedFont[];
extern const std::size_t kEmbeddedFontSize;

}  // namespace zorvik::printing
