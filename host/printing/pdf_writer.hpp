// The host's one PDF writer: numbered objects written out as they come, then
// the cross-reference table and trailer. Both documents the host makes (a
// print job's page images, the test page with its embedded font) go through it.
//
// Hand-made rather than qpdf's writer: a print job is written page by page while
// the renderer draws, so no page's pixels or packed image stay in memory; qpdf
// holds the whole document before it writes anything. qpdf still checks every
// produced file in the tests.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bytes.hpp"
#include "core/result.hpp"

namespace zorvik::printing {

class PdfWriter {
 public:
  // Takes the document's bytes in order; its first failure stops the writing
  // and stays as status().
  using Write = std::function<Status(std::span<const std::uint8_t>)>;
  explicit PdfWriter(Write write);

  // A number for an object written later; numbers go from 1 up.
  std::size_t reserve();
  // Objects may be written in any order, each once.
  void object(std::size_t number, std::string_view body);
  // A stream object: "<< /Length n [entries] >>", then the data.
  void stream(std::size_t number, std::string_view entries, std::span<const std::uint8_t> data);
  void stream(std::size_t number, std::string_view entries, std::string_view text);
  // The cross-reference table and the trailer; every reserved object must be written.
  void finish(std::size_t root);

  [[nodiscard]] const Status& status() const { return status_; }

 private:
  void append(std::string_view text);
  void put(std::span<const std::uint8_t> data);

  Write write_;
  Status status_;
  std::size_t size_ = 0;
  std::vector<std::size_t> offsets_;
};

// A Write that appends the document to `out`.
[[nodiscard]] PdfWriter::Write appendingTo(Bytes& out);

// "<n> 0 R"
[[nodiscard]] std::string pdfRef(std::size_t object);

// A number in points, locale-independent, without trailing zeros ("12.5", "100").
[[nodiscard]] std::string pdfNumber(double value);

}  // namespace zorvik::printing
