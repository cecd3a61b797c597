// Library start, documents, pages, sizes and forms.
#include <optional>

#include "engine.hpp"

#include <Catalog.h>
#include <Error.h>
#include <ErrorCodes.h>
#include <GlobalParams.h>
#include <PDFDoc.h>
#include <Page.h>
#include <SplashOutputDev.h>
#include <Stream.h>
#include <goo/GooString.h>

using namespace pdfengine;

namespace {

unsigned long lastError = kErrSuccess;
int initialisations = 0;

void quietErrors(ErrorCategory, Goffset, const char*) {}

unsigned long errorFor(int popplerCode) {
  switch (popplerCode) {
    case errOpenFile:
    case errFileIO:
      return kErrFile;
    case errBadCatalog:
    case errDamaged:
      return kErrFormat;
    case errEncrypted:
      return kErrPassword;
    case errPermission:
      return kErrSecurity;
    default:
      return kErrUnknown;
  }
}

// Width and height as the page is shown, with its own /Rotate applied.
std::pair<double, double> shownSize(const ::Page* page) {
  double w = page->getCropWidth(), h = page->getCropHeight();
  if (page->getRotate() % 180 != 0) return {h, w};
  return {w, h};
}

}  // namespace

namespace pdfengine {

void setLastError(unsigned long code) { lastError = code; }

Document::Document(std::unique_ptr<PDFDoc> p) : pdf(std::move(p)) {}
Document::~Document() {
  outputs.clear();  // output devices refer to the document
  pdf.reset();
}

SplashOutputDev& Document::output(bool smoothText, bool grey) {
  auto& slot = outputs[{smoothText, grey}];
  if (!slot) {
    SplashColor paper = {0xFF, 0xFF, 0xFF, 0xFF};
    slot = std::make_unique<SplashOutputDev>(grey ? splashModeMono8 : splashModeXBGR8, grey ? 1 : 4, false, paper);
    slot->setFontAntialias(smoothText);
    slot->startDoc(pdf.get());
  }
  return *slot;
}

}  // namespace pdfengine

ENGINE_EXPORT void FPDF_InitLibrary() {
  if (initialisations++ == 0) {
    globalParams = std::make_unique<GlobalParams>();
    setErrorCallback(quietErrors);
  }
}

ENGINE_EXPORT void FPDF_DestroyLibrary() {
  if (initialisations > 0 && --initialisations == 0) globalParams.reset();
}

ENGINE_EXPORT unsigned long FPDF_GetLastError() { return lastError; }

// `data` must stay valid until the document is closed.
ENGINE_EXPORT Document* FPDF_LoadMemDocument64(const void* data, std::size_t size, const char* password) {
  if (initialisations == 0 || (!data && size != 0)) {
    lastError = initialisations == 0 ? kErrUnknown : kErrFile;
    return nullptr;
  }
  std::optional<GooString> pass;
  if (password) pass.emplace(password);
  auto* stream = new MemStream(static_cast<const char*>(data), 0, static_cast<Goffset>(size), Object(objNull));
  auto pdf = std::make_unique<PDFDoc>(stream, pass, pass);  // the document owns the stream
  if (!pdf->isOk()) {
    lastError = errorFor(pdf->getErrorCode());
    return nullptr;
  }
  lastError = kErrSuccess;
  return new Document(std::move(pdf));
}

ENGINE_EXPORT Document* FPDF_LoadMemDocument(const void* data, int size, const char* password) {
  if (size < 0) {
    lastError = kErrFile;
    return nullptr;
  }
  return FPDF_LoadMemDocument64(data, static_cast<std::size_t>(size), password);
}

ENGINE_EXPORT void FPDF_CloseDocument(Document* doc) { delete doc; }

ENGINE_EXPORT int FPDF_GetPageCount(Document* doc) { return doc ? doc->pdf->getNumPages() : 0; }

ENGINE_EXPORT PageHandle* FPDF_LoadPage(Document* doc, int index) {
  if (!doc || index < 0 || index >= doc->pdf->getNumPages()) return nullptr;
  ::Page* page = doc->pdf->getPage(index + 1);
  if (!page) return nullptr;  // a page the page tree cannot give
  return new PageHandle{doc, page};
}

ENGINE_EXPORT void FPDF_ClosePage(PageHandle* page) { delete page; }

ENGINE_EXPORT float FPDF_GetPageWidthF(PageHandle* page) {
  return page ? static_cast<float>(shownSize(page->page).first) : 0.0F;
}

ENGINE_EXPORT float FPDF_GetPageHeightF(PageHandle* page) {
  return page ? static_cast<float>(shownSize(page->page).second) : 0.0F;
}

ENGINE_EXPORT double FPDF_GetPageWidth(PageHandle* page) { return page ? shownSize(page->page).first : 0.0; }

ENGINE_EXPORT double FPDF_GetPageHeight(PageHandle* page) { return page ? shownSize(page->page).second : 0.0; }

// 0 none, 1 interactive form, 2 XFA form.
ENGINE_EXPORT int FPDF_GetFormType(Document* doc) {
  if (!doc) return -1;
  switch (doc->pdf->getCatalog()->getFormType()) {
    case Catalog::AcroForm:
      return 1;
    case Catalog::XfaForm:
      return 2;
    default:
      return 0;
  }
}

// The form-fill description begins with its version (1 or 2); the callbacks
// after it are not needed to draw fields.
ENGINE_EXPORT FormHandle* FPDFDOC_InitFormFillEnvironment(Document* doc, const void* formInfo) {
  if (!doc || !formInfo) return nullptr;
  int version = *static_cast<const int*>(formInfo);
  if (version < 1 || version > 2) return nullptr;
  ++doc->formEnvironments;
  return new FormHandle{doc};
}

ENGINE_EXPORT void FPDFDOC_ExitFormFillEnvironment(FormHandle* form) {
  if (!form) return;
  --form->doc->formEnvironments;
  delete form;
}
