// Per-page render CPU time of the renderer thread against pdftoppm (the same
// poppler) rendering the same pages with the same settings in the same run,
// and the peak memory of each. CPU time, not wall time: on a shared machine the
// wall clock measures the neighbours as much as the renderer.
//
// Like with like:
//  - the same file: a document of `pages` copies of the page, which both
//    render whole; the renderer once through renderEach, pdftoppm once;
//  - the same work per page: the resolution, anti-aliasing off for labels and
//    on for A4 pages, and for labels black-and-white output (pdftoppm -mono;
//    the renderer's sink turns the grey page black or white and packs it 1 bit
//    a pixel, as a print job does). pdftoppm writes its pictures to /dev/null;
//  - pdftoppm's process start (loading, fontconfig) is not a page's cost: its
//    per-page time is the CPU time of the `pages`-page run less that of a
//    one-page run, over `pages` - 1. The renderer's engine is loaded by the
//    warm-up.
// Beside the figure, without a goal: the same pages sent as `pages` one-page
// documents, as print jobs send them (each pays for its document and fonts).
// Rounds alternate which of the two goes first; medians of the rounds after a
// warm-up of each. The noise line: pdftoppm's even rounds against its odd
// ones, and the spread of the rounds' ratios.
//
//   bench_render                 timings of both cases (BENCH_SMOKE=1: one short round)
//   bench_render write DIR       writes label.pdf and a4.pdf (the multi-page files) for pdftoppm
//   bench_render memory CASE     renders CASE (label or a4) through the renderer only, for a peak-memory run
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdf_builder.hpp"
#include "platform/paths.hpp"
#include "printing/renderer.hpp"
#include "printing/renderer_render.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using zorvik::Bytes;

// The same page `copies` times (all pages share one content stream).
std::string repeated(const std::string& onePage, int copies) {
  // Objects of onePagePdf: 1 catalog, 2 pages, 3 page, 4 content, 5 font.
  auto objectText = [&](int number) {
    std::string head = std::to_string(number) + " 0 obj\n";
    auto start = onePage.find(head) + head.size();
    return onePage.substr(start, onePage.find("\nendobj", start) - start);
  };
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "", objectText(4), objectText(5)};
  std::string kids;
  for (int i = 0; i < copies; ++i) {
    kids += std::to_string(5 + i) + " 0 R ";
    std::string page = objectText(3);
    page.replace(page.find("/Contents 4 0 R"), 15, "/Contents 3 0 R");
    page.replace(page.find("/F1 5 0 R"), 9, "/F1 4 0 R");
    objects.push_back(page);
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(copies) + " >>";
  return zorvik::testing::buildPdf(objects);
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double cpuMs(const rusage& u) {
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// CPU time (user and system) of this process, all threads, in milliseconds.
double ownCpuMs() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return cpuMs(u);
}

// Runs pdftoppm with its output going to /dev/null; its CPU time in
// milliseconds, or a negative number when it failed.
double runPdftoppm(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int spawned = posix_spawnp(&pid, "pdftoppm", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return cpuMs(usage);
}

struct Case {
  std::string id;
  std::string name;
  std::string pdf;
  int dpi;
  bool label;  // labels are drawn without smoothing and printed black or white
  int pages;
};

// What a print job does with a label page before it goes out: every pixel
// black or white, packed 8 to a byte. Kept in one row buffer, then dropped.
zorvik::Status packBlackAndWhite(const zorvik::printing::PageImage& page) {
  static std::vector<std::uint8_t> row;
  row.assign((static_cast<std::size_t>(page.widthPx) + 7) / 8, 0);
  volatile std::uint8_t sink = 0;
  for (std::int32_t y = 0; y < page.heightPx; ++y) {
    const std::uint8_t* src = page.pixels + page.stride * static_cast<std::size_t>(y);
    std::fill(row.begin(), row.end(), 0);
    for (std::int32_t x = 0; x < page.widthPx; ++x)
      if (zorvik::printing::isWhite(src[x])) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    sink = sink ^ row[0];
  }
  return {};
}

zorvik::Status nothingKept(const zorvik::printing::PageImage&) { return {}; }

std::string fixed2(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", v);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const bool smoke = std::getenv("BENCH_SMOKE") != nullptr;
  const int rounds = smoke ? 1 : 7;
  std::vector<Case> cases = {
      // Enough label pages that pdftoppm's pages outweigh the spread of its start-up.
      {"label", "label 58 × 40 mm at 203 dpi", zorvik::testing::labelPdf(), 203, true, smoke ? 2 : 200},
      {"a4", "A4 page at 300 dpi", zorvik::testing::a4Pdf(), 300, false, smoke ? 2 : 8}};
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write" && argc > 2) {
    for (const Case& c : cases) std::ofstream(fs::path(argv[2]) / (c.id + ".pdf"), std::ios::binary) << repeated(c.pdf, c.pages);
    return 0;
  }

  auto exeDir = zorvik::platform::executableDir();
  auto renderer = zorvik::printing::Renderer::start(*exeDir);
  if (!renderer) return 1;

  if (mode == "memory" && argc > 2) {
    for (const Case& c : cases) {
      if (c.id != argv[2]) continue;
      Bytes pdf(c.pdf.begin(), c.pdf.end());
      for (int i = 0; i < c.pages; ++i)
        if (!(*renderer)->renderEach(pdf, c.dpi, nothingKept)) return 1;
      return 0;
    }
    return 2;
  }

  fs::path tmp = fs::temp_directory_path() / ("zorvik-bench-render-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  for (const Case& c : cases) {
    Bytes one(c.pdf.begin(), c.pdf.end());
    std::string manyText = repeated(c.pdf, c.pages);
    Bytes many(manyText.begin(), manyText.end());
    fs::path manyFile = tmp / "pages.pdf", oneFile = tmp / "page.pdf";
    std::ofstream(manyFile, std::ios::binary) << manyText;
    std::ofstream(oneFile, std::ios::binary) << c.pdf;
    std::vector<std::string> args = {"pdftoppm", "-r", std::to_string(c.dpi)};
    if (c.label) args.insert(args.end(), {"-aa", "no", "-aaVector", "no", "-mono"});
    auto sink = c.label ? packBlackAndWhite : nothingKept;

    // The pages of one document, per page.
    auto ours = [&]() -> double {
      double start = ownCpuMs();
      auto drawn = (*renderer)->renderEach(many, c.dpi, sink);
      if (!drawn || *drawn != static_cast<std::size_t>(c.pages)) return -1;
      return (ownCpuMs() - start) / c.pages;
    };
    // The same pages as one-page documents, per page.
    auto oursAsJobs = [&]() -> double {
      double start = ownCpuMs();
      for (int i = 0; i < c.pages; ++i)
        if (!(*renderer)->renderEach(one, c.dpi, sink)) return -1;
      return (ownCpuMs() - start) / c.pages;
    };
    // pdftoppm's CPU time for the pages beyond the first, per page.
    auto theirs = [&]() -> double {
      auto withFile = [&](const fs::path& file) {
        auto a = args;
        a.push_back(file.string());  // no output root: the pictures go to standard output
        return runPdftoppm(a);
      };
      double all = withFile(manyFile), first = withFile(oneFile);
      if (all < 0 || first < 0) return -1;
      return std::max(all - first, 0.0) / (c.pages - 1);
    };
    // Warm-up: loads the engine, maps the page buffer, reads pdftoppm from disk.
    if (ours() < 0 || oursAsJobs() < 0 || theirs() < 0) {
      std::fprintf(stderr, "%s: a warm-up render failed\n", c.name.c_str());
      return 1;
    }
    std::vector<double> oursMs, jobsMs, theirsMs, ratios;
    for (int round = 0; round < rounds; ++round) {
      double a, j, b;
      if (round % 2 == 0) {
        a = ours();
        j = oursAsJobs();
        b = theirs();
      } else {
        b = theirs();
        j = oursAsJobs();
        a = ours();
      }
      if (a < 0 || j < 0 || b < 0) {
        std::fprintf(stderr, "%s: a render failed\n", c.name.c_str());
        return 1;
      }
      oursMs.push_back(a);
      jobsMs.push_back(j);
      theirsMs.push_back(b);
      ratios.push_back(a / b);
    }
    double a = median(oursMs), j = median(jobsMs), b = median(theirsMs);
    std::printf("%s, %d pages, CPU time per page: renderer %.2f ms, pdftoppm %s %.2f ms (its start-up left out)\n",
                c.name.c_str(), c.pages, a, c.label ? "-mono -aa no" : "(anti-aliased)", b);
    std::printf("  figure: render %s, CPU time vs pdftoppm = %.2f (goal <= %s)\n", c.id == "a4" ? "A4" : "label", a / b,
                c.label ? "0.70" : "1.00");
    std::printf("  as %d one-page documents (print jobs): renderer %.2f ms a page, ratio %.2f\n", c.pages, j, j / b);
    std::vector<double> even, odd;
    for (std::size_t i = 0; i < theirsMs.size(); ++i) (i % 2 ? odd : even).push_back(theirsMs[i]);
    std::string self = odd.empty() ? "n/a (one round)" : fixed2(median(even) / median(odd));
    std::printf("  noise line: %s, pdftoppm's even rounds against its odd ones %s; the rounds' ratios from %.2f to %.2f\n",
                c.id.c_str(), self.c_str(), *std::min_element(ratios.begin(), ratios.end()),
                *std::max_element(ratios.begin(), ratios.end()));
  }
  fs::remove_all(tmp);
  return 0;
}
