// The result popups a test's view has opened: finding them, reading their
// messages and dismissing them. One way for every widget test.
#pragma once

#include <QApplication>
#include <QList>
#include <QStringList>

#include "ui/ResultDlg.h"

namespace kestrun::testing {

// The popups on screen, oldest first.
inline QList<CResultDlg*> OpenPopups() {
  QList<CResultDlg*> popups;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<CResultDlg*>(w); p && p->isVisible()) popups << p;
  return popups;
}

// The messages of the popups on screen.
inline QStringList OpenPopupMessages() {
  QStringList messages;
  for (CResultDlg* p : OpenPopups()) messages << p->messageLabel()->text();
  return messages;
}

// Closes and frees every popup, shown or hidden, so that none outlives its test.
inline void DismissPopups() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (qobject_cast<CResultDlg*>(w)) delete w;
}

}  // namespace kestrun::testing
