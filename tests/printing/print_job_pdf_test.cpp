// The job document: page order with copies, one shared image per page, the
// colour kinds, exact pixels and a valid file.
#include <gtest/gtest.h>

#include "print_job_support.hpp"
#include "printing/print_job_pdf.hpp"

namespace zorvik::printing {
namespace {

using testing::readJob;

// A page of `w` × `h` pixels filled with one BGRA colour.
RenderedPage filled(int w, int h, std::array<std::uint8_t, 4> bgra, double widthPt = 100, double heightPt = 50) {
  RenderedPage page{Bytes(static_cast<std::size_t>(w) * h * 4), widthPt, heightPt, w, h};
  for (std::size_t i = 0; i < page.pixels.size(); i += 4) std::copy(bgra.begin(), bgra.end(), page.pixels.begin() + i);
  return page;
}

void paint(RenderedPage& page, int x, int y, std::array<std::uint8_t, 4> bgra) {
  std::copy(bgra.begin(), bgra.end(), page.pixels.begin() + (static_cast<std::size_t>(y) * page.widthPx + x) * 4);
}

constexpr std::array<std::uint8_t, 4> kWhite{255, 255, 255, 255}, kBlack{0, 0, 0, 255};

TEST(PrintJobPdfTest, CopiesRepeatTheWholeSequenceAndShareEachImage) {
  RenderedPage first = filled(13, 5, kWhite);
  paint(first, 0, 0, kBlack);
  RenderedPage second = filled(13, 5, kWhite);
  paint(second, 12, 4, kBlack);
  auto pdf = makeJobPdf({first, second}, 3);
  ASSERT_TRUE(pdf) << pdf.error();
  testing::expectValidPdf(*pdf);

  auto pages = readJob(testing::text(*pdf));
  ASSERT_EQ(pages.size(), 6U);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    bool isFirst = i % 2 == 0;
    EXPECT_EQ(pages[i].imageObject, pages[isFirst ? 0 : 1].imageObject) << i;
    EXPECT_EQ(pages[i].black(0, 0), isFirst) << i;
    EXPECT_EQ(pages[i].black(12, 4), !isFirst) << i;
  }
  EXPECT_NE(pages[0].imageObject, pages[1].imageObject);
}

TEST(PrintJobPdfTest, TheImageCoversThePageFromItsCorner) {
  auto pdf = makeJobPdf({filled(464, 320, kWhite, 164.4094488, 113.3858268)}, 1);
  ASSERT_TRUE(pdf) << pdf.error();
  auto pages = readJob(testing::text(*pdf));
  ASSERT_EQ(pages.size(), 1U);
  EXPECT_EQ(pages[0].mediaBox, (std::vector<double>{0, 0, 164.4094, 113.3858}));
  EXPECT_EQ(pages[0].content, "q 164.4094 0 0 113.3858 0 0 cm /Im0 Do Q\n");
}

TEST(PrintJobPdfTest, PureBlackAndWhiteIsOneBitGreyIsGreyColourIsRgb) {
  RenderedPage bilevel = filled(9, 2, kWhite);
  paint(bilevel, 8, 1, kBlack);
  RenderedPage grey = filled(3, 1, kWhite);
  paint(grey, 1, 0, {128, 128, 128, 255});
  RenderedPage colour = filled(2, 1, kWhite);
  paint(colour, 0, 0, {10, 20, 30, 255});  // blue 10, green 20, red 30

  auto pdf = makeJobPdf({bilevel, grey, colour}, 1);
  ASSERT_TRUE(pdf) << pdf.error();
  auto pages = readJob(testing::text(*pdf));
  ASSERT_EQ(pages.size(), 3U);

  EXPECT_EQ(pages[0].colourSpace, "/DeviceGray");
  EXPECT_EQ(pages[0].bits, 1);
  EXPECT_EQ(pages[0].samples, (Bytes{0xFF, 0x80, 0xFF, 0x00}));  // rows padded to whole bytes; 1 is white

  EXPECT_EQ(pages[1].colourSpace, "/DeviceGray");
  EXPECT_EQ(pages[1].bits, 8);
  EXPECT_EQ(pages[1].samples, (Bytes{255, 128, 255}));

  EXPECT_EQ(pages[2].colourSpace, "/DeviceRGB");
  EXPECT_EQ(pages[2].bits, 8);
  EXPECT_EQ(pages[2].samples, (Bytes{30, 20, 10, 255, 255, 255}));
}

// A label as the renderer hands it over: grey, one byte a pixel, rows padded;
// packing turns it black or white in the same pass.
TEST(PrintJobPdfTest, ABlackAndWhiteGreyPageIsThresholdedWhilePacked) {
  const std::uint8_t rows[] = {160, 159, 255, 0, 7, 7,  // 4 pixels, then padding
                               0,   255, 200, 100, 7, 7};
  PageImage page;
  page.pixels = rows;
  page.stride = 6;
  page.kind = PixelKind::Grey;
  page.blackAndWhite = true;
  page.widthPx = 4;
  page.heightPx = 2;
  page.widthPt = 4;
  page.heightPt = 2;
  Bytes written;
  JobDocument job([&written](std::span<const std::uint8_t> data) -> Status {
    written.insert(written.end(), data.begin(), data.end());
    return {};
  });
  ASSERT_TRUE(job.addPage(page));
  ASSERT_TRUE(job.finish(2));
  std::optional<Bytes> pdf = written;
  testing::expectValidPdf(*pdf);
  auto pages = readJob(testing::text(*pdf));
  ASSERT_EQ(pages.size(), 2U);
  EXPECT_EQ(pages[0].colourSpace, "/DeviceGray");
  EXPECT_EQ(pages[0].bits, 1);
  EXPECT_EQ(pages[0].samples, (Bytes{0xA0, 0x60}));  // 1010, 0110: 1 is white
  EXPECT_EQ(pages[1].imageObject, pages[0].imageObject);
}

// A write that fails (a full disk) stops the document with its text.
TEST(PrintJobPdfTest, AFailedWriteStopsTheDocument) {
  int writes = 0;
  JobDocument job([&writes](std::span<const std::uint8_t>) -> Status {
    if (++writes > 3) return fail("Не удалось сохранить задание печати: No space left on device");
    return {};
  });
  RenderedPage page = filled(8, 8, kWhite);
  auto added = job.addPage(viewOf(page));
  ASSERT_FALSE(added);
  EXPECT_EQ(added.error(), "Не удалось сохранить задание печати: No space left on device");
  EXPECT_FALSE(job.finish(1));
}

TEST(PrintJobPdfTest, APageWhosePixelsDoNotMatchItsSizeIsRefused) {
  RenderedPage page = filled(4, 4, kWhite);
  page.pixels.pop_back();
  auto pdf = makeJobPdf({page}, 1);
  ASSERT_FALSE(pdf);
  EXPECT_EQ(pdf.error(), "Принтер не принял изображение этикетки");
}

}  // namespace
}  // namespace zorvik::printing
