// Labels for trackers as a PDF file: one label per tracker with its IMEI and
// ICCID as text, a QR code that holds the IMEI alone (a hand scanner types
// what it reads, so the code goes straight into an IMEI field), the firmware
// and a date. Both front ends call it: rv450-cli labels and the
// Provisioning window's Print Labels.
#pragma once

#include <string>
#include <vector>

#include "batch/LabelLayout.h"

namespace kestrun::batch {

struct LabelRecord {
  std::string imei;      // required: the text and the QR code
  std::string iccid;     // empty: shown as "-"
  std::string firmware;  // empty: shown as "-"
  std::string date;      // as it is to be printed, e.g. "2026-12-01"
};

// False in a build made without libqrencode and libharu (the Windows build
// for now), where WriteLabelSheet always fails with LabelsUnavailableText().
bool LabelsAvailable();
std::string LabelsUnavailableText();

// Lays out `labels` in their order on the pages of `layout` and replaces the
// file `path` with the PDF in one step (ReplaceSettingsFile: a new file 0600,
// never half-written). False with `error` set (one line, naming the file or
// the label) when nothing was written: no labels, a label without an IMEI, a
// QR code or PDF that could not be made, or the file's replace failing.
bool WriteLabelSheet(const std::vector<LabelRecord>& labels, LabelLayout layout, const std::string& path,
                     std::string& error);

}  // namespace kestrun::batch
