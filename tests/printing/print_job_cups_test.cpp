// Print jobs through a private CUPS scheduler, checked in what its queues
// received: page order with copies, sizes and pixels at the printer's
// resolution, temporary files, the failure texts, and the test page.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <thread>

#include "../fixtures/cups/private_cupsd.hpp"
#include "../fixtures/engine/pdf_builder.hpp"
#include "print_job_support.hpp"
#include "printing/print_job.hpp"
#include "printing/print_job_files.hpp"
#include "platform/paths.hpp"
#include "printing/renderer.hpp"
#include "test_env.hpp"

namespace zorvik::printing {
namespace {

namespace fs = std::filesystem;
using testing::kMm;
using testing::PrivateCupsd;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A page of `w` × `h` mm with black boxes given in mm from the bottom left (x, y, width, height).
std::string boxes(const std::vector<std::array<double, 4>>& list) {
  std::string content = "0 0 0 rg";
  for (const auto& b : list)
    content += " " + std::to_string(b[0] * kMm) + " " + std::to_string(b[1] * kMm) + " " +
               std::to_string(b[2] * kMm) + " " + std::to_string(b[3] * kMm) + " re f";
  return content;
}

std::string labelPdf(double w, double h, const std::vector<std::array<double, 4>>& list) {
  return testing::onePagePdf(w * kMm, h * kMm, boxes(list));
}

// Two 58 × 40 mm pages: a box in the top left corner, then one in the bottom right.
std::string twoPagePdf() {
  return testing::buildPdf({
      "<< /Type /Catalog /Pages 2 0 R >>",
      "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 " + std::to_string(58 * kMm) + " " +
          std::to_string(40 * kMm) + "] >>",
      "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>",
      "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>",
      testing::pdfStream(boxes({{0, 30, 10, 10}})),
      testing::pdfStream(boxes({{48, 0, 10, 10}})),
  });
}

LabelFormat format(double w, double h) { return LabelFormat{.widthMm = w, .heightMm = h}; }

bool emptyFolder(const fs::path& dir) { return fs::is_empty(dir); }

class PrintJobCupsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    cupsd = PrivateCupsd::shared();
    // A renderer of the suite's own, stopped at its end: the engine can be
    // loaded only once at a time, and other suites of this process load it too.
    auto started = Renderer::start(*platform::executableDir());
    ASSERT_TRUE(started) << started.error();
    renderer = started->release();
  }
  static void TearDownTestSuite() {
    delete renderer;
    renderer = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(cupsd, nullptr);
    ASSERT_NE(renderer, nullptr);
    cupsd->clearUserOptions();
    lastJob = cupsd->lastJobId();
  }

  static Result<PrintReport> print(const std::string& pdf, const std::string& printer,
                                   std::optional<LabelFormat> format, std::optional<std::int64_t> copies) {
    return printBytes(bytesOf(pdf), printer, std::move(format), copies, renderer);
  }

  // The one job the queue received since the test began.
  testing::CapturedJob received() const {
    auto jobs = cupsd->waitForJobs(lastJob, 1);
    EXPECT_EQ(jobs.size(), 1U);
    return jobs.empty() ? testing::CapturedJob{} : jobs.front();
  }

  static inline PrivateCupsd* cupsd = nullptr;
  static inline Renderer* renderer = nullptr;
  int lastJob = 0;
  testing::TempDir sources;  // made before the temporary folder is pointed elsewhere
  testing::TempDir tmp;
  testing::ScopedEnv tmpdir{"TMPDIR", tmp.path().string()};
};

TEST_F(PrintJobCupsTest, TwoPagesThreeCopiesAreOneJobOfSixPagesInOrder) {
  auto report = print(twoPagePdf(), "raw", std::nullopt, 3);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->pages, 2U);

  testing::CapturedJob job = received();
  EXPECT_NE(job.meta.find("title=Этикетка Zorvik\ncopies=1\n"), std::string::npos) << job.meta;
  auto pages = testing::readJob(job.document);
  ASSERT_EQ(pages.size(), 6U);
  for (std::size_t i = 0; i < pages.size(); ++i) {
    const testing::JobPage& page = pages[i];
    bool first = i % 2 == 0;
    // 10 mm at 203 dpi is 80 pixels: look inside each corner's box.
    EXPECT_EQ(page.black(40, 40), first) << "page " << i + 1;
    EXPECT_EQ(page.black(page.widthPx - 40, page.heightPx - 40), !first) << "page " << i + 1;
  }
  EXPECT_TRUE(emptyFolder(tmp.path()));
}

TEST_F(PrintJobCupsTest, ALabelAt203DpiArrivesAt58By40WithItsPixelsInPlace) {
  // A 10 × 10 mm box 10 mm from the left and 5 mm from the bottom.
  auto report = print(labelPdf(58, 40, {{10, 5, 10, 10}}), "raw", format(58, 40), 1);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->renderDpi, 203);  // the raw queue states no resolution

  testing::CapturedJob job = received();
  EXPECT_NE(job.meta.find("media=Custom.58x40mm"), std::string::npos) << job.meta;
  EXPECT_NE(job.meta.find("print-scaling=none"), std::string::npos) << job.meta;
  auto pages = testing::readJob(job.document);
  ASSERT_EQ(pages.size(), 1U);
  const testing::JobPage& page = pages[0];
  ASSERT_EQ(page.mediaBox.size(), 4U);
  EXPECT_NEAR(page.mediaBox[2] / kMm, 58, 0.01);
  EXPECT_NEAR(page.mediaBox[3] / kMm, 40, 0.01);
  EXPECT_EQ(page.widthPx, 464);
  EXPECT_EQ(page.heightPx, 320);
  EXPECT_EQ(page.bits, 1);
  // The box spans pixels 80..159 across and rows 200..279 from the top.
  struct Probe {
    int x, y;
    bool black;
  } probes[] = {{82, 202, true}, {157, 277, true}, {120, 240, true}, {77, 240, false},
                {162, 240, false}, {120, 197, false}, {120, 282, false}, {5, 5, false}};
  for (const Probe& p : probes) EXPECT_EQ(page.black(p.x, p.y), p.black) << p.x << "," << p.y;
}

TEST_F(PrintJobCupsTest, CopiesZeroNullAndAboveAHundred) {
  const std::string label = labelPdf(58, 40, {{1, 1, 5, 5}});
  struct Case {
    std::optional<std::int64_t> copies;
    std::size_t pages;
  } cases[] = {{0, 1}, {std::nullopt, 1}, {250, 100}, {2, 2}};
  for (const Case& c : cases) {
    int before = cupsd->lastJobId();
    auto report = print(label, "raw", std::nullopt, c.copies);
    ASSERT_TRUE(report) << report.error();
    auto jobs = cupsd->waitForJobs(before, 1);
    ASSERT_EQ(jobs.size(), 1U);
    EXPECT_EQ(testing::readJob(jobs[0].document).size(), c.pages) << c.copies.value_or(-1);
  }
}

TEST_F(PrintJobCupsTest, ASizedLabelIsPrintedFromItsOwnFileAndAFittedOneFromATemporaryCopy) {
  fs::path sized = sources.path() / "sized.pdf";
  std::ofstream(sized, std::ios::binary) << labelPdf(58, 40, {{1, 1, 5, 5}});
  auto report = printFile(sized, "raw", format(58, 40), 1, renderer);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->printedFile, sized);
  EXPECT_TRUE(emptyFolder(tmp.path()));
  (void)received();

  fs::path large = sources.path() / "large.pdf";
  std::ofstream(large, std::ios::binary) << labelPdf(100, 150, {{1, 1, 5, 5}});
  lastJob = cupsd->lastJobId();
  report = printFile(large, "raw", format(58, 40), 1, renderer);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->printedFile.parent_path(), tmp.path());
  EXPECT_TRUE(report->printedFile.filename().string().starts_with("zorvik-ready-"))
      << report->printedFile;
  EXPECT_TRUE(emptyFolder(tmp.path()));  // removed once the job was sent
  auto pages = testing::readJob(received().document);
  ASSERT_EQ(pages.size(), 1U);
  EXPECT_EQ(pages[0].widthPx, 464);
}

TEST_F(PrintJobCupsTest, JobsInFlightTogetherKeepTheirOwnFittedFiles) {
  // Both need fitting; each must arrive with its own box.
  const std::string left = labelPdf(100, 150, {{0, 0, 30, 150}});
  const std::string right = labelPdf(100, 150, {{70, 0, 30, 150}});
  Result<PrintReport> reports[2];
  std::thread a([&] { reports[0] = print(left, "raw", format(58, 40), 1); });
  std::thread b([&] { reports[1] = print(right, "raw", format(58, 40), 1); });
  a.join();
  b.join();
  ASSERT_TRUE(reports[0]) << reports[0].error();
  ASSERT_TRUE(reports[1]) << reports[1].error();
  EXPECT_NE(reports[0]->printedFile, reports[1]->printedFile);

  auto jobs = cupsd->waitForJobs(lastJob, 2);
  ASSERT_EQ(jobs.size(), 2U);
  int leftJobs = 0, rightJobs = 0;
  for (const auto& job : jobs) {
    auto pages = testing::readJob(job.document);
    ASSERT_EQ(pages.size(), 1U);
    const auto& page = pages[0];
    // Where the black stripe landed: left or right of the label's middle.
    long long sum = 0, count = 0;
    for (int y = 0; y < page.heightPx; ++y)
      for (int x = 0; x < page.widthPx; ++x)
        if (page.black(x, y)) {
          sum += x;
          ++count;
        }
    ASSERT_GT(count, 0);
    (sum / count < page.widthPx / 2 ? leftJobs : rightJobs) += 1;
  }
  EXPECT_EQ(leftJobs, 1);
  EXPECT_EQ(rightJobs, 1);
  EXPECT_TRUE(emptyFolder(tmp.path()));
}

TEST_F(PrintJobCupsTest, TheDriversResolutionAndPaperThroughItsFilters) {
  // A label printer with a driver: 300 dpi, and the PDF goes through CUPS's
  // own filters, which must not scale it.
  auto report = print(labelPdf(58, 40, {{10, 5, 10, 10}}), "custom", format(58, 40), 1);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->renderDpi, 300);
  testing::CapturedJob job = received();
  ASSERT_TRUE(job.document.starts_with("%PDF")) << job.document.substr(0, 16);
  auto pages = testing::readPages(Bytes(job.document.begin(), job.document.end()));
  ASSERT_EQ(pages.size(), 1U);
  ASSERT_EQ(pages[0].mediaBox.size(), 4U);
  EXPECT_NEAR((pages[0].mediaBox[2] - pages[0].mediaBox[0]) / kMm, 58, 0.1);
  EXPECT_NEAR((pages[0].mediaBox[3] - pages[0].mediaBox[1]) / kMm, 40, 0.1);

  // Drawn again at 300 dpi, the box is where the source put it: 118..236 across, 295..413 down.
  auto drawn = renderer->render(Bytes(job.document.begin(), job.document.end()), 300);
  ASSERT_TRUE(drawn) << drawn.error();
  const RenderedPage& page = drawn->front();
  std::size_t bytes = page.kind == PixelKind::Grey ? 1 : 4;
  auto black = [&](int x, int y) { return page.pixels[(static_cast<std::size_t>(y) * page.widthPx + x) * bytes] == 0; };
  struct Probe {
    int x, y;
    bool black;
  } probes[] = {{122, 299, true}, {232, 409, true}, {113, 354, false}, {241, 354, false}, {177, 290, false},
                {177, 418, false}};
  for (const Probe& p : probes) EXPECT_EQ(black(p.x, p.y), p.black) << p.x << "," << p.y;
}

TEST_F(PrintJobCupsTest, FailuresAnswerTheirTextAndLeaveNoFiles) {
  const Bytes label = bytesOf(labelPdf(58, 40, {{1, 1, 5, 5}}));
  struct Case {
    Bytes data;
    std::string printer;
    std::optional<LabelFormat> format;
    std::string error;
  } cases[] = {
      {{}, "raw", std::nullopt, "Пустой файл — печатать нечего"},
      {bytesOf("<!DOCTYPE html><html><body>502</body></html>"), "raw", std::nullopt,
       "Это не PDF — возможно, ссылка ведёт на страницу с ошибкой"},
      {bytesOf("%PDF-1.4 broken"), "raw", std::nullopt, "Не удалось разобрать PDF: …"},  // the renderer's text
      {label, "no-such-printer", std::nullopt, "Принтер «no-such-printer» не открылся"},
      {label, "rejecting", std::nullopt, "Принтер не принял задание"},
      {label, "raw", format(0, 40), "Размер этикетки задан неверно"},
  };
  for (const Case& c : cases) {
    auto report = printBytes(c.data, c.printer, c.format, 1, renderer);
    ASSERT_FALSE(report) << c.error;
    if (c.error.ends_with("…")) {
      EXPECT_TRUE(report.error().starts_with(c.error.substr(0, c.error.size() - std::string("…").size())))
          << report.error();
    } else {
      EXPECT_EQ(report.error(), c.error);
    }
    EXPECT_TRUE(emptyFolder(tmp.path())) << c.error;
  }
  auto missing = printFile("/no/such/label.pdf", "raw", std::nullopt, 1, renderer);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), "Файл не найден: /no/such/label.pdf");
}

TEST_F(PrintJobCupsTest, TheTestPageGoesToTheDefaultPrinterOnce) {
  auto report = printTestPage(std::nullopt, std::nullopt, renderer);
  ASSERT_TRUE(report) << report.error();
  EXPECT_EQ(report->printer, "raw");
  EXPECT_TRUE(report->printedFile.filename().string().starts_with("zorvik-test-")) << report->printedFile;
  auto pages = testing::readJob(received().document);
  ASSERT_EQ(pages.size(), 1U);
  EXPECT_NEAR(pages[0].mediaBox[2] / kMm, 58, 0.01);
  EXPECT_NEAR(pages[0].mediaBox[3] / kMm, 40, 0.01);
  EXPECT_TRUE(emptyFolder(tmp.path()));

  auto broken = printTestPage("raw", format(0, 0), renderer);
  ASSERT_FALSE(broken);
  EXPECT_EQ(broken.error(), "Размер этикетки задан неверно");
  EXPECT_TRUE(emptyFolder(tmp.path()));
}

TEST(PrintJobRulesTest, CopiesAndResolution) {
  struct {
    std::optional<std::int64_t> given;
    int copies;
  } copies[] = {{0, 1}, {std::nullopt, 1}, {1, 1}, {100, 100}, {250, 100}};
  for (const auto& c : copies) EXPECT_EQ(effectiveCopies(c.given), c.copies) << c.given.value_or(-1);
  struct {
    int reported, rendered;
  } dpi[] = {{96, 150}, {1200, 600}, {0, 203}, {-5, 203}, {203, 203}, {300, 300}, {600, 600}};
  for (const auto& d : dpi) EXPECT_EQ(renderingDpi(d.reported), d.rendered) << d.reported;
}

TEST(PrintJobFilesTest, TemporaryFilesAreNewPrivateAndGoneWithTheirOwner) {
  testing::TempDir tmp;
  testing::ScopedEnv tmpdir("TMPDIR", tmp.path().string());
  fs::path firstPath, secondPath;
  {
    auto first = TempFile::create("zorvik-ready-7", bytesOf("one"));
    auto second = TempFile::create("zorvik-ready-7", bytesOf("two"));
    ASSERT_TRUE(first && second);
    firstPath = first->path();
    secondPath = second->path();
    EXPECT_EQ(firstPath, tmp.path() / "zorvik-ready-7.pdf");
    EXPECT_EQ(secondPath, tmp.path() / "zorvik-ready-7-2.pdf");
    EXPECT_EQ(testing::text(*readWholeFile(firstPath)), "one");
    EXPECT_EQ(testing::text(*readWholeFile(secondPath)), "two");
    struct stat info{};
    ASSERT_EQ(::stat(firstPath.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600U);
  }
  EXPECT_TRUE(fs::is_empty(tmp.path()));

  // A link planted under the name is never written through.
  fs::create_symlink(tmp.path() / "elsewhere", tmp.path() / "zorvik-test-1.pdf");
  auto planted = TempFile::create("zorvik-test-1", bytesOf("page"));
  ASSERT_TRUE(planted);
  EXPECT_EQ(planted->path(), tmp.path() / "zorvik-test-1-2.pdf");
  EXPECT_FALSE(fs::exists(tmp.path() / "elsewhere"));
}

}  // namespace
}  // namespace zorvik::printing
