// The test page: a PDF exactly the size of the label, with frames at fixed
// distances from the edge, a millimetre ruler and a few lines of text, so the
// user sees at once whether the printer cuts, shifts or scales. Written byte
// by byte with the embedded PT Sans Regular; no PDF library involved.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/bytes.hpp"
#include "core/result.hpp"
#include "printing/label_format.hpp"
#include "printing/truetype.hpp"

namespace zorvik::printing {

struct CalendarDate {
  int year = 1970;
  int month = 1;
  int day = 1;
};

// The label sizes a test page is drawn for, millimetres either way; any
// other size is refused with "Размер этикетки задан неверно".
inline constexpr double kSmallestTestPageMm = 10;
inline constexpr double kLargestTestPageMm = 5080;

// Today's date in UTC.
[[nodiscard]] CalendarDate todayUtc();

// The format the page is laid out for: 58 × 40 mm when none is given,
// otherwise the given one; scaling is always "actual".
[[nodiscard]] LabelFormat testPageFormat(const std::optional<LabelFormat>& format);

// The format the generated page is fitted and printed with. The page already
// carries the rotation (its text is turned inside the label), so fitting must
// not turn the page a second time: size, shift and "actual" only.
[[nodiscard]] LabelFormat testPageFitFormat(const std::optional<LabelFormat>& format);

// The drawing of one test page.
struct TestPageLayout {
  double widthPt = 0;   // page size in points
  double heightPt = 0;
  std::string content;  // the content stream
  double fontSize = 0;  // the size chosen for the text (the first line of a large label is 1.25 ×)
  int lineCount = 0;    // text lines written, after wrapping
  std::set<std::uint16_t> glyphs;  // glyph numbers used, 0 included when a character was missing
};

// One line of text at `size` points in lines no wider than `maxWidth`: the
// whole line when it fits, else its words (split at white space) joined
// greedily with single spaces; a word wider than that stays alone on its line.
[[nodiscard]] std::vector<std::string> wrapText(const std::string& line, double size, double maxWidth,
                                                const TrueTypeFont& font);

// Pure: lays out the page for `format` (a test-page format) on `date`.
[[nodiscard]] TestPageLayout layoutTestPage(const LabelFormat& format, const TrueTypeFont& font, CalendarDate date);

// Pure: the PDF file of a layout, with `font` embedded whole.
[[nodiscard]] Bytes writeTestPagePdf(const TestPageLayout& layout, const TrueTypeFont& font);

// The font compiled into the executable, parsed once (any thread).
[[nodiscard]] const Result<TrueTypeFont>& embeddedFont();

// The test page for `format` (null: the default label), unfitted.
// Fails only with a damaged embedded font.
[[nodiscard]] Result<Bytes> generateTestPage(const std::optional<LabelFormat>& format, CalendarDate date);

// What `render_test_page` answers: the page fitted to its format, or the
// unfitted page when fitting fails.
[[nodiscard]] Result<Bytes> renderTestPage(const std::optional<LabelFormat>& format, CalendarDate date);

}  // namespace zorvik::printing
