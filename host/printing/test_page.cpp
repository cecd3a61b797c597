#include "printing/test_page.hpp"

#include <charconv>
#include <chrono>
#include <cmath>
#include <vector>

#include "app/config.hpp"
#include "printing/pdf_fit.hpp"
#include "printing/pdf_writer.hpp"
#include "printing/test_page_font.hpp"

namespace zorvik::printing {

namespace {

constexpr double mm(double millimetres) { return millimetres * kPointsPerMm; }

// Labels below this height get one frame, no ruler and three short lines.
constexpr double kSmallLabelMm = 30;
// Ruler marks stop here even on a longer page: 200 inches is the largest page
// a PDF may have, and an absurd size must not turn into millions of ticks.
constexpr double kRulerLimitMm = kLargestTestPageMm;
constexpr double kLineSpacing = 1.35;
constexpr double kParagraphGap = 0.25;

std::string fixed(double value, int decimals) {
  if (value == 0) value = 0;  // no "-0.00"
  char text[400];
  auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr;
  return std::string(text, end);
}

std::string two(double value) { return fixed(value, 2); }

// The shortest form that reads back as the same number ("0.5", "1.2").
std::string plain(double value) {
  char text[64];
  auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::string padded(std::uint64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  return digits;
}

}  // namespace

std::vector<std::string> wrapText(const std::string& line, double size, double maxWidth, const TrueTypeFont& font) {
  if (font.textWidth(line, size) <= maxWidth) return {line};
  std::vector<std::string> words;
  std::string word;
  for (char c : line) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word += c;
    }
  }
  if (!word.empty()) words.push_back(std::move(word));

  std::vector<std::string> out;
  std::string current;
  for (std::string& w : words) {
    if (current.empty()) {
      current = std::move(w);
      continue;
    }
    std::string joined = current + " " + w;
    if (font.textWidth(joined, size) <= maxWidth) {
      current = std::move(joined);
    } else {
      out.push_back(std::move(current));
      current = std::move(w);
    }
  }
  if (!current.empty() || out.empty()) out.push_back(std::move(current));
  return out;
}

namespace {

struct TextLine {
  std::string text;
  double size;
};

struct WrappedText {
  std::vector<std::vector<std::string>> lines;  // per logical line
  int count = 0;
  double height = 0;
};

WrappedText wrapAll(const std::vector<TextLine>& lines, double s, double maxWidth, const TrueTypeFont& font) {
  WrappedText out;
  for (const TextLine& line : lines) {
    out.lines.push_back(wrapText(line.text, line.size, maxWidth, font));
    auto n = static_cast<int>(out.lines.back().size());
    out.count += n;
    out.height += n * line.size * kLineSpacing + kParagraphGap * s;
  }
  return out;
}

std::string sizeText(const LabelFormat& f) { return fixed(f.widthMm, 0) + " × " + fixed(f.heightMm, 0) + " мм"; }

void frame(std::string& out, double lineWidth, double x, double y, double w, double h) {
  out += plain(lineWidth) + " w\n" + two(x) + " " + two(y) + " " + two(w) + " " + two(h) + " re S\n";
}

void stroke(std::string& out, double x0, double y0, double x1, double y1) {
  out += two(x0) + " " + two(y0) + " m " + two(x1) + " " + two(y1) + " l S\n";
}

// Tick end: 8 mm, 11 mm at every 50 mm mark.
double tickEnd(int mark) {
  double fifties = mark / 50.0;
  return mm(fifties - std::floor(fifties) < 0.001 ? 11 : 8);
}

void rulers(std::string& out, const LabelFormat& f) {
  out += "0.5 w\n";
  for (int mark = 10; mark < f.widthMm && mark <= kRulerLimitMm; mark += 10)
    stroke(out, mm(mark), mm(5), mm(mark), tickEnd(mark));
  for (int mark = 10; mark < f.heightMm && mark <= kRulerLimitMm; mark += 10)
    stroke(out, mm(5), mm(mark), tickEnd(mark), mm(mark));
}

void glyphHex(std::string& out, std::uint16_t glyph) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (int shift = 12; shift >= 0; shift -= 4) out += kDigits[(glyph >> shift) & 0xF];
}

}  // namespace

CalendarDate todayUtc() {
  using namespace std::chrono;
  year_month_day ymd{floor<days>(system_clock::now())};
  return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
          static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

LabelFormat testPageFormat(const std::optional<LabelFormat>& format) {
  LabelFormat f;
  if (format) {
    f = *format;
  } else {
    f.widthMm = 58;
    f.heightMm = 40;
  }
  f.fitMode = "actual";
  return f;
}

LabelFormat testPageFitFormat(const std::optional<LabelFormat>& format) {
  LabelFormat f = testPageFormat(format);
  f.rotation = 0;
  f.orientation.reset();
  return f;
}

TestPageLayout layoutTestPage(const LabelFormat& f, const TrueTypeFont& font, CalendarDate date) {
  TestPageLayout page;
  const double W = f.widthMm * kPointsPerMm;
  const double H = f.heightMm * kPointsPerMm;
  page.widthPt = W;
  page.heightPt = H;
  const int turn = effectiveRotation(f);
  const bool sideways = turn == 90 || turn == 270;
  const double Lw = sideways ? H : W;
  const double Lh = sideways ? W : H;
  const bool small = f.heightMm < kSmallLabelMm;
  std::string& out = page.content;

  if (small) {
    frame(out, 0.5, 0.25, 0.25, W - 0.5, H - 0.5);
  } else {
    for (auto [inset, lineWidth] : {std::pair{0.0, 0.5}, {2.0, 0.8}, {5.0, 1.2}})
      frame(out, lineWidth, lineWidth / 2 + mm(inset), lineWidth / 2 + mm(inset), W - 2 * mm(inset) - lineWidth,
            H - 2 * mm(inset) - lineWidth);
    rulers(out, f);
  }

  switch (turn) {
    case 90: out += "q 0 1 -1 0 " + two(W) + " 0 cm\n"; break;
    case 180: out += "q -1 0 0 -1 " + two(W) + " " + two(H) + " cm\n"; break;
    case 270: out += "q 0 -1 1 0 0 " + two(H) + " cm\n"; break;
    default: out += "q\n"; break;
  }

  // Find the largest size (in tenths of a point) at which the lines fit.
  std::vector<TextLine> lines;
  double s = 0;
  WrappedText wrapped;
  if (small) {
    std::string day = padded(static_cast<std::uint64_t>(date.day), 2) + "." + padded(static_cast<std::uint64_t>(date.month), 2) + "." +
                      padded(static_cast<std::uint64_t>(date.year), 4);
    std::vector<std::string> texts{app::kProductName, sizeText(f), day};
    const double maxWidth = Lw - mm(4), maxHeight = Lh - mm(4);
    s = 1.2;
    for (int tenths = 60; tenths >= 13; --tenths) {
      double trial = tenths / 10.0;
      std::vector<TextLine> at;
      for (const std::string& t : texts) at.push_back({t, trial});
      WrappedText w = wrapAll(at, trial, maxWidth, font);
      if (w.count <= 4 && w.height <= maxHeight) {
        s = trial;
        break;
      }
    }
    for (const std::string& t : texts) lines.push_back({t, s});
    wrapped = wrapAll(lines, s, maxWidth, font);
  } else {
    std::vector<std::string> texts{app::kProductName, "Тестовая страница " + sizeText(f),
                                   "Рамки: 0 / 2 / 5 мм от края", "Деления линейки через 10 мм",
                                   std::string("версия ") + app::version()};
    const double maxWidth = Lw - mm(14), maxHeight = Lh - mm(16);
    auto linesAt = [&texts](double size) {
      std::vector<TextLine> at;
      for (std::size_t i = 0; i < texts.size(); ++i) at.push_back({texts[i], i == 0 ? 1.25 * size : size});
      return at;
    };
    s = 5.0;
    for (int tenths = 90; tenths >= 51; --tenths) {
      double trial = tenths / 10.0;
      WrappedText w = wrapAll(linesAt(trial), trial, maxWidth, font);
      if (w.count <= 6 && w.height <= maxHeight) {
        s = trial;
        break;
      }
    }
    lines = linesAt(s);
    wrapped = wrapAll(lines, s, maxWidth, font);
  }
  page.fontSize = s;

  const double x = small ? mm(2) : mm(7);
  double y = small ? Lh - mm(2) - s : Lh - mm(7) - 1.25 * s;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    for (const std::string& piece : wrapped.lines[i]) {
      out += "BT /F1 " + two(lines[i].size) + " Tf " + two(x) + " " + two(y) + " Td <";
      for (char32_t ch : decodeUtf8(piece)) {
        std::uint16_t glyph = font.glyph(ch);
        page.glyphs.insert(glyph);
        glyphHex(out, glyph);
      }
      out += "> Tj ET\n";
      y -= kLineSpacing * lines[i].size;
      ++page.lineCount;
    }
    y -= kParagraphGap * s;
  }
  out += "Q\n";
  return page;
}

Bytes writeTestPagePdf(const TestPageLayout& page, const TrueTypeFont& font) {
  const double perUnit = 1000.0 / font.unitsPerEm();
  auto scaled = [perUnit](double units) { return std::to_string(std::lround(units * perUnit)); };

  std::string widths;
  for (std::uint16_t glyph : page.glyphs) {
    if (glyph == 0) continue;  // the missing glyph keeps the default width
    if (!widths.empty()) widths += ' ';
    widths += std::to_string(glyph) + " [" + scaled(font.advance(glyph)) + "]";
  }
  std::span<const std::uint8_t> fontData = font.data();

  Bytes out;
  out.reserve(fontData.size() + page.content.size() + 4096);
  PdfWriter pdf(appendingTo(out));
  const std::size_t catalog = pdf.reserve(), tree = pdf.reserve(), pageObject = pdf.reserve(), type0 = pdf.reserve(),
                    cidFont = pdf.reserve(), descriptor = pdf.reserve(), fontFile = pdf.reserve(),
                    content = pdf.reserve();
  pdf.object(catalog, "<< /Type /Catalog /Pages " + pdfRef(tree) + " >>");
  pdf.object(tree, "<< /Type /Pages /Kids [" + pdfRef(pageObject) + "] /Count 1 >>");
  pdf.object(pageObject, "<< /Type /Page /Parent " + pdfRef(tree) + " /MediaBox [0 0 " + two(page.widthPt) + " " +
                             two(page.heightPt) + "] /Resources << /Font << /F1 " + pdfRef(type0) +
                             " >> >> /Contents " + pdfRef(content) + " >>");
  pdf.object(type0, "<< /Type /Font /Subtype /Type0 /BaseFont /PTSans /Encoding /Identity-H /DescendantFonts [" +
                        pdfRef(cidFont) + "] >>");
  pdf.object(cidFont,
             "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /PTSans /CIDSystemInfo << /Registry (Adobe) /Ordering "
             "(Identity) /Supplement 0 >> /FontDescriptor " +
                 pdfRef(descriptor) + " /DW 1000 /W [" + widths + "] /CIDToGIDMap /Identity >>");
  pdf.object(descriptor, "<< /Type /FontDescriptor /FontName /PTSans /Flags 4 /FontBBox [" + scaled(font.xMin()) +
                             " " + scaled(font.yMin()) + " " + scaled(font.xMax()) + " " + scaled(font.yMax()) +
                             "] /ItalicAngle 0 /Ascent " + scaled(font.ascender()) + " /Descent " +
                             scaled(font.descender()) + " /CapHeight " + scaled(font.capHeight()) +
                             " /StemV 80 /FontFile2 " + pdfRef(fontFile) + " >>");
  // The font file whole; /Length1 is its length before any filter (none here).
  pdf.stream(fontFile, "/Length1 " + std::to_string(fontData.size()), fontData);
  pdf.stream(content, "", page.content);
  pdf.finish(catalog);
  return out;
}

const Result<TrueTypeFont>& embeddedFont() {
  static const Result<TrueTypeFont> font = [] {
    auto parsed = TrueTypeFont::parse(std::span<const std::uint8_t>(kEmbeddedFont, kEmbeddedFontSize));
    if (!parsed) return Result<TrueTypeFont>(failWith("встроенный шрифт повреждён: ", parsed.error()));
    return parsed;
  }();
  return font;
}

Result<Bytes> generateTestPage(const std::optional<LabelFormat>& format, CalendarDate date) {
  // The page is drawn at the label's size: outside these bounds its boxes
  // would be negative, empty or not numbers at all.
  auto usable = [](double mm) { return std::isfinite(mm) && mm >= kSmallestTestPageMm && mm <= kLargestTestPageMm; };
  if (format && (!usable(format->widthMm) || !usable(format->heightMm))) return fail("Размер этикетки задан неверно");
  const Result<TrueTypeFont>& font = embeddedFont();
  if (!font) return fail(font.error());
  return writeTestPagePdf(layoutTestPage(testPageFormat(format), *font, date), *font);
}

Result<Bytes> renderTestPage(const std::optional<LabelFormat>& format, CalendarDate date) {
  auto page = generateTestPage(format, date);
  if (!page) return page;
  auto fitted = fitPdf(*page, testPageFitFormat(format));
  // A format the fitter refuses still gets its preview: the page as drawn.
  if (!fitted || !*fitted) return page;
  return std::move(**fitted);
}

}  // namespace zorvik::printing
