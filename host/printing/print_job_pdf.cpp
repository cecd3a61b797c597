#include "printing/print_job_pdf.hpp"

#include <zlib.h>

#include <string>
#include <vector>

#include "printing/pdf_writer.hpp"

namespace zorvik::printing {

namespace {

constexpr const char* kImageRefused = "Принтер не принял изображение этикетки";

enum class Colours { Bilevel, Grey, Rgb };

Colours coloursOf(const PageImage& page) {
  if (page.blackAndWhite) return Colours::Bilevel;
  bool bilevel = true;
  std::size_t width = static_cast<std::size_t>(page.widthPx);
  for (std::int32_t y = 0; y < page.heightPx; ++y) {
    const std::uint8_t* px = page.pixels + page.stride * static_cast<std::size_t>(y);
    if (page.kind == PixelKind::Grey) {
      for (std::size_t x = 0; x < width; ++x)
        if (px[x] != 0 && px[x] != 255) return Colours::Grey;
      continue;
    }
    for (std::size_t i = 0; i < width * 4; i += 4) {
      if (px[i] != px[i + 1] || px[i + 1] != px[i + 2]) return Colours::Rgb;
      if (px[i] != 0 && px[i] != 255) bilevel = false;
    }
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

Result<PackedImage> packImage(const PageImage& page) {
  std::size_t bytesPerPixel = page.kind == PixelKind::Grey ? 1 : 4;
  if (page.widthPx <= 0 || page.heightPx <= 0 || !page.pixels ||
      page.stride < static_cast<std::size_t>(page.widthPx) * bytesPerPixel)
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
  bool grey = page.kind == PixelKind::Grey;
  for (std::int32_t y = 0; y < page.heightPx; ++y) {
    const std::uint8_t* src = page.pixels + static_cast<std::size_t>(y) * page.stride;
    switch (image.colours) {
      case Colours::Bilevel:
        // 1 is white in DeviceGray; the most significant bit is the leftmost
        // pixel. Grey is turned black or white here, in the packing pass.
        std::fill(row.begin(), row.end(), 0);
        for (std::size_t x = 0; x < width; ++x)
          if (isWhite(src[grey ? x : x * 4])) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
        break;
      case Colours::Grey:
        if (grey) {
          std::copy(src, src + width, row.begin());
        } else {
          for (std::size_t x = 0; x < width; ++x) row[x] = src[x * 4];
        }
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

}  // namespace

struct JobDocument::State {
  struct Page {
    double widthPt, heightPt;
    std::size_t image, content;
  };
  explicit State(Write write) : pdf(std::move(write)) {}
  PdfWriter pdf;
  std::vector<Page> pages;
};

JobDocument::JobDocument(Write write) : state_(std::make_unique<State>(std::move(write))) {}
JobDocument::~JobDocument() = default;

Status JobDocument::addPage(const PageImage& page) {
  auto image = packImage(page);
  if (!image) return fail(image.error());
  PdfWriter& pdf = state_->pdf;
  std::string colours = image->colours == Colours::Bilevel ? "/ColorSpace /DeviceGray /BitsPerComponent 1"
                        : image->colours == Colours::Grey  ? "/ColorSpace /DeviceGray /BitsPerComponent 8"
                                                           : "/ColorSpace /DeviceRGB /BitsPerComponent 8";
  std::size_t imageObject = pdf.reserve(), contentObject = pdf.reserve();
  pdf.stream(imageObject,
             "/Type /XObject /Subtype /Image /Width " + std::to_string(page.widthPx) + " /Height " +
                 std::to_string(page.heightPx) + " " + colours + " /Filter /FlateDecode",
             image->data);
  // The image covers the page exactly: its corner is the paper's corner.
  std::string content = "q " + pdfNumber(page.widthPt) + " 0 0 " + pdfNumber(page.heightPt) + " 0 0 cm /Im0 Do Q\n";
  pdf.stream(contentObject, "", content);
  state_->pages.push_back({page.widthPt, page.heightPt, imageObject, contentObject});
  return pdf.status();
}

Status JobDocument::finish(int copies) {
  if (copies < 1) copies = 1;
  if (state_->pages.empty()) return fail(kImageRefused);
  PdfWriter& pdf = state_->pdf;
  std::size_t catalog = pdf.reserve(), tree = pdf.reserve();
  std::string kids;
  std::size_t printed = state_->pages.size() * static_cast<std::size_t>(copies);
  for (std::size_t i = 0; i < printed; ++i) {
    const State::Page& page = state_->pages[i % state_->pages.size()];
    std::size_t object = pdf.reserve();
    pdf.object(object, "<< /Type /Page /Parent " + pdfRef(tree) + " /MediaBox [0 0 " + pdfNumber(page.widthPt) + " " +
                           pdfNumber(page.heightPt) + "] /Resources << /XObject << /Im0 " + pdfRef(page.image) +
                           " >> >> /Contents " + pdfRef(page.content) + " >>");
    kids += (i ? " " : "") + pdfRef(object);
  }
  pdf.object(tree, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(printed) + " >>");
  pdf.object(catalog, "<< /Type /Catalog /Pages " + pdfRef(tree) + " >>");
  pdf.finish(catalog);
  return pdf.status();
}

Result<Bytes> makeJobPdf(const RenderedPages& pages, int copies) {
  Bytes out;
  JobDocument job(appendingTo(out));
  for (const RenderedPage& page : pages) {
    if (page.pixels.size() != static_cast<std::size_t>(page.widthPx) * static_cast<std::size_t>(page.heightPx) *
                                  (page.kind == PixelKind::Grey ? 1 : 4))
      return fail(kImageRefused);
    if (auto added = job.addPage(viewOf(page)); !added) return fail(added.error());
  }
  if (auto finished = job.finish(copies); !finished) return fail(finished.error());
  return out;
}

}  // namespace zorvik::printing
