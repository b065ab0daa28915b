// Labels for trackers as a PDF file: one label per tracker with its IMEI and
// ICCID as text, a QR code that holds the IMEI alone (a hand scanner types
// what it reads, so the code goes straight into an IMEI field), the firmware
// and a date. rv450-cli labels writes the PDF; the Provisioning window's
// Print Labels draws the same sheet on the printer (DrawLabelSheet).
#pragma once

#include <string>
#include <vector>

#include "batch/LabelDrawing.h"
#include "batch/LabelLayout.h"

namespace kestrun::batch {

// False in a build made without libqrencode and libharu (the Windows build
// for now), where WriteLabelSheet always fails with LabelsUnavailableText().
bool LabelsAvailable();
std::string LabelsUnavailableText();

// Checks `labels` (at least one, each with an IMEI), makes their QR codes
// and draws them on `canvas` in their order on the pages of `layout`. False
// with `error` set (one line, naming the label) when nothing was drawn.
bool DrawLabelSheet(const std::vector<LabelRecord>& labels, LabelLayout layout, ILabelCanvas& canvas,
                    std::string& error);

// Lays out `labels` in their order on the pages of `layout` and replaces the
// file `path` with the PDF in one step (ReplaceSettingsFile: a new file 0600,
// never half-written). False with `error` set (one line, naming the file or
// the label) when nothing was written: no labels, a label without an IMEI, a
// QR code or PDF that could not be made, or the file's replace failing.
bool WriteLabelSheet(const std::vector<LabelRecord>& labels, LabelLayout layout, const std::string& path,
                     std::string& error);

}  // namespace kestrun::batch
