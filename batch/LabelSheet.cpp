// The PDF of a label sheet: libqrencode makes each QR code, libharu the
// pages; the QR modules and the text are vector drawings, so the labels stay
// sharp at any printer's resolution.
#include "batch/LabelSheet.h"

#include <hpdf.h>
#include <qrencode.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <type_traits>

#include "settings/SafeFile.h"

namespace kestrun::batch {

namespace {

constexpr double kPointsPerMm = 72.0 / 25.4;
constexpr double kPadding = 2;       // mm between a label's edge and its QR code
constexpr double kRightPadding = 4;  // mm after the text: a sheet printer leaves its edge blank
constexpr int kQuietModules = 4;     // the white border a QR reader needs, in modules
constexpr double kSmallestText = 4;  // pt: text that would need less is cut instead
constexpr double kLeastShare = 0.6;  // nor is text made smaller than this share of its size

double Pt(double mm) { return mm * kPointsPerMm; }

// libharu reports failures through this handler; the first one is kept.
struct HaruErrors {
  HPDF_STATUS error = 0, detail = 0;
};
void HPDF_STDCALL OnHaruError(HPDF_STATUS error, HPDF_STATUS detail, void* data) {
  auto* errors = static_cast<HaruErrors*>(data);
  if (errors->error == 0) *errors = {error, detail};
}

// The fonts take WinAnsi bytes; a tracker's own text (its firmware) may hold
// any byte, so everything but printable ASCII is shown as '?'.
std::string Printable(const std::string& text) {
  std::string shown = text.empty() ? "-" : text;
  for (char& c : shown)
    if (c < 0x20 || c > 0x7e) c = '?';
  return shown;
}

// A page and where its label's top left corner is, in mm from the page's top left.
class CLabelPainter {
 public:
  CLabelPainter(HPDF_Page page, double pageHeight, double left, double top)
      : page_(page), pageHeight_(pageHeight), left_(left), top_(top) {}

  // The dark modules of `qr` in a square of `side` mm at (x, y), quiet border
  // included; each row's runs of modules are rectangles of one filled path,
  // so no seam shows between neighbours.
  void QrCode(const QRcode& qr, double x, double y, double side) {
    const double module = side / (qr.width + 2 * kQuietModules);
    for (int row = 0; row < qr.width; ++row) {
      const unsigned char* line = qr.data + static_cast<std::size_t>(row) * qr.width;
      for (int start = 0; start < qr.width;) {
        if (!(line[start] & 1)) {
          ++start;
          continue;
        }
        int end = start;
        while (end < qr.width && (line[end] & 1)) ++end;
        const double top = y + (kQuietModules + row + 1) * module;
        HPDF_Page_Rectangle(page_, X(x + (kQuietModules + start) * module), Y(top),
                            static_cast<HPDF_REAL>(Pt((end - start) * module)),
                            static_cast<HPDF_REAL>(Pt(module)));
        start = end;
      }
    }
    HPDF_Page_Fill(page_);
  }

  // `text` with its baseline at (x, baseline), at `size` pt or smaller (down
  // to 60 %) so that it fits `width` mm; cut short with "..." when even that
  // does not fit (a firmware text of any length).
  void Text(HPDF_Font font, double size, std::string text, double x, double baseline, double width) {
    const double room = Pt(width);
    HPDF_Page_SetFontAndSize(page_, font, static_cast<HPDF_REAL>(size));
    const double wide = HPDF_Page_TextWidth(page_, text.c_str());
    if (wide > room) {
      // A little under the exact ratio, which rounding could leave too wide.
      size = std::max({kSmallestText, kLeastShare * size, 0.99 * size * room / wide});
      HPDF_Page_SetFontAndSize(page_, font, static_cast<HPDF_REAL>(size));
      while (text.size() > 3 && HPDF_Page_TextWidth(page_, text.c_str()) > room)
        text = text.substr(0, text.size() - 4) + "...";
    }
    HPDF_Page_BeginText(page_);
    HPDF_Page_TextOut(page_, X(x), Y(baseline), text.c_str());
    HPDF_Page_EndText(page_);
  }

 private:
  HPDF_REAL X(double mm) const { return static_cast<HPDF_REAL>(Pt(left_ + mm)); }
  HPDF_REAL Y(double mm) const { return static_cast<HPDF_REAL>(Pt(pageHeight_ - top_ - mm)); }

  HPDF_Page page_;
  double pageHeight_, left_, top_;
};

struct Fonts {
  HPDF_Font regular, bold;
};

// One label: the QR code on the left, as high as the label allows; on its
// right four captioned lines (IMEI, ICCID, firmware, date), each line's
// share of the height split into a small caption above a larger value.
void DrawLabel(CLabelPainter& painter, const Fonts& fonts, const QRcode& qr, const LabelRecord& label,
               const LabelGeometry& geometry) {
  const double side = geometry.labelHeight - 2 * kPadding;
  painter.QrCode(qr, kPadding, kPadding, side);
  const double x = kPadding + side + 1;
  const double width = geometry.labelWidth - kRightPadding - x;
  const struct {
    const char* caption;
    const std::string& value;
    bool bold;
  } lines[] = {{"IMEI", label.imei, true},
               {"ICCID", label.iccid, false},
               {"Firmware", label.firmware, false},
               {"Date", label.date, false}};
  const double share = side / std::size(lines);  // mm per line
  double top = kPadding;
  for (const auto& line : lines) {
    painter.Text(fonts.regular, Pt(0.3 * share), line.caption, x, top + 0.26 * share, width);
    painter.Text(line.bold ? fonts.bold : fonts.regular, Pt(0.5 * share), Printable(line.value), x,
                 top + 0.74 * share, width);
    top += share;
  }
}

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

bool WriteLabelSheet(const std::vector<LabelRecord>& labels, LabelLayout layout, const std::string& path,
                     std::string& error) {
  if (labels.empty()) {
    error = path + ": no labels to write";
    return false;
  }
  const LabelGeometry& geometry = GeometryOf(layout);
  HaruErrors errors;
  Document doc(HPDF_New(OnHaruError, &errors), HPDF_Free);
  if (!doc) {
    error = path + ": the PDF could not be started (out of memory)";
    return false;
  }
  HPDF_SetCompressionMode(doc.get(), HPDF_COMP_ALL);
  HPDF_SetInfoAttr(doc.get(), HPDF_INFO_CREATOR, "RV450 Kestrun");
  HPDF_SetInfoAttr(doc.get(), HPDF_INFO_TITLE, "Tracker labels");
  const Fonts fonts{HPDF_GetFont(doc.get(), "Helvetica", "WinAnsiEncoding"),
                    HPDF_GetFont(doc.get(), "Helvetica-Bold", "WinAnsiEncoding")};
  const std::size_t perPage = static_cast<std::size_t>(geometry.columns * geometry.rows);
  HPDF_Page page = nullptr;
  for (std::size_t i = 0; i < labels.size() && errors.error == 0; ++i) {
    const LabelRecord& label = labels[i];
    if (label.imei.empty()) {
      error = path + ": label " + std::to_string(i + 1) + " has no IMEI";
      return false;
    }
    errno = 0;
    const QrCode qr(QRcode_encodeString(label.imei.c_str(), 0, QR_ECLEVEL_H, QR_MODE_8, 1), QRcode_free);
    if (!qr) {
      error = path + ": IMEI " + Printable(label.imei) + ": the QR code could not be made (" +
              std::strerror(errno ? errno : EINVAL) + ")";
      return false;
    }
    const std::size_t place = i % perPage;
    if (place == 0) {
      page = HPDF_AddPage(doc.get());
      HPDF_Page_SetWidth(page, static_cast<HPDF_REAL>(Pt(geometry.pageWidth)));
      HPDF_Page_SetHeight(page, static_cast<HPDF_REAL>(Pt(geometry.pageHeight)));
    }
    const int column = static_cast<int>(place) % geometry.columns, row = static_cast<int>(place) / geometry.columns;
    CLabelPainter painter(page, geometry.pageHeight, geometry.left + column * geometry.labelWidth,
                          geometry.top + row * geometry.labelHeight);
    DrawLabel(painter, fonts, *qr, label, geometry);
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
