// The signature shape check on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "signing/der_shape.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorvik::signing;
  const std::span<const std::uint8_t> der(data, size);
  (void)signatureFinding(der, SignMode::Attached);
  (void)signatureFinding(der, SignMode::Detached);
  // Every element reachable by walking the top level.
  for (std::size_t pos = 0; pos < size;) {
    auto e = readDerElement(der, pos, size);
    if (!e) break;
    pos = e->end();
  }
  return 0;
}
