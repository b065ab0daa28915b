// Print Labels in the Provisioning window, for what the window adds to the label sheet (LabelSheetTest
// reads a sheet's labels back, LabelRowsTest says which rows get one): the message while no tracker has
// told its IMEI; the batch's or the selected rows' labels reaching the preview on the chosen layout's
// pages; and the window's own drawing of them, printed to a file, whose QR codes and whole texts read back.
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

TEST(LabelPrintTest, ThePreviewHoldsTheBatchOrTheSelectedRowsOnTheLayoutsPagesAndPrintsThemWhole) {
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
  const batch::LabelLayout layout = batch::LabelLayout::Roll62x29;
  bar->layoutList()->setCurrentIndex(bar->layoutList()->findData(static_cast<int>(layout)));
  const std::string pdf = dir / "labels.pdf";
  int pages = -1;
  QSizeF page;  // in millimetres
  bar->showPreview = [&](QDialog& dialog) {
    auto& preview = static_cast<QPrintPreviewDialog&>(dialog);
    dialog.findChild<QPrintPreviewWidget*>()->updatePreview();
    pages = dialog.findChild<QPrintPreviewWidget*>()->pageCount();
    page = preview.printer()->pageLayout().fullRect(QPageLayout::Millimeter).size();
    preview.printer()->setOutputFormat(QPrinter::PdfFormat);
    preview.printer()->setOutputFileName(QString::fromStdString(pdf));
    emit preview.paintRequested(preview.printer());
  };
  // On the roll (not the first layout of the list), a page each: every row's label while none is
  // selected; then the first and the last row's, read back.
  ASSERT_TRUE(bar->Print());
  EXPECT_EQ(pages, 3);
  for (int r : {0, 2})
    window.rowsView()->selectionModel()->select(rows->index(r, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
  ASSERT_TRUE(bar->Print());
  EXPECT_EQ(pages, 2);
  EXPECT_NEAR(page.width(), batch::GeometryOf(layout).pageWidth, 0.5);
  EXPECT_NEAR(page.height(), batch::GeometryOf(layout).pageHeight, 0.5);
  EXPECT_EQ(DecodedLabelCodes(pdf, layout, 2, dir.path()), (std::vector{sim::SimImei(61), sim::SimImei(63)}));
  // The IMEI and ICCID as text, whole: measured as they are printed, they fit without being cut.
  const std::string text = CommandOutput("pdftotext '" + pdf + "' -");
  for (int com : {61, 63})
    for (const std::string& whole : {sim::SimImei(com), sim::SimIccid(com)})
      EXPECT_NE(text.find(whole), std::string::npos) << text;
}

}  // namespace
