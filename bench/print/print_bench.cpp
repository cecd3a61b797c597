// Print job benchmark: `print_bytes` of a 58 × 40 mm label to a queue (fit,
// render at the printer's resolution, make the job, submit), repeated; and one
// job of a multi-page A4 document for a peak-memory run.
//
//   bench_print write FILE          the label PDF the run uses
//   bench_print write-a4 FILE N     an A4 document of N pages
//   bench_print jobs QUEUE FILE N   N jobs of FILE to QUEUE after one to warm up;
//                                   prints the milliseconds the N took
//   bench_print once QUEUE FILE     one job of FILE as it is (no label format)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "pdf_builder.hpp"
#include "printing/print_job.hpp"

using namespace zorvik;

namespace {

// `pages` A4 pages, each with its own content stream (so each is drawn anew).
std::string a4Document(int pages) {
  std::string one = testing::a4Pdf();
  auto objectText = [&](int number) {
    std::string head = std::to_string(number) + " 0 obj\n";
    auto start = one.find(head) + head.size();
    return one.substr(start, one.find("\nendobj", start) - start);
  };
  // Objects of onePagePdf: 1 catalog, 2 pages, 3 page, 4 content, 5 font.
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>", "", objectText(5)};
  std::string kids;
  for (int i = 0; i < pages; ++i) {
    std::string page = objectText(3);
    page.replace(page.find("/F1 5 0 R"), 9, "/F1 3 0 R");
    page.replace(page.find("/Contents 4 0 R"), 15, "/Contents " + std::to_string(objects.size() + 2) + " 0 R");
    objects.push_back(page);
    kids += std::to_string(objects.size()) + " 0 R ";
    std::string content = "BT /F1 30 Tf 200 820 Td (Page " + std::to_string(i + 1) + ") Tj ET\n";
    std::string original = objectText(4);
    auto streamAt = original.find("stream\n") + 7;
    content += original.substr(streamAt, original.rfind("\nendstream") - streamAt);
    objects.push_back(testing::pdfStream(content));
  }
  objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
  return testing::buildPdf(objects);
}

Bytes readAll(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "write" && argc == 3) {
    std::ofstream(argv[2], std::ios::binary) << testing::labelPdf();
    return 0;
  }
  if (mode == "write-a4" && argc == 4) {
    std::ofstream(argv[2], std::ios::binary) << a4Document(std::atoi(argv[3]));
    return 0;
  }
  if (mode == "once" && argc == 4) {
    auto printed = printing::printBytes(readAll(argv[3]), std::string(argv[2]), std::nullopt, 1);
    if (!printed) {
      std::cerr << printed.error() << "\n";
      return 1;
    }
    std::printf("%zu\n", printed->pages);
    return 0;
  }
  if (mode != "jobs" || argc != 5) {
    std::cerr << "usage: bench_print write FILE | write-a4 FILE N | jobs QUEUE FILE N | once QUEUE FILE\n";
    return 2;
  }
  Bytes pdf = readAll(argv[3]);
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
