#include "ui/LabelPreview.h"

#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include "batch/LabelSheet.h"

namespace kestrun {

namespace {

constexpr double kMmPerInch = 25.4;
constexpr double kPointsPerInch = 72;

// The labels on a printer's (or the preview's) pages: millimetres become the
// device's pixels; fonts are sized in points, which a printer keeps true.
class CPainterCanvas : public batch::ILabelCanvas {
 public:
  CPainterCanvas(QPrinter& printer, QPainter& painter) : printer_(printer), painter_(painter) {}

  int pages() const { return pages_; }

  void NewPage(const batch::LabelGeometry&) override {
    if (pages_++ > 0) printer_.newPage();
  }
  void Fill(const std::vector<batch::MmRect>& rects) override {
    QPainterPath path;
    for (const batch::MmRect& r : rects) path.addRect(QRectF(X(r.x), Y(r.y), X(r.width), Y(r.height)));
    path.setFillRule(Qt::WindingFill);
    painter_.fillPath(path, Qt::black);
  }
  double TextWidth(batch::LabelFont font, double points, const std::string& text) override {
    const QFontMetricsF metrics(Font(font, points), painter_.device());
    return metrics.horizontalAdvance(QString::fromStdString(text)) * kPointsPerInch /
           painter_.device()->logicalDpiX();
  }
  void Text(batch::LabelFont font, double points, const std::string& text, double x,
            double baseline) override {
    painter_.setFont(Font(font, points));
    painter_.setPen(Qt::black);
    painter_.drawText(QPointF(X(x), Y(baseline)), QString::fromStdString(text));
  }

 private:
  // Helvetica, as the PDF has it, else a face of the same widths (Liberation
  // Sans on Debian, Arial on Windows), so that the labels fit as the PDF's do.
  QFont Font(batch::LabelFont font, double points) const {
    QFont f;
    f.setFamilies({"Helvetica", "Liberation Sans", "Arial", "Nimbus Sans"});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(font == batch::LabelFont::Bold);
    return QFont(f, painter_.device());
  }
  double X(double mm) const { return mm * printer_.resolution() / kMmPerInch; }
  double Y(double mm) const { return mm * printer_.resolution() / kMmPerInch; }

  QPrinter& printer_;
  QPainter& painter_;
  int pages_ = 0;
};

// The printer's page: the layout's size, no margins (a label sheet's cut
// lines are where the geometry says).
void SetPage(QPrinter& printer, const batch::LabelGeometry& geometry) {
  printer.setFullPage(true);
  printer.setDocName("Tracker labels");
  const QPageSize size(QSizeF(geometry.pageWidth, geometry.pageHeight), QPageSize::Millimeter,
                       QString::fromUtf8(geometry.name), QPageSize::FuzzyMatch);
  printer.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(), QPageLayout::Millimeter));
}

}  // namespace

QDialog* MakeLabelPreview(QWidget* parent, const std::vector<batch::LabelRecord>& labels,
                          batch::LabelLayout layout, QString& error) {
  // The labels are checked (and their QR codes made) once before the dialog opens.
  struct CNoCanvas : batch::ILabelCanvas {
    void NewPage(const batch::LabelGeometry&) override {}
    void Fill(const std::vector<batch::MmRect>&) override {}
    double TextWidth(batch::LabelFont, double, const std::string&) override { return 0; }
    void Text(batch::LabelFont, double, const std::string&, double, double) override {}
  } check;
  std::string why;
  if (!batch::DrawLabelSheet(labels, layout, check, why)) {
    error = QString::fromStdString(why);
    return nullptr;
  }
  // At the printer's high resolution, text is measured as it is printed (a
  // screen's whole pixels would round a font's width up and cut its text).
  auto* printer = new QPrinter(QPrinter::HighResolution);
  auto* dialog = new QPrintPreviewDialog(printer, parent);
  QObject::connect(dialog, &QObject::destroyed, [printer] { delete printer; });
  dialog->setWindowTitle("Print Labels");
  dialog->setAccessibleName("Print Labels");
  SetPage(*dialog->printer(), batch::GeometryOf(layout));
  QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, [labels, layout](QPrinter* printer) {
    QPainter painter(printer);
    CPainterCanvas canvas(*printer, painter);
    std::string ignored;  // checked above
    batch::DrawLabelSheet(labels, layout, canvas, ignored);
  });
  return dialog;
}

}  // namespace kestrun
