#include "ui/StatusBar.h"

#include <QFontMetrics>

namespace kestrun {

CStatusBar::CStatusBar(QWidget* parent) : QStatusBar(parent) {
  setSizeGripEnabled(false);  // the window has a fixed size
  setAccessibleName("Status Bar");
  text_ = new QLabel(this);
  text_->setAccessibleName("Status");
  text_->setMinimumWidth(0);
  progress_ = new QProgressBar(this);
  progress_->setAccessibleName("Progress");
  progress_->setTextVisible(true);
  // Wide enough for its longest label on one line.
  progress_->setFixedWidth(progress_->fontMetrics().horizontalAdvance("Waking the tracker: 30 of 30") + 32);
  progress_->hide();
  file_ = new QLabel(this);
  file_->setAccessibleName("Config File");
  file_->hide();
  journal_ = new QLabel("Journal Problem", this);
  journal_->setStyleSheet("QLabel { color: #a05a00; }");
  journal_->setContentsMargins(0, 0, 6, 0);
  journal_->hide();
  addWidget(text_, 1);
  addPermanentWidget(progress_);
  addPermanentWidget(file_);
  addPermanentWidget(journal_);
}

void CStatusBar::SetText(const QString& text) {
  text_->setText(text);
  text_->setAccessibleName(text.isEmpty() ? QString("Status") : text);
  reason_.clear();
  hint_.clear();
  ShowToolTip();
}

void CStatusBar::SetReason(const QString& reason) {
  reason_ = reason;
  ShowToolTip();
}

void CStatusBar::AddHint(const QString& hint) {
  hint_ = hint;
  ShowToolTip();
}

void CStatusBar::ShowToolTip() {
  QString tip = reason_;
  if (!hint_.isEmpty() && !tip.contains(hint_)) tip += (tip.isEmpty() ? "" : "\n") + hint_;
  setToolTip(tip);
  text_->setToolTip(tip);
}

void CStatusBar::ShowProgress(const QString& label, int value, int maximum) {
  if (maximum <= 0) {
    progress_->hide();
    return;
  }
  file_->hide();
  progress_->setRange(0, maximum);
  progress_->setValue(value);
  progress_->setFormat(label);
  progress_->setAccessibleName(label);
  progress_->show();
}

void CStatusBar::ShowJournalProblem(const QString& note) {
  journal_->setToolTip(note);
  journal_->setAccessibleName("Journal Problem: " + note);
  journal_->show();
}

void CStatusBar::ShowFile(const QString& text) {
  file_->setText(text);
  file_->setToolTip(text);
  file_->setVisible(!text.isEmpty());
}

}  // namespace kestrun
