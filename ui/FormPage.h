// The configuration form's page, built from the layout tables: the group
// boxes with their controls, the status line and the hidden clipboard area.
#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QTextEdit>
#include <QWidget>
#include <functional>
#include <vector>

#include "ui/FormControls.h"

namespace kestrun {

struct FormPage {
  QWidget* page = nullptr;
  QLabel* status = nullptr;
  QTextEdit* clipboardArea = nullptr;
  std::vector<QGroupBox*> groupBoxes;  // in the order of the layout's group boxes
};

// Builds the page. Every control with an id is registered with `form` and
// handed to `connect`; the text, list and address fields get `keyFilter` as
// their event filter (the clipboard keys).
FormPage BuildFormPage(CFormControls& form, QObject* keyFilter,
                       const std::function<void(int id, QWidget* widget)>& connect);

// Group titles in a bold serif of 12 pixels, everything inside in the base
// font; the clipboard area in Arial.
void ApplyFormFonts(const FormPage& page);

}  // namespace kestrun
