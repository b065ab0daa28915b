// Print Labels in the Provisioning window, for what the window adds to the
// label sheet (LabelSheetTest reads every label of a sheet back): a message
// while no tracker has told its IMEI; the preview of the selected rows' labels,
// or the batch's, on as many pages of the layout's size as they need; and a
// page printed from it (as the print dialog's "Print to File" does) whose QR
// codes and text read back as those rows' IMEIs and ICCIDs, whole.
#include <gtest/gtest.h>

#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <memory>

#include "../support/LabelCodes.h"
#include "../support/QtWait.h"
#include "../support/SimSupport.h"
#include "../support/TestFiles.h"
#include "ui/LabelPrintBar.h"
#include "ui/ProvisioningWindow.h"

using namespace kestrun;
using namespace kestrun::testing;

namespace {

TEST(LabelPrintTest, ThePreviewHoldsTheSelectedRowsOrTheBatchOnTheLayoutsPages) {
  if (const std::string missing = MissingReadBackTool(); !missing.empty()) GTEST_SKIP() << missing;
  TempDir dir;
  WriteFile(dir / "MainSetting.ini", "[Main]\nGenPassword=5830\nComPort=0\nBaudrate=1\nPacing=fast\n");
  std::vector<std::unique_ptr<sim::CTrackerSim>> sims;
  for (int com : {61, 62, 63}) sims.push_back(StartSimulator(dir / "ports", com));
  CProvisioningWindow window(OnlyPortsFolder(dir / "ports"), dir.path());
  auto* bar = window.findChild<CLabelPrintBar*>();
  ASSERT_TRUE(bar);
  EXPECT_FALSE(bar->Print());
  EXPECT_EQ(window.messageLabel()->text().toStdString(),
            "No tracker has told its IMEI yet: Identify or Provision them first");
  QAbstractItemModel* rows = window.rowsView()->model();
  ASSERT_EQ(rows->rowCount(), 3);
  for (std::size_t r = 0; r < 3; ++r) window.model().SetChecked(r, true);
  ASSERT_TRUE(window.Run(ProvisioningAction::Identify));
  WAIT_UNTIL(!window.model().Busy(), 30000);
  using L = batch::LabelLayout;
  const struct {
    std::vector<int> selected;
    L layout;
    int pages;
    bool readBack;  // printed into a PDF file and read back
  } cases[] = {{{}, L::Roll62x29, 3, false}, {{0, 2}, L::A4Grid3x8, 1, true}};
  for (const auto& c : cases) {
    const batch::LabelGeometry& g = batch::GeometryOf(c.layout);
    SCOPED_TRACE(std::string(g.name) + " " + std::to_string(c.selected.size()));
    window.rowsView()->clearSelection();
    for (int r : c.selected)
      window.rowsView()->selectionModel()->select(rows->index(r, 0),
                                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
    bar->layoutList()->setCurrentIndex(bar->layoutList()->findData(static_cast<int>(c.layout)));
    const std::string pdf = dir / "labels.pdf";
    int pages = -1;
    bar->showPreview = [&](QDialog& dialog) {
      auto& preview = static_cast<QPrintPreviewDialog&>(dialog);
      dialog.findChild<QPrintPreviewWidget*>()->updatePreview();
      pages = dialog.findChild<QPrintPreviewWidget*>()->pageCount();
      // The page is the layout's, in millimetres.
      const QSizeF page = preview.printer()->pageLayout().fullRect(QPageLayout::Millimeter).size();
      EXPECT_NEAR(page.width(), g.pageWidth, 0.5);
      EXPECT_NEAR(page.height(), g.pageHeight, 0.5);
      if (!c.readBack) return;
      preview.printer()->setOutputFormat(QPrinter::PdfFormat);
      preview.printer()->setOutputFileName(QString::fromStdString(pdf));
      emit preview.paintRequested(preview.printer());
    };
    ASSERT_TRUE(bar->Print());
    EXPECT_EQ(pages, c.pages);
    if (!c.readBack) continue;
    std::vector<std::string> imeis;  // in the order DecodedLabelCodes sorts them
    for (int r : c.selected) imeis.push_back(sim::SimImei(61 + r));
    EXPECT_EQ(DecodedLabelCodes(pdf, c.layout, static_cast<int>(imeis.size()), dir.path()), imeis);
    // The IMEI and ICCID as text, whole: measured as they are printed, they fit without being cut.
    const std::string text = CommandOutput("pdftotext '" + pdf + "' -");
    for (int r : c.selected)
      for (const std::string& whole : {sim::SimImei(61 + r), sim::SimIccid(61 + r)})
        EXPECT_NE(text.find(whole), std::string::npos) << text;
  }
}

}  // namespace
