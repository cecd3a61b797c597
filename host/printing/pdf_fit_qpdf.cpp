#include "printing/pdf_fit_qpdf.hpp"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <array>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace zorvik::printing::fitting {

namespace {

// The library's own text names its internal file and is in English: the user
// gets the text the renderer gives for a file that is not a PDF.
constexpr const char* kParseFailed = "Не удалось разобрать PDF: файл повреждён или это не PDF";
constexpr const char* kNoPages = "В PDF нет страниц";
constexpr const char* kNoPageBox = "У страницы PDF нет размера (MediaBox) — печатать нечего";
constexpr const char* kEmptyPageBox = "Размер страницы PDF нулевой или отрицательный";
constexpr const char* kPageUnreadable = "Не удалось прочитать страницу PDF: ";
constexpr const char* kPageDamaged = "Страница PDF повреждена: ";
// Largest undecodable content stream copied into a fresh one (32 MiB).
constexpr std::size_t kPageContentBudget = 0x2000000;
constexpr const char* kWriteFailed = "Не удалось собрать PDF: ";
constexpr const char* kOffsetNotNumber = "Сдвиг задан не числом";
constexpr const char* kOffsetTooLarge = "Сдвиг больше 10 мм — проверьте размер этикетки";

// Points per millimetre (72 / 25.4), as kPointsPerMm of label_format.hpp,
// which this C++17 file cannot include.
constexpr double kPointsPerMm = 2.834645669291339;
// Half a millimetre: a page this close to the label is printed as it is.
constexpr double kShortcutTolerance = 1.4173228346456694;
// Inherited page attributes are looked up this many /Parent levels up.
constexpr int kMaxInheritance = 32;
// Name the library gives the document in its messages.
constexpr const char* kDocumentName = "label.pdf";

// A failure already carrying the system's text; thrown inside this file only
// so the qpdf calls between the checks stay readable.
struct FitError {
  std::string text;
};

// Runs `body`, turning what qpdf (or the allocator) throws into `prefix` + its text.
template <class Body>
auto guarded(const char* prefix, Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const FitError&) {
    throw;
  } catch (const std::exception& e) {
    throw FitError{std::string(prefix) + e.what()};
  }
}

// Runs `body`, which reads the document: whatever it throws means the file
// cannot be read, and says so in kParseFailed alone.
template <class Body>
auto parsing(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const FitError&) {
    throw;
  } catch (const std::exception&) {
    throw FitError{kParseFailed};
  }
}

struct Box {
  double x0, y0, x1, y1;
  [[nodiscard]] double width() const { return x1 - x0; }
  [[nodiscard]] double height() const { return y1 - y0; }
};

// An array of exactly four numbers (references followed by the library);
// anything else, or numbers too large to measure with, is no box.
std::optional<Box> boxValue(QPDFObjectHandle value) {
  if (!value.isArray() || value.getArrayNItems() != 4) return std::nullopt;
  std::array<double, 4> c{};
  for (int i = 0; i < 4; ++i) {
    QPDFObjectHandle item = value.getArrayItem(i);
    if (!item.isNumber()) return std::nullopt;
    c[static_cast<std::size_t>(i)] = item.getNumericValue();
  }
  Box box{c[0], c[1], c[2], c[3]};
  if (!std::isfinite(box.width()) || !std::isfinite(box.height())) return std::nullopt;
  return box;
}

// The page's own entry or the nearest ancestor's, following /Parent.
std::optional<Box> inheritedBox(QPDFObjectHandle page, const std::string& key) {
  QPDFObjectHandle node = page;
  for (int level = 0; level <= kMaxInheritance && node.isDictionary(); ++level) {
    if (auto box = boxValue(node.getKey(key))) return box;
    node = node.getKey("/Parent");
  }
  return std::nullopt;
}

// /Rotate, inherited the same way; only an integer counts.
std::int64_t inheritedRotate(QPDFObjectHandle page) {
  QPDFObjectHandle node = page;
  for (int level = 0; level <= kMaxInheritance && node.isDictionary(); ++level) {
    QPDFObjectHandle rotate = node.getKey("/Rotate");
    if (rotate.isInteger()) return rotate.getIntValue();
    node = node.getKey("/Parent");
  }
  return 0;
}

// The MediaBox, narrowed to the CropBox when they overlap.
std::optional<Box> pageBox(QPDFObjectHandle page) {
  std::optional<Box> media = inheritedBox(page, "/MediaBox");
  if (!media) return std::nullopt;
  if (std::optional<Box> crop = inheritedBox(page, "/CropBox")) {
    Box both{std::max(media->x0, crop->x0), std::max(media->y0, crop->y0), std::min(media->x1, crop->x1),
             std::min(media->y1, crop->y1)};
    if (both.width() > 0 && both.height() > 0) return both;
  }
  return media;
}

// Sizes go into the PDF as single-precision reals, in their shortest form.
QPDFObjectHandle sizeReal(double value) {
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, static_cast<float>(value), std::chars_format::fixed).ptr;
  return QPDFObjectHandle::newReal(std::string(text, end));
}

QPDFObjectHandle boxArray(double x0, double y0, double x1, double y1) {
  return QPDFObjectHandle::newArray(
      std::vector<QPDFObjectHandle>{sizeReal(x0), sizeReal(y0), sizeReal(x1), sizeReal(y1)});
}

void appendFixed6(std::string& out, double value) {
  if (value == 0) value = 0;  // no "-0.000000"
  char text[400];
  auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6).ptr;
  out.append(text, end);
}

// Whether every filter of the stream is one a PDF reader decodes content
// with; only the names are looked at, nothing is decoded.
bool filtersKnown(QPDFObjectHandle stream) {
  static const std::set<std::string> known = {"/FlateDecode",   "/Fl",  "/LZWDecode",       "/LZW",
                                              "/ASCIIHexDecode", "/AHx", "/ASCII85Decode", "/A85",
                                              "/RunLengthDecode", "/RL"};
  QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
  if (filter.isNull()) return true;
  if (filter.isName()) return known.count(filter.getName()) != 0;
  if (!filter.isArray()) return false;
  for (int i = 0; i < filter.getArrayNItems(); ++i) {
    QPDFObjectHandle name = filter.getArrayItem(i);
    if (!name.isName() || known.count(name.getName()) == 0) return false;
  }
  return true;
}

// The page's content streams as they are: /Contents is one stream or an
// array of streams (the library follows references); anything that is not a
// stream is left out. A stream whose filter no reader knows is taken as its
// raw bytes in a new stream, so the output stays a valid file.
std::vector<QPDFObjectHandle> contentStreams(QPDF& doc, QPDFObjectHandle page) {
  std::vector<QPDFObjectHandle> items, streams;
  QPDFObjectHandle contents = page.getKey("/Contents");
  if (contents.isStream()) {
    items.push_back(contents);
  } else if (contents.isArray()) {
    items = contents.getArrayAsVector();
  }
  for (QPDFObjectHandle& item : items) {
    if (!item.isStream()) continue;
    if (filtersKnown(item)) {
      streams.push_back(item);
      continue;
    }
    std::shared_ptr<Buffer> raw = item.getRawStreamData();
    if (raw->getSize() > kPageContentBudget) throw FitError{kPageUnreadable + std::string("the page content is too large")};
    streams.push_back(doc.newStream(std::string(reinterpret_cast<const char*>(raw->getBuffer()), raw->getSize())));
  }
  return streams;
}

struct Placement {
  int o, p, q;
  double tx, ty, ex, ey;
};

// Rotating the box counter-clockwise by `turn` degrees: the coefficients, the
// translation that brings it back into the first quadrant, and its extents.
Placement placementFor(int turn, const Box& box) {
  double bw = box.width(), bh = box.height();
  switch (turn) {
    case 90: return {0, 1, -1, bh, 0, bh, bw};
    case 180: return {-1, 0, 0, bw, bh, bw, bh};
    case 270: return {0, -1, 1, 0, bw, bh, bw};
    default: return {1, 0, 0, 0, 0, bw, bh};
  }
}

// `restore` is the one "Q" stream every rewritten page ends with.
void rewritePage(QPDF& doc, QPDFObjectHandle page, const Request& request, QPDFObjectHandle restore) {
  const double W = request.widthPt, H = request.heightPt;
  std::optional<Box> box = pageBox(page);
  if (!box) throw FitError{kNoPageBox};
  if (box->width() <= 0 || box->height() <= 0) throw FitError{kEmptyPageBox};

  int turn = quarterTurn(quarterTurn(inheritedRotate(page)) + request.formatTurn);
  Placement pl = placementFor(turn, *box);
  double sx = W / pl.ex, sy = H / pl.ey;
  if (request.scaling == Scaling::Actual) {
    sx = sy = 1;
  } else if (request.scaling == Scaling::Fit) {
    sx = sy = std::fmin(sx, sy);  // fmin keeps the one that is a number
  }
  std::array<double, 6> m{
      pl.o * sx,
      pl.p * sy,
      pl.q * sx,
      pl.o * sy,
      (pl.tx - pl.q * box->y0 - pl.o * box->x0) * sx + (W - pl.ex * sx) / 2,
      (pl.ty - pl.o * box->y0 - pl.p * box->x0) * sy + (H - pl.ey * sy) / 2,
  };

  std::string save = "q\n";
  for (std::size_t i = 0; i < m.size(); ++i) {
    if (i) save += ' ';
    appendFixed6(save, m[i]);
  }
  save += " cm\n";

  if (!page.isDictionary()) throw FitError{std::string(kPageDamaged) + "the page object is not a dictionary"};
  // The content streams stay as they are, neither decoded nor written again:
  // a small stream before them sets the placement, one after restores it.
  std::vector<QPDFObjectHandle> contents{doc.newStream(save)};
  for (QPDFObjectHandle& stream : contentStreams(doc, page)) contents.push_back(stream);
  contents.push_back(restore);
  page.replaceKey("/Contents", QPDFObjectHandle::newArray(contents));
  page.replaceKey("/MediaBox", boxArray(0, 0, W, H));
  page.replaceKey("/CropBox", boxArray(0, 0, W, H));
  page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(0));
}

// Moving the boxes left and down moves the printed image right and up.
void shiftPage(QPDFObjectHandle page, double dx, double dy) {
  for (const char* key : {"/MediaBox", "/CropBox"}) {
    if (std::optional<Box> box = inheritedBox(page, key))
      page.replaceKey(key, boxArray(box->x0 - dx, box->y0 - dy, box->x1 - dx, box->y1 - dy));
  }
}

class BytesSink : public Pipeline {
 public:
  explicit BytesSink(std::vector<std::uint8_t>& out) : Pipeline("fitted PDF", nullptr), out_(out) {}
  void write(unsigned char const* data, size_t len) override { out_.insert(out_.end(), data, data + len); }
  void finish() override {}

 private:
  std::vector<std::uint8_t>& out_;
};

std::vector<std::uint8_t> serialise(QPDF& doc, std::size_t expectedSize) {
  return guarded(kWriteFailed, [&] {
    std::vector<std::uint8_t> out;
    out.reserve(expectedSize);
    BytesSink sink(out);
    QPDFWriter writer(doc);
    writer.setOutputPipeline(&sink);
    // Streams go out as they are: nothing is decoded or recompressed.
    writer.setCompressStreams(false);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setPreserveUnreferencedObjects(true);
    writer.write();
    return out;
  });
}

Answer fit(const std::uint8_t* data, std::size_t size, const Request& request) {
  const double W = request.widthPt, H = request.heightPt;
  QPDF doc;
  std::vector<QPDFObjectHandle> pages = parsing([&] {
    doc.setSuppressWarnings(true);
    doc.processMemoryFile(kDocumentName, reinterpret_cast<const char*>(data), size);
    return doc.getAllPages();
  });
  if (pages.empty()) throw FitError{kNoPages};

  bool unchanged = request.formatTurn == 0 && parsing([&] {
                     for (QPDFObjectHandle& page : pages) {
                       std::optional<Box> box = pageBox(page);
                       if (!box) return false;
                       int turn = quarterTurn(inheritedRotate(page));
                       double bw = box->width(), bh = box->height();
                       if (turn == 90 || turn == 270) std::swap(bw, bh);
                       if (!(std::fabs(bw - W) <= kShortcutTolerance && std::fabs(bh - H) <= kShortcutTolerance))
                         return false;
                     }
                     return true;
                   });
  if (!unchanged) {
    guarded(kPageDamaged, [&] {
      // A line feed first: the stream before may end without one.
      QPDFObjectHandle restore = doc.newStream("\nQ\n");
      for (QPDFObjectHandle& page : pages) rewritePage(doc, page, request, restore);
    });
  }

  const double x = request.offsetXMm, y = request.offsetYMm;
  Answer answer;
  if (x == 0 && y == 0) {
    answer.unchanged = unchanged;
    if (!unchanged) answer.bytes = serialise(doc, size + size / 8 + 4096);
    return answer;
  }
  if (!std::isfinite(x) || !std::isfinite(y)) throw FitError{kOffsetNotNumber};
  if (std::fabs(x) > kMaxOffsetMm || std::fabs(y) > kMaxOffsetMm) throw FitError{kOffsetTooLarge};
  // The document in memory is the fitted one: shifting it here gives what
  // writing it out and parsing it again would.
  guarded(kPageDamaged, [&] {
    for (QPDFObjectHandle& page : pages) shiftPage(page, x * kPointsPerMm, y * kPointsPerMm);
  });
  answer.bytes = serialise(doc, size + size / 8 + 4096);
  return answer;
}

}  // namespace

Answer fitDocument(const std::uint8_t* data, std::size_t size, const Request& request) {
  try {
    return fit(data, size, request);
  } catch (const FitError& e) {
    return Answer{e.text, false, {}};
  } catch (const std::exception&) {
    // Nothing the library throws may leave this module.
    return Answer{kParseFailed, false, {}};
  }
}

}  // namespace zorvik::printing::fitting
