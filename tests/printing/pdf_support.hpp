// Small PDFs written object by object, and the checks every produced PDF
// must pass: `qpdf --check` and a render with `pdftoppm`.
#pragma once

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <array>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/bytes.hpp"
#include "../fixtures/engine/pdf_builder.hpp"
#include "test_env.hpp"

namespace zorvik::testing {

// A PDF whose objects are numbered from 1 in the given order; object 1 is the catalog.
inline Bytes makePdf(const std::vector<std::string>& objects) {
  std::string out = buildPdf(objects);
  return Bytes(out.begin(), out.end());
}

inline std::string stream(const std::string& data, const std::string& dictionary = "") {
  return "<< /Length " + std::to_string(data.size()) + dictionary + " >>\nstream\n" + data + "\nendstream";
}

// One page with the given page-dictionary entries and content "0 0 m 10 10 l S".
inline Bytes onePage(const std::string& pageEntries, const std::string& pagesEntries = "") {
  return makePdf({"<< /Type /Catalog /Pages 2 0 R >>",
                  "<< /Type /Pages /Kids [3 0 R] /Count 1" + pagesEntries + " >>",
                  "<< /Type /Page /Parent 2 0 R /Contents 4 0 R" + pageEntries + " >>",
                  stream("0 0 m 10 10 l S")});
}

inline std::string box(double x0, double y0, double x1, double y1) {
  std::ostringstream s;
  s.precision(12);
  s << "[" << x0 << " " << y0 << " " << x1 << " " << y1 << "]";
  return s.str();
}

inline std::string toString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Runs a shell command line, answering its exit status and its output.
inline std::pair<int, std::string> run(const std::string& commandLine) {
  std::string output;
  FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (!pipe) return {-1, "popen failed"};
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, n);
  int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

// The file must pass `qpdf --check` without warnings and render with
// `pdftoppm` to a non-empty image.
inline void expectValidPdf(const Bytes& pdf) {
  TempDir dir;
  auto path = dir.path() / "check.pdf";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(pdf.data()),
                                              static_cast<std::streamsize>(pdf.size()));
  auto [checkStatus, checkOutput] = run("qpdf --check '" + path.string() + "'");
  EXPECT_EQ(checkStatus, 0) << checkOutput;
  EXPECT_NE(checkOutput.find("No syntax or stream encoding errors found"), std::string::npos) << checkOutput;
  EXPECT_EQ(checkOutput.find("WARNING"), std::string::npos) << checkOutput;
  auto [renderStatus, renderOutput] =
      run("pdftoppm -r 36 -png '" + path.string() + "' '" + (dir.path() / "page").string() + "'");
  EXPECT_EQ(renderStatus, 0) << renderOutput;
  EXPECT_TRUE(renderOutput.empty()) << renderOutput;  // poppler prints its complaints
  bool rendered = false;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().extension() == ".png" && entry.file_size() > 0) rendered = true;
  EXPECT_TRUE(rendered);
}

// What a test needs to know of one page of a produced PDF.
struct PageView {
  std::string content;  // decoded, all streams joined
  std::array<double, 6> matrix{};  // the leading "q <m> cm", when there is one
  bool hasMatrix = false;
  std::vector<double> mediaBox, cropBox;  // the page's own entries
  long long rotate = 0;
};

inline std::vector<double> numbers(QPDFObjectHandle array) {
  std::vector<double> out;
  if (!array.isArray()) return out;
  for (auto& item : array.getArrayAsVector()) out.push_back(item.getNumericValue());
  return out;
}

inline std::vector<PageView> readPages(const Bytes& pdf) {
  QPDF doc;
  doc.setSuppressWarnings(true);
  doc.processMemoryFile("fitted.pdf", reinterpret_cast<const char*>(pdf.data()), pdf.size());
  std::vector<PageView> pages;
  for (QPDFObjectHandle page : doc.getAllPages()) {
    PageView view;
    QPDFObjectHandle contents = page.getKey("/Contents");
    std::vector<QPDFObjectHandle> streams =
        contents.isArray() ? contents.getArrayAsVector() : std::vector<QPDFObjectHandle>{contents};
    for (auto& s : streams)
      if (s.isStream()) {
        auto data = s.getStreamData(qpdf_dl_all);
        view.content.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
      }
    std::istringstream in(view.content);
    std::string q, cm;
    if (in >> q && q == "q") {
      for (double& v : view.matrix) in >> v;
      view.hasMatrix = static_cast<bool>(in >> cm) && cm == "cm";
    }
    view.mediaBox = numbers(page.getKey("/MediaBox"));
    view.cropBox = numbers(page.getKey("/CropBox"));
    if (page.getKey("/Rotate").isInteger()) view.rotate = page.getKey("/Rotate").getIntValue();
    pages.push_back(std::move(view));
  }
  return pages;
}

}  // namespace zorvik::testing
