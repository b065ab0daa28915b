// The label sheet on the printer: Qt's print preview of the labels, drawn by
// batch/LabelDrawing on a QPainter (the same labels rv450-cli labels writes
// as a PDF), and from it Qt's print dialog. Built with the label libraries
// only (LabelPreviewUnavailable.cpp otherwise); this header names no print
// class, so the window builds without Qt's print support.
#pragma once

#include <QDialog>
#include <QString>
#include <vector>

#include "batch/LabelDrawing.h"

namespace kestrun {

// The preview dialog of `labels` on the pages of `layout`, not shown yet;
// nullptr with `error` when the labels cannot be drawn (a label without an
// IMEI, a QR code that cannot be made, a build without labels).
QDialog* MakeLabelPreview(QWidget* parent, const std::vector<batch::LabelRecord>& labels,
                          batch::LabelLayout layout, QString& error);

}  // namespace kestrun
