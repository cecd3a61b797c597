// print_label <printer> <pdf>: one print job through the host's job routine
// (fitting off, one copy). Prints "printed <pages> pages at <dpi> dpi" or the error.
// print_label --write-label <pdf>: writes a three-page 58 × 40 mm label PDF.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "core/utf8_path.hpp"
#include "fixtures/engine/pdf_builder.hpp"
#include "platform/windows/win32.hpp"
#include "printing/print_job.hpp"

namespace {

// Three label pages, each with its number in large bars so every page differs.
std::string threePageLabel() {
  using zorvik::testing::kMm;
  std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                      "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"};
  for (int page = 0; page < 3; ++page)
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(58 * kMm) + " " +
                      std::to_string(40 * kMm) + "] /Resources << /Font << /F1 9 0 R >> >> /Contents " +
                      std::to_string(6 + page) + " 0 R >>");
  for (int page = 0; page < 3; ++page) {
    std::string bars;
    for (int bar = 0; bar <= page; ++bar) bars += std::to_string(8 + bar * 10) + " 8 6 50 re f ";
    objects.push_back(zorvik::testing::pdfStream("0 0 0 rg " + bars + "BT /F1 14 Tf 60 80 Td (Page " +
                                                 std::to_string(page + 1) + ") Tj ET"));
  }
  objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
  return zorvik::testing::buildPdf(objects);
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv && argc == 3 && std::wstring(argv[1]) == L"--write-label") {
    std::ofstream(std::filesystem::path(argv[2]), std::ios::binary) << threePageLabel();
    return 0;
  }
  if (!argv || argc != 3) {
    std::fprintf(stderr, "usage: print_label <printer> <pdf>\n");
    return 2;
  }
  const std::string printer = zorvik::platform::win32::utf8(argv[1]);
  const std::filesystem::path pdf(argv[2]);
  ::LocalFree(argv);
  auto report = zorvik::printing::printFile(pdf, printer, std::nullopt, 1);
  if (!report) {
    std::printf("error %s\n", report.error().c_str());
    return 1;
  }
  std::printf("printed %zu pages at %d dpi\n", report->pages, report->renderDpi);
  return 0;
}
