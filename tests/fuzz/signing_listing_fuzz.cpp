// The certificate listing path on arbitrary tool output: decoding, block and
// key rules, subject attributes and INN fields.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "signing/certificates.hpp"
#include "signing/signer.hpp"
#include "signing/tool_output.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zorvik::signing;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = decodeToolOutput(bytes);
  for (const auto& certificate : parseListing(text)) {
    (void)toJson(certificate).dump();
    (void)holderName(certificate);
  }
  // The subject rules on the raw text too, quotes and all.
  (void)innFields(text);
  (void)failureReason(text);
  return 0;
}
