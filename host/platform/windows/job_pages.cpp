#include "platform/windows/job_pages.hpp"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <exception>

namespace zorvik::platform::windows_print {

bool forEachJobPage(const std::string& utf8Path, const std::function<bool(const JobPage&)>& each,
                    std::string& error) {
  try {
    QPDF pdf;
    pdf.setSuppressWarnings(true);
    pdf.processFile(utf8Path.c_str());  // qpdf opens a UTF-8 name as such
    for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
      JobPage out;
      auto box = page.getMediaBox().getArrayAsRectangle();
      out.widthPt = box.urx - box.llx;
      out.heightPt = box.ury - box.lly;
      auto images = page.getImages();
      if (images.size() != 1) {
        error = "на странице задания не одно изображение";
        return false;
      }
      QPDFObjectHandle image = images.begin()->second;
      auto dict = image.getDict();
      out.widthPx = dict.getKey("/Width").getIntValueAsInt();
      out.heightPx = dict.getKey("/Height").getIntValueAsInt();
      const int bits = dict.getKey("/BitsPerComponent").getIntValueAsInt();
      const bool rgb = dict.getKey("/ColorSpace").isNameAndEquals("/DeviceRGB");
      out.bitsPerPixel = bits == 1 ? 1 : rgb ? 24 : 8;
      out.pixels = image.getStreamData(qpdf_dl_generalized)->getString();
      const std::size_t rowBytes = (static_cast<std::size_t>(out.widthPx) * out.bitsPerPixel + 7) / 8;
      if (out.widthPx <= 0 || out.heightPx <= 0 || out.pixels.size() < rowBytes * out.heightPx) {
        error = "изображение страницы задания повреждено";
        return false;
      }
      if (!each(out)) return true;
    }
    return true;
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

}  // namespace zorvik::platform::windows_print
