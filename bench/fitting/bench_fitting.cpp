// Label fitting against `qpdf --rotate=+90` rewriting the same file, in the
// same run: a one-page label and a 50-page A4 document. Prints the median
// times, their ratios and the peak memory of both.
//
// The figure with a goal is the one in this process: the fit, file to file,
// against qpdf's own job code doing --rotate=+90 on the same file, in CPU
// time of this thread (user and system: reading and writing the files count),
// medians of rounds that alternate which goes first. Whole programs (process
// start included) are timed on the wall clock beside it, without a goal. The
// noise line: the job's even rounds against its odd ones.
//
//   bench_fitting [RUNS]              the whole benchmark (BENCH_SMOKE=1: one short round)
//   bench_fitting fit IN OUT W H ROT  one fit, file to file (the child runs)
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDFJob.hh>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pdf_builder.hpp"
#include "printing/pdf_fit.hpp"

namespace {

namespace fs = std::filesystem;
using zorvik::Bytes;
using zorvik::printing::LabelFormat;

std::string deflate(const std::string& data) {
  Pl_Buffer buffer("deflated");
  Pl_Flate flate("deflate", &buffer, Pl_Flate::a_deflate);
  flate.write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
  flate.finish();
  auto out = buffer.getBufferSharedPointer();
  return std::string(reinterpret_cast<const char*>(out->getBuffer()), out->getSize());
}

// A PDF of `pages` pages of the given size, each with its own compressed
// content and, when `imageSide` is not 0, its own photo-like RGB image.
std::string document(int pages, double width, double height, std::string (*content)(int), int imageSide) {
  std::vector<std::string> objects{"<< /Type /Catalog /Pages 2 0 R >>", "",
                                   "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
  std::string kids;
  unsigned noise = 12345;
  for (int p = 0; p < pages; ++p) {
    std::string image;
    if (imageSide) {
      std::string pixels(static_cast<std::size_t>(imageSide * imageSide * 3), '\0');
      for (std::size_t i = 0; i < pixels.size(); ++i) {
        noise = noise * 1103515245 + 12345;
        pixels[i] = static_cast<char>((i / 3 % 256) ^ ((noise >> 16) & 0x1F));
      }
      std::string data = deflate(pixels);
      objects.push_back("<< /Type /XObject /Subtype /Image /Width " + std::to_string(imageSide) + " /Height " +
                        std::to_string(imageSide) +
                        " /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter /FlateDecode /Length " +
                        std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream");
      image = " /XObject << /Im1 " + std::to_string(objects.size()) + " 0 R >>";
    }
    std::string data = deflate(content(p));
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "] /Resources << /Font << /F1 3 0 R >>" + image + " >> /Contents " +
                      std::to_string(objects.size() + 2) + " 0 R >>");
    kids += std::to_string(objects.size()) + " 0 R ";
    objects.push_back("<< /Length " + std::to_string(data.size()) + " /Filter /FlateDecode >>\nstream\n" + data +
                      "\nendstream");
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  return zorvik::testing::buildPdf(objects);
}

// A shipping label: text and a barcode of 400 bars.
std::string labelContent(int) {
  std::string c = "BT /F1 14 Tf 20 250 Td (SHIP TO: 12 Warehouse Lane, Dock 4) Tj ET\n";
  for (int i = 0; i < 400; ++i) c += std::to_string(20 + i) + " 40 " + std::to_string(1 + i % 3) + " 120 re f\n";
  return c;
}

// An A4 page: a frame, a picture and 60 lines of text.
std::string a4Content(int page) {
  std::string c = "2 w 30 30 535 782 re S\nq 200 0 0 200 350 560 cm /Im1 Do Q\nBT /F1 10 Tf 50 790 Td 12 TL\n";
  for (int i = 0; i < 60; ++i)
    c += "(Page " + std::to_string(page + 1) + ", line " + std::to_string(i) + ": order " +
         std::to_string(4711 + page * 60 + i) + ", quantity 12, shelf B-07) '\n";
  return c + "ET\n";
}

Bytes readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  Bytes bytes(fs::file_size(path));
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

void writeFile(const fs::path& path, const void* data, std::size_t size) {
  std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

struct Run {
  double ms;
  long peakKib;
};

// Runs a program to its end through the small launcher beside this one:
// wall time and its own peak resident memory.
Run spawn(const std::string& launcher, const std::vector<std::string>& args) {
  std::string line = "'" + launcher + "'";
  for (const std::string& a : args) line += " '" + a + "'";
  FILE* pipe = ::popen(line.c_str(), "r");
  Run run{0, 0};
  if (!pipe || std::fscanf(pipe, "%lf %ld", &run.ms, &run.peakKib) != 2 || ::pclose(pipe) != 0) {
    std::fprintf(stderr, "failed: %s\n", line.c_str());
    std::exit(1);
  }
  return run;
}

// CPU time (user and system) of the calling thread, in milliseconds.
double threadCpuMs() {
  rusage u{};
  getrusage(RUSAGE_THREAD, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The median of the even rounds over that of the odd ones: two halves of the
// same measurement, so their ratio is the noise of the run.
double evenOverOdd(const std::vector<double>& v) {
  std::vector<double> even, odd;
  for (std::size_t i = 0; i < v.size(); ++i) (i % 2 ? odd : even).push_back(v[i]);
  return median(even) / median(odd);
}

LabelFormat labelFormat(double w, double h, int rotation) {
  LabelFormat f;
  f.widthMm = w;
  f.heightMm = h;
  f.rotation = rotation;
  return f;
}

int fitOnce(char** argv) {
  Bytes in = readFile(argv[2]);
  auto out = zorvik::printing::fitPdfBytes(in, labelFormat(std::atof(argv[4]), std::atof(argv[5]), std::atoi(argv[6])));
  if (!out) {
    std::fprintf(stderr, "%s\n", out.error().c_str());
    return 1;
  }
  writeFile(argv[3], out->data(), out->size());
  return 0;
}

struct Case {
  const char* name;
  fs::path file;
  double w, h;
  int loops;  // in-process repetitions
  bool goal;  // the in-process ratio is one of the figures with a goal
};

void measure(const Case& c, const std::string& self, const std::string& launcher, const fs::path& dir, int runs) {
  const fs::path ours = dir / "ours.pdf", theirs = dir / "qpdf.pdf";
  const std::string w = std::to_string(c.w), h = std::to_string(c.h);
  // Whole programs, alternated so both see the same machine.
  std::vector<double> oursMs, qpdfMs;
  long oursPeak = 0, qpdfPeak = 0;
  for (int i = 0; i < runs; ++i) {
    Run a = spawn(launcher, {self, "fit", c.file.string(), ours.string(), w, h, "90"});
    Run b = spawn(launcher, {"qpdf", "--rotate=+90", c.file.string(), theirs.string()});
    oursMs.push_back(a.ms);
    qpdfMs.push_back(b.ms);
    oursPeak = std::max(oursPeak, a.peakKib);
    qpdfPeak = std::max(qpdfPeak, b.peakKib);
  }
  // In this process, file to file: the fit against qpdf's own job code doing
  // --rotate=+90 (no process start in either).
  Bytes input = readFile(c.file);
  LabelFormat format = labelFormat(c.w, c.h, 90);
  std::vector<double> fitMs, jobMs;
  auto fitOnceHere = [&] {
    double t0 = threadCpuMs();
    Bytes bytes = readFile(c.file);
    auto out = zorvik::printing::fitPdfBytes(bytes, format);
    if (!out) std::exit(1);
    writeFile(ours, out->data(), out->size());
    return threadCpuMs() - t0;
  };
  auto jobOnceHere = [&] {
    double t0 = threadCpuMs();
    QPDFJob job;
    job.config()->inputFile(c.file.string())->outputFile(theirs.string())->rotate("+90")->checkConfiguration();
    job.run();
    return threadCpuMs() - t0;
  };
  // Warm-up of both (files in the page cache, allocator grown), then rounds
  // in alternating order so neither always runs on the other's leftovers.
  for (int i = 0; i < std::min(3, c.loops); ++i) {
    fitOnceHere();
    jobOnceHere();
  }
  for (int i = 0; i < c.loops; ++i) {
    if (i % 2 == 0) {
      fitMs.push_back(fitOnceHere());
      jobMs.push_back(jobOnceHere());
    } else {
      jobMs.push_back(jobOnceHere());
      fitMs.push_back(fitOnceHere());
    }
  }
  double a = median(oursMs), b = median(qpdfMs), f = median(fitMs), j = median(jobMs);
  std::printf("%s (%zu bytes, fitted to %.0f x %.0f mm, rotation 90):\n", c.name, input.size(), c.w, c.h);
  std::printf("  in process, CPU time, median of %d: fit %.3f ms, qpdf job %.3f ms, ratio %.2f\n", c.loops, f, j, f / j);
  if (c.goal) std::printf("  figure: fit of a 50-page A4 in process, CPU time vs a qpdf job = %.2f (goal <= 0.50)\n", f / j);
  if (c.loops < 2)
    std::printf("  noise line: n/a (one round)\n");
  else
    std::printf("  noise line: the qpdf job's even rounds against its odd ones %.2f; the fit's %.2f\n",
                evenOverOdd(jobMs), evenOverOdd(fitMs));
  std::printf("  process, wall clock, median of %d: fit %.2f ms, qpdf --rotate=+90 %.2f ms, ratio %.2f\n", runs, a, b, a / b);
  std::printf("  peak RSS: fit %ld KiB, qpdf %ld KiB, ratio %.2f\n", oursPeak, qpdfPeak,
              static_cast<double>(oursPeak) / static_cast<double>(qpdfPeak));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 7 && std::string(argv[1]) == "fit") return fitOnce(argv);
  const bool smoke = std::getenv("BENCH_SMOKE") != nullptr;
  int runs = smoke ? 1 : argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;

  std::string tmpl = (fs::temp_directory_path() / "zorvik-bench-fitting-XXXXXX").string();
  fs::path dir = ::mkdtemp(tmpl.data());
  std::string label = document(1, 432, 288, labelContent, 0);  // 6 x 4 inches, landscape
  std::string a4 = document(50, 595.28, 841.89, a4Content, 160);
  writeFile(dir / "label.pdf", label.data(), label.size());
  writeFile(dir / "a4-50.pdf", a4.data(), a4.size());
  std::string self = fs::canonical("/proc/self/exe").string();
  std::string launcher = (fs::path(self).parent_path() / "bench_fitting_peak").string();

  measure({"1-page label", dir / "label.pdf", 100, 150, smoke ? 1 : 200, false}, self, launcher, dir, runs);
  measure({"50-page A4", dir / "a4-50.pdf", 100, 150, smoke ? 1 : 31, true}, self, launcher, dir, runs);
  fs::remove_all(dir);
  return 0;
}
