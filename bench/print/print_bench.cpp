// Print job benchmark: `print_bytes` of a 58 × 40 mm label to a queue (fit,
// render at the printer's resolution, make the job, submit), repeated.
//
//   bench_print write FILE          the label PDF the run uses
//   bench_print jobs QUEUE FILE N   N jobs of FILE to QUEUE after one to warm up;
//                                   prints the milliseconds the N took
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "pdf_builder.hpp"
#include "printing/print_job.hpp"

using namespace zorvik;

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write" && argc == 3) {
    std::ofstream(argv[2], std::ios::binary) << testing::labelPdf();
    return 0;
  }
  if (mode != "jobs" || argc != 5) {
    std::cerr << "usage: bench_print write FILE | jobs QUEUE FILE N\n";
    return 2;
  }
  std::ifstream in(argv[3], std::ios::binary);
  Bytes pdf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int count = std::atoi(argv[4]);
  printing::LabelFormat label{.widthMm = 58, .heightMm = 40};
  auto job = [&] {
    auto printed = printing::printBytes(pdf, std::string(argv[2]), label, 1);
    if (!printed) {
      std::cerr << printed.error() << "\n";
      std::exit(1);
    }
  };
  job();  // loads the engine
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) job();
  std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
  std::printf("%.1f\n", took.count());
  return 0;
}
