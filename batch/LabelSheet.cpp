// The PDF of a label sheet: libqrencode makes each QR code, libharu the
// pages; the QR modules and the text are vector drawings, so the labels stay
// sharp at any printer's resolution. What a label shows and where comes from
// batch/LabelDrawing, which the window's print preview draws as well.
#include "batch/LabelSheet.h"

#include <hpdf.h>
#include <qrencode.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <type_traits>

#include "settings/SafeFile.h"

namespace kestrun::batch {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;

HPDF_REAL Pt(double mm) { return static_cast<HPDF_REAL>(mm * kPointsPerMm); }

// libharu reports failures through this handler; the first one is kept.
struct HaruErrors {
  HPDF_STATUS error = 0, detail = 0;
};
void HPDF_STDCALL OnHaruError(HPDF_STATUS error, HPDF_STATUS detail, void* data) {
  auto* errors = static_cast<HaruErrors*>(data);
  if (errors->error == 0) *errors = {error, detail};
}

// The labels on libharu's pages (whose origin is the bottom left corner).
class CHaruCanvas : public ILabelCanvas {
 public:
  explicit CHaruCanvas(HPDF_Doc doc)
      : doc_(doc),
        regular_(HPDF_GetFont(doc, "Helvetica", "WinAnsiEncoding")),
        bold_(HPDF_GetFont(doc, "Helvetica-Bold", "WinAnsiEncoding")) {}

  void NewPage(const LabelGeometry& geometry) override {
    page_ = HPDF_AddPage(doc_);
    pageHeight_ = geometry.pageHeight;
    HPDF_Page_SetWidth(page_, Pt(geometry.pageWidth));
    HPDF_Page_SetHeight(page_, Pt(geometry.pageHeight));
  }
  void Fill(const std::vector<MmRect>& rects) override {
    for (const MmRect& r : rects)
      HPDF_Page_Rectangle(page_, Pt(r.x), Y(r.y + r.height), Pt(r.width), Pt(r.height));
    HPDF_Page_Fill(page_);
  }
  double TextWidth(LabelFont font, double points, const std::string& text) override {
    HPDF_Page_SetFontAndSize(page_, Font(font), static_cast<HPDF_REAL>(points));
    return HPDF_Page_TextWidth(page_, text.c_str());
  }
  void Text(LabelFont font, double points, const std::string& text, double x, double baseline) override {
    HPDF_Page_SetFontAndSize(page_, Font(font), static_cast<HPDF_REAL>(points));
    HPDF_Page_BeginText(page_);
    HPDF_Page_TextOut(page_, Pt(x), Y(baseline), text.c_str());
    HPDF_Page_EndText(page_);
  }

 private:
  HPDF_Font Font(LabelFont font) const { return font == LabelFont::Bold ? bold_ : regular_; }
  HPDF_REAL Y(double mm) const { return Pt(pageHeight_ - mm); }

  HPDF_Doc doc_;
  HPDF_Font regular_, bold_;
  HPDF_Page page_ = nullptr;
  double pageHeight_ = 0;
};

using Document = std::unique_ptr<std::remove_pointer_t<HPDF_Doc>, decltype(&HPDF_Free)>;
using QrCode = std::unique_ptr<QRcode, decltype(&QRcode_free)>;

std::string HaruFailure(const std::string& path, const HaruErrors& errors) {
  char code[64];
  std::snprintf(code, sizeof code, "libharu error 0x%04X, detail %u", static_cast<unsigned>(errors.error),
                static_cast<unsigned>(errors.detail));
  return path + ": the PDF could not be made (" + code + ")";
}

}  // namespace

bool LabelsAvailable() { return true; }

std::string LabelsUnavailableText() { return {}; }

bool DrawLabelSheet(const std::vector<LabelRecord>& labels, LabelLayout layout, ILabelCanvas& canvas,
                    std::string& error) {
  if (labels.empty()) {
    error = "no labels to write";
    return false;
  }
  std::vector<QrModules> codes;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const LabelRecord& label = labels[i];
    if (label.imei.empty()) {
      error = "label " + std::to_string(i + 1) + " has no IMEI";
      return false;
    }
    errno = 0;
    const QrCode qr(QRcode_encodeString(label.imei.c_str(), 0, QR_ECLEVEL_H, QR_MODE_8, 1), QRcode_free);
    if (!qr) {
      error = "IMEI " + PrintableLabelText(label.imei) + ": the QR code could not be made (" +
              std::strerror(errno ? errno : EINVAL) + ")";
      return false;
    }
    QrModules& modules = codes.emplace_back();
    modules.width = qr->width;
    const std::size_t count = static_cast<std::size_t>(qr->width) * static_cast<std::size_t>(qr->width);
    modules.dark.resize(count);
    for (std::size_t m = 0; m < count; ++m) modules.dark[m] = qr->data[m] & 1;
  }
  DrawLabels(labels, codes, layout, canvas);
  return true;
}

bool WriteLabelSheet(const std::vector<LabelRecord>& labels, LabelLayout layout, const std::string& path,
                     std::string& error) {
  HaruErrors errors;
  Document doc(HPDF_New(OnHaruError, &errors), HPDF_Free);
  if (!doc) {
    error = path + ": the PDF could not be started (out of memory)";
    return false;
  }
  HPDF_SetCompressionMode(doc.get(), HPDF_COMP_ALL);
  HPDF_SetInfoAttr(doc.get(), HPDF_INFO_CREATOR, "RV450 Kestrun");
  HPDF_SetInfoAttr(doc.get(), HPDF_INFO_TITLE, "Tracker labels");
  CHaruCanvas canvas(doc.get());
  if (!DrawLabelSheet(labels, layout, canvas, error)) {
    error = path + ": " + error;
    return false;
  }
  std::string bytes;
  if (errors.error == 0 && HPDF_SaveToStream(doc.get()) == HPDF_OK) {
    const HPDF_UINT32 expected = HPDF_GetStreamSize(doc.get());
    HPDF_UINT32 size = expected;
    bytes.resize(size);
    // A read that reaches the end may say so (HPDF_STREAM_EOF); a short one is a failure.
    const HPDF_STATUS read = HPDF_ReadFromStream(doc.get(), reinterpret_cast<HPDF_BYTE*>(bytes.data()), &size);
    if ((read != HPDF_OK && read != HPDF_STREAM_EOF) || size != expected) bytes.clear();
  }
  if (errors.error != 0 || bytes.empty()) {
    error = HaruFailure(path, errors);
    return false;
  }
  if (const FileResult written = ReplaceSettingsFile(path, bytes); !written) {
    error = written.Message();
    return false;
  }
  return true;
}

}  // namespace kestrun::batch
