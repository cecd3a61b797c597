#include "printing/pdf_writer.hpp"

#include <charconv>
#include <cstdio>

namespace zorvik::printing {

PdfWriter::PdfWriter(Write write) : write_(std::move(write)) {
  // The binary comment tells transfer tools the file is not text.
  append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n");
}

std::size_t PdfWriter::reserve() {
  offsets_.push_back(0);
  return offsets_.size();
}

void PdfWriter::object(std::size_t number, std::string_view body) {
  offsets_[number - 1] = size_;
  append(std::to_string(number) + " 0 obj\n");
  append(body);
  append("\nendobj\n");
}

void PdfWriter::stream(std::size_t number, std::string_view entries, std::span<const std::uint8_t> data) {
  offsets_[number - 1] = size_;
  append(std::to_string(number) + " 0 obj\n<< /Length " + std::to_string(data.size()));
  if (!entries.empty()) {
    append(" ");
    append(entries);
  }
  append(" >>\nstream\n");
  put(data);
  append("\nendstream\nendobj\n");
}

void PdfWriter::stream(std::size_t number, std::string_view entries, std::string_view text) {
  stream(number, entries, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void PdfWriter::finish(std::size_t root) {
  std::size_t xref = size_;
  append("xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n");
  for (std::size_t offset : offsets_) {
    char line[32];
    std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
    append(line);
  }
  append("trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root " + pdfRef(root) + " >>\nstartxref\n" +
         std::to_string(xref) + "\n%%EOF\n");
}

void PdfWriter::append(std::string_view text) {
  put(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void PdfWriter::put(std::span<const std::uint8_t> data) {
  if (!status_) return;
  status_ = write_(data);
  size_ += data.size();
}

PdfWriter::Write appendingTo(Bytes& out) {
  return [&out](std::span<const std::uint8_t> data) -> Status {
    out.insert(out.end(), data.begin(), data.end());
    return {};
  };
}

std::string pdfRef(std::size_t object) { return std::to_string(object) + " 0 R"; }

std::string pdfNumber(double value) {
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4).ptr;
  std::string out(text, end);
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  if (out == "-0") out = "0";
  return out;
}

}  // namespace zorvik::printing
