// Per-page render time through the renderer thread against pdftoppm (the same
// poppler) rendering the same page in the same run, and the peak memory of each.
//
// pdftoppm renders a document of `pages` copies of the page in one process, so
// its start-up is spread over the pages; the renderer gets the one-page document
// `pages` times, as print jobs send it. Medians of kRounds.
//
//   bench_render                 timings of both cases
//   bench_render write DIR       writes label.pdf and a4.pdf (the multi-page files) for pdftoppm
//   bench_render memory CASE     renders CASE (label or a4) through the renderer only, for a peak-memory run
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "pdf_builder.hpp"
#include "platform/paths.hpp"
#include "printing/renderer.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using zorvik::Bytes;

constexpr int kRounds = 5;

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

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

int runPdftoppm(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "pdftoppm", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Case {
  std::string id;
  std::string name;
  std::string pdf;
  int dpi;
  bool label;  // labels are rendered without smoothing
  int pages;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<Case> cases = {{"label", "label 58 × 40 mm at 203 dpi", zorvik::testing::labelPdf(), 203, true, 40},
                             {"a4", "A4 page at 300 dpi", zorvik::testing::a4Pdf(), 300, false, 8}};
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
        if (!(*renderer)->render(pdf, c.dpi)) return 1;
      return 0;
    }
    return 2;
  }

  fs::path tmp = fs::temp_directory_path() / ("zorvik-bench-render-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  for (const Case& c : cases) {
    Bytes pdf(c.pdf.begin(), c.pdf.end());
    auto warm = (*renderer)->render(pdf, c.dpi);  // loads the engine
    if (!warm) {
      std::fprintf(stderr, "%s\n", warm.error().c_str());
      return 1;
    }
    fs::path many = tmp / "pages.pdf";
    std::ofstream(many, std::ios::binary) << repeated(c.pdf, c.pages);

    std::vector<double> ours, theirs;
    for (int round = 0; round < kRounds; ++round) {
      auto start = Clock::now();
      for (int i = 0; i < c.pages; ++i)
        if (!(*renderer)->render(pdf, c.dpi)) return 1;
      ours.push_back(msSince(start) / c.pages);

      std::vector<std::string> args = {"pdftoppm", "-r", std::to_string(c.dpi)};
      if (c.label) args.insert(args.end(), {"-aa", "no", "-aaVector", "no"});
      args.insert(args.end(), {many.string(), (tmp / "page").string()});
      start = Clock::now();
      if (runPdftoppm(args) != 0) return 1;
      theirs.push_back(msSince(start) / c.pages);
    }
    double a = median(ours), b = median(theirs);
    std::printf("%s: renderer %.2f ms/page, pdftoppm %.2f ms/page, ratio %.2f\n", c.name.c_str(), a, b, a / b);
  }
  fs::remove_all(tmp);
  return 0;
}
