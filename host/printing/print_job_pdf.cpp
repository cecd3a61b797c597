#include "printing/print_job_pdf.hpp"

#include <zlib.h>

#include <charconv>
#include <cstdio>
#include <string>
#include <vector>

namespace zorvik::printing {

namespace {

constexpr const char* kImageRefused = "Принтер не принял изображение этикетки";

enum class Colours { Bilevel, Grey, Rgb };

Colours coloursOf(const RenderedPage& page) {
  bool bilevel = true;
  const Bytes& px = page.pixels;
  for (std::size_t i = 0; i + 3 < px.size(); i += 4) {
    if (px[i] != px[i + 1] || px[i + 1] != px[i + 2]) return Colours::Rgb;
    if (px[i] != 0 && px[i] != 255) bilevel = false;
  }
  return bilevel ? Colours::Bilevel : Colours::Grey;
}

// Deflates rows as they come, so no second whole-page buffer is needed.
class Deflater {
 public:
  explicit Deflater(int level) { ok_ = deflateInit(&stream_, level) == Z_OK; }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  ~Deflater() {
    if (ok_) deflateEnd(&stream_);
  }

  bool add(const std::uint8_t* data, std::size_t size, bool last) {
    if (!ok_) return false;
    stream_.next_in = const_cast<Bytef*>(data);
    stream_.avail_in = static_cast<uInt>(size);
    int flush = last ? Z_FINISH : Z_NO_FLUSH;
    for (;;) {
      std::uint8_t chunk[65536];
      stream_.next_out = chunk;
      stream_.avail_out = sizeof chunk;
      int status = deflate(&stream_, flush);
      if (status == Z_STREAM_ERROR) return false;
      out_.insert(out_.end(), chunk, chunk + (sizeof chunk - stream_.avail_out));
      if (last ? status == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0) return true;
    }
  }

  Bytes take() { return std::move(out_); }

 private:
  z_stream stream_{};
  bool ok_ = false;
  Bytes out_;
};

struct PackedImage {
  Bytes data;
  Colours colours = Colours::Rgb;
};

Result<PackedImage> packImage(const RenderedPage& page) {
  if (page.widthPx <= 0 || page.heightPx <= 0 ||
      page.pixels.size() != static_cast<std::size_t>(page.widthPx) * static_cast<std::size_t>(page.heightPx) * 4)
    return fail(kImageRefused);
  PackedImage image;
  image.colours = coloursOf(page);
  std::size_t width = static_cast<std::size_t>(page.widthPx);
  std::size_t rowBytes = image.colours == Colours::Bilevel ? (width + 7) / 8
                         : image.colours == Colours::Grey  ? width
                                                           : width * 3;
  // Label images are small and compress well; large colour pages favour speed.
  Deflater deflater(image.colours == Colours::Bilevel ? Z_DEFAULT_COMPRESSION : Z_BEST_SPEED);
  Bytes row(rowBytes);
  for (std::int32_t y = 0; y < page.heightPx; ++y) {
    const std::uint8_t* src = page.pixels.data() + static_cast<std::size_t>(y) * width * 4;
    switch (image.colours) {
      case Colours::Bilevel:
        // 1 is white in DeviceGray; the most significant bit is the leftmost pixel.
        std::fill(row.begin(), row.end(), 0);
        for (std::size_t x = 0; x < width; ++x)
          if (src[x * 4]) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        break;
      case Colours::Grey:
        for (std::size_t x = 0; x < width; ++x) row[x] = src[x * 4];
        break;
      case Colours::Rgb:
        for (std::size_t x = 0; x < width; ++x) {
          row[x * 3] = src[x * 4 + 2];
          row[x * 3 + 1] = src[x * 4 + 1];
          row[x * 3 + 2] = src[x * 4];
        }
        break;
    }
    if (!deflater.add(row.data(), row.size(), y + 1 == page.heightPx)) return fail(kImageRefused);
  }
  image.data = deflater.take();
  return image;
}

// A length in points, locale-independent, without trailing zeros.
std::string number(double value) {
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 4).ptr;
  std::string out(text, end);
  while (out.back() == '0') out.pop_back();
  if (out.back() == '.') out.pop_back();
  return out;
}

class PdfWriter {
 public:
  PdfWriter() { append("%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"); }

  // Objects must be written in the order of their numbers, from 1.
  void object(const std::string& body) {
    offsets_.push_back(out_.size());
    append(std::to_string(offsets_.size()) + " 0 obj\n" + body + "\nendobj\n");
  }

  void stream(const std::string& dictionary, const Bytes& data) {
    offsets_.push_back(out_.size());
    append(std::to_string(offsets_.size()) + " 0 obj\n<< " + dictionary + " /Length " + std::to_string(data.size()) +
           " >>\nstream\n");
    out_.insert(out_.end(), data.begin(), data.end());
    append("\nendstream\nendobj\n");
  }

  Bytes finish() {
    std::size_t xref = out_.size();
    append("xref\n0 " + std::to_string(offsets_.size() + 1) + "\n0000000000 65535 f \n");
    for (std::size_t offset : offsets_) {
      char line[32];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
      append(line);
    }
    append("trailer\n<< /Size " + std::to_string(offsets_.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n");
    return std::move(out_);
  }

 private:
  void append(const std::string& text) { out_.insert(out_.end(), text.begin(), text.end()); }

  Bytes out_;
  std::vector<std::size_t> offsets_;
};

std::string ref(std::size_t object) { return std::to_string(object) + " 0 R"; }

}  // namespace

Result<Bytes> makeJobPdf(const RenderedPages& pages, int copies) {
  if (copies < 1) copies = 1;
  // Objects: 1 catalog, 2 page tree, then an image and a content stream for
  // each distinct page, then one page object per printed page.
  std::size_t distinct = pages.size();
  std::size_t firstPage = 3 + 2 * distinct;
  std::size_t printed = distinct * static_cast<std::size_t>(copies);

  PdfWriter pdf;
  pdf.object("<< /Type /Catalog /Pages 2 0 R >>");
  std::string kids;
  for (std::size_t i = 0; i < printed; ++i) kids += (i ? " " : "") + ref(firstPage + i);
  pdf.object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(printed) + " >>");

  for (const RenderedPage& page : pages) {
    auto image = packImage(page);
    if (!image) return fail(image.error());
    std::string colours = image->colours == Colours::Bilevel ? "/ColorSpace /DeviceGray /BitsPerComponent 1"
                          : image->colours == Colours::Grey  ? "/ColorSpace /DeviceGray /BitsPerComponent 8"
                                                             : "/ColorSpace /DeviceRGB /BitsPerComponent 8";
    pdf.stream("/Type /XObject /Subtype /Image /Width " + std::to_string(page.widthPx) + " /Height " +
                   std::to_string(page.heightPx) + " " + colours + " /Filter /FlateDecode",
               image->data);
    // The image covers the page exactly: its corner is the paper's corner.
    std::string content = "q " + number(page.widthPt) + " 0 0 " + number(page.heightPt) + " 0 0 cm /Im0 Do Q\n";
    pdf.stream("", Bytes(content.begin(), content.end()));
  }
  for (std::size_t i = 0; i < printed; ++i) {
    std::size_t index = i % distinct;
    const RenderedPage& page = pages[index];
    pdf.object("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.widthPt) + " " + number(page.heightPt) +
               "] /Resources << /XObject << /Im0 " + ref(3 + 2 * index) + " >> >> /Contents " + ref(4 + 2 * index) +
               " >>");
  }
  return pdf.finish();
}

}  // namespace zorvik::printing
