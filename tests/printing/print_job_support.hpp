// Reading back the document a print job sends: its pages and the image each
// one shows, decoded.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <string>
#include <vector>

#include "core/bytes.hpp"
#include "pdf_support.hpp"

namespace zorvik::testing {

struct JobPage {
  std::vector<double> mediaBox;
  std::string content;
  int imageObject = 0;  // object number of the page's image, to see sharing
  int widthPx = 0, heightPx = 0, bits = 0;
  std::string colourSpace;
  Bytes samples;  // decoded rows

  // Pure black at (x, y) of a 1-bit image (rows top to bottom).
  [[nodiscard]] bool black(int x, int y) const {
    std::size_t row = (static_cast<std::size_t>(widthPx) + 7) / 8;
    return !(samples[y * row + x / 8] & (0x80 >> (x % 8)));
  }
};

inline std::vector<JobPage> readJob(const std::string& pdf) {
  QPDF doc;
  doc.processMemoryFile("job.pdf", pdf.data(), pdf.size());
  std::vector<JobPage> pages;
  for (QPDFObjectHandle page : doc.getAllPages()) {
    JobPage view;
    view.mediaBox = numbers(page.getKey("/MediaBox"));
    auto content = page.getKey("/Contents").getStreamData(qpdf_dl_all);
    view.content.assign(reinterpret_cast<const char*>(content->getBuffer()), content->getSize());
    QPDFObjectHandle image = page.getKey("/Resources").getKey("/XObject").getKey("/Im0");
    view.imageObject = image.getObjectID();
    QPDFObjectHandle dict = image.getDict();
    view.widthPx = static_cast<int>(dict.getKey("/Width").getIntValue());
    view.heightPx = static_cast<int>(dict.getKey("/Height").getIntValue());
    view.bits = static_cast<int>(dict.getKey("/BitsPerComponent").getIntValue());
    view.colourSpace = dict.getKey("/ColorSpace").getName();
    auto samples = image.getStreamData(qpdf_dl_all);
    view.samples.assign(samples->getBuffer(), samples->getBuffer() + samples->getSize());
    pages.push_back(std::move(view));
  }
  return pages;
}

inline std::string text(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// One command through the app itself (`zorvik --invoke`), with `environment`
// ("NAME=value ...") added to this process's own.
struct Invocation {
  int exitCode = -1;
  std::string output;  // the answer on standard output, or the error text
};

inline Invocation invokeApp(const std::string& command, const std::string& args, const std::string& environment = "") {
  auto [status, output] = run("env " + environment + " '" + std::string(ZORVIK_APP) + "' --invoke " + command + " '" +
                              args + "'");
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return {status, output};
}

}  // namespace zorvik::testing
