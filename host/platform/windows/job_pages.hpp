// The pages of a print job's PDF (each page one page-sized image, as the
// printing module writes it) decoded to pixels for GDI. Built as C++17 with
// qpdf, like the fitting code, so this header stays free of newer types.
#pragma once

#include <functional>
#include <string>

namespace zorvik::platform::windows_print {

struct JobPage {
  double widthPt = 0;
  double heightPt = 0;
  int widthPx = 0;
  int heightPx = 0;
  int bitsPerPixel = 0;  // 1 (black and white), 8 (grey) or 24 (RGB)
  std::string pixels;    // rows top to bottom, each padded to a whole byte
};

// Calls `each` with every page in order until it answers false. False with
// `error` set when the file cannot be read as such a PDF.
bool forEachJobPage(const std::string& utf8Path, const std::function<bool(const JobPage&)>& each,
                    std::string& error);

}  // namespace zorvik::platform::windows_print
