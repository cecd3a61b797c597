// Per-page render CPU time through the renderer thread against pdftoppm (the
// same poppler) rendering the same page in the same run, and the peak memory of
// each. CPU time, not wall time: on a shared machine the wall clock measures
// the neighbours as much as the renderer.
//
// pdftoppm renders a document of `pages` copies of the page in one process, so
// its start-up is spread over the pages, and writes its pictures to /dev/null;
// the renderer gets the one-page document `pages` times, as print jobs send it,
// and hands each page to a sink that keeps nothing. Rounds alternate which of
// the two goes first; medians of kRounds after a warm-up of each.
//
//   bench_render                 timings of both cases
//   bench_render write DIR       writes label.pdf and a4.pdf (the multi-page files) for pdftoppm
//   bench_render memory CASE     renders CASE (label or a4) through the renderer only, for a peak-memory run
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
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
using zorvik::Bytes;

constexpr int kRounds = 7;

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
        if (!(*renderer)->renderEach(pdf, c.dpi, [](const zorvik::printing::PageImage&) -> zorvik::Status { return {}; }))
          return 1;
      return 0;
    }
    return 2;
  }

  fs::path tmp = fs::temp_directory_path() / ("zorvik-bench-render-" + std::to_string(getpid()));
  fs::create_directories(tmp);
  auto nothingKept = [](const zorvik::printing::PageImage&) -> zorvik::Status { return {}; };
  for (const Case& c : cases) {
    Bytes pdf(c.pdf.begin(), c.pdf.end());
    fs::path many = tmp / "pages.pdf";
    std::ofstream(many, std::ios::binary) << repeated(c.pdf, c.pages);
    std::vector<std::string> args = {"pdftoppm", "-r", std::to_string(c.dpi)};
    if (c.label) args.insert(args.end(), {"-aa", "no", "-aaVector", "no"});
    args.push_back(many.string());  // no output root: the pictures go to standard output

    auto ours = [&]() -> double {
      double start = ownCpuMs();
      for (int i = 0; i < c.pages; ++i)
        if (!(*renderer)->renderEach(pdf, c.dpi, nothingKept)) return -1;
      return (ownCpuMs() - start) / c.pages;
    };
    auto theirs = [&]() -> double {
      double cpu = runPdftoppm(args);
      return cpu < 0 ? -1 : cpu / c.pages;
    };
    // Warm-up: loads the engine, maps the page buffer, reads pdftoppm from disk.
    if (ours() < 0 || theirs() < 0) {
      std::fprintf(stderr, "%s: a warm-up render failed\n", c.name.c_str());
      return 1;
    }
    std::vector<double> oursMs, theirsMs;
    for (int round = 0; round < kRounds; ++round) {
      double a, b;
      if (round % 2 == 0) {
        a = ours();
        b = theirs();
      } else {
        b = theirs();
        a = ours();
      }
      if (a < 0 || b < 0) return 1;
      oursMs.push_back(a);
      theirsMs.push_back(b);
    }
    double a = median(oursMs), b = median(theirsMs);
    std::printf("%s, CPU time: renderer %.2f ms/page, pdftoppm %.2f ms/page, ratio %.2f (goal <= %s)\n",
                c.name.c_str(), a, b, a / b, c.label ? "0.70" : "1.00");
  }
  fs::remove_all(tmp);
  return 0;
}
