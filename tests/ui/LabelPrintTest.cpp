// Print Labels' preview: as many pages as the layout needs for the chosen
// trackers (the selected rows, or the batch), and the pages it prints (here into a PDF file, as the print
// dialog's "Print to File" does) carry QR codes that read back as the IMEIs
// and the IMEIs and ICCIDs as whole text.
#include <gtest/gtest.h>

#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "../support/QtWait.h"
#include "../support/LabelCodes.h"
#include "../support/SimSupport.h"
#include "../support/TestFiles.h"
#include "batch/LabelSheet.h"
#include "sim/TrackerSim.h"
#include "ui/LabelPreview.h"
#include "ui/LabelPrintBar.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

std::vector<batch::LabelRecord> Labels(int count) {
  std::vector<batch::LabelRecord> labels;
  for (int n = 1; n <= count; ++n)
    labels.push_back({sim::SimImei(n), sim::SimIccid(n), "V2." + std::to_string(n), "2026-12-08"});
  return labels;
}

// Three simulated trackers identified in the Provisioning window: Print
// Labels previews the selected rows' labels, or every row's when none is.
TEST(LabelPrintTest, ThePreviewHasAPageOfLabelsForTheSelectedRowsOrTheBatch) {
  TempDir dir;
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n");
  const std::string ports = dir / "ports";
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
  for (int com : {61, 62, 63}) sims.push_back(StartSimulator(ports, com));
  CProvisioningWindow window(OnlyPortsFolder(ports), dir.path());
  QAbstractItemModel* rows = window.rowsView()->model();
  ASSERT_EQ(rows->rowCount(), 3);
  for (int r = 0; r < 3; ++r)
    rows->setData(rows->index(r, CProvisioningTable::Com), Qt::Checked, Qt::CheckStateRole);
  ASSERT_TRUE(window.Run(ProvisioningAction::Identify));
  WAIT_UNTIL(!window.model().Busy(), 30000);
  auto* bar = window.findChild<CLabelPrintBar*>();
  ASSERT_TRUE(bar);
  using L = batch::LabelLayout;
  const struct {
    std::vector<int> selected;
    L layout;
    int pages;
  } cases[] = {
      {{0, 2}, L::Roll62x29, 2}, {{}, L::Roll62x29, 3}, {{1}, L::A4Grid3x8, 1}, {{}, L::A4Grid3x8, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(batch::GeometryOf(c.layout).name) + " " + std::to_string(c.selected.size()));
    window.rowsView()->clearSelection();
    for (int r : c.selected)
      window.rowsView()->selectionModel()->select(rows->index(r, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    bar->layoutList()->setCurrentIndex(bar->layoutList()->findData(static_cast<int>(c.layout)));
    int pages = -1;
    QSizeF page;
    bar->showPreview = [&](QDialog& dialog) {
      auto* preview = dialog.findChild<QPrintPreviewWidget*>();
      preview->updatePreview();
      pages = preview->pageCount();
      page = static_cast<QPrintPreviewDialog&>(dialog)
                 .printer()
                 ->pageLayout()
                 .fullRect(QPageLayout::Millimeter)
                 .size();
    };
    ASSERT_TRUE(bar->Print());
    EXPECT_EQ(pages, c.pages);
    // The page is the layout's, in millimetres.
    EXPECT_NEAR(page.width(), batch::GeometryOf(c.layout).pageWidth, 0.5);
    EXPECT_NEAR(page.height(), batch::GeometryOf(c.layout).pageHeight, 0.5);
  }
}

TEST(LabelPrintTest, PrintedQrCodesReadBackAsTheImeis) {
  for (const char* tool : {"pdftoppm", "zbarimg", "pdftotext"})
    if (std::system(("command -v " + std::string(tool) + " >/dev/null").c_str()) != 0)
      GTEST_SKIP() << tool << " is missing (Debian: poppler-utils, zbar-tools)";
  TempDir dir;
  const int count = 3;
  for (const batch::LabelLayout layout : {batch::LabelLayout::Roll62x29, batch::LabelLayout::A4Grid3x8}) {
    const batch::LabelGeometry& g = batch::GeometryOf(layout);
    SCOPED_TRACE(g.name);
    QString error;
    const std::unique_ptr<QDialog> dialog(MakeLabelPreview(nullptr, Labels(count), layout, error));
    ASSERT_TRUE(dialog) << error.toStdString();
    auto* preview = static_cast<QPrintPreviewDialog*>(dialog.get());
    const std::string pdf = dir / (std::string(g.name) + ".pdf");
    preview->printer()->setOutputFormat(QPrinter::PdfFormat);
    preview->printer()->setOutputFileName(QString::fromStdString(pdf));
    emit preview->paintRequested(preview->printer());
    // The IMEI and ICCID as text, whole: measured as they are printed, they fit without being cut.
    const std::string text = CommandOutput("pdftotext '" + pdf + "' -");
    for (const batch::LabelRecord& label : Labels(count)) {
      EXPECT_NE(text.find(label.imei), std::string::npos) << text;
      EXPECT_NE(text.find(label.iccid), std::string::npos) << text;
    }
    std::vector<std::string> wanted;
    for (const batch::LabelRecord& label : Labels(count)) wanted.push_back(label.imei);
    const std::vector<std::string> imeis = DecodedLabelCodes(pdf, layout, count, dir.path());
    EXPECT_EQ(imeis, wanted);
  }
}

}  // namespace
