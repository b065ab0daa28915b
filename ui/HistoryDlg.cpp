#include "ui/HistoryDlg.h"

#include <QCloseEvent>
#include <QScrollBar>

#include "ui/DialogUnits.h"

namespace kestrun {

CHistoryDlg::CHistoryDlg(QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint) {
  setModal(false);
  setWindowTitle("Protocol Commands History");
  setAccessibleName("Protocol Commands History");
  const CDialogUnits du = FixDialogSize(*this, 10, 287, 95);
  text_ = new QTextEdit(this);
  text_->setGeometry(du.Rect(7, 7, 273, 72));
  text_->setReadOnly(true);
  text_->setUndoRedoEnabled(false);
  text_->setLineWrapMode(QTextEdit::NoWrap);
  text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  text_->setFont(ArialFont());
  text_->setAccessibleName("Command lines sent");
  move(601, 0);
}

void CHistoryDlg::Append(const QString& line) {
  QTextCursor cursor(text_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(line + "\n");
  text_->verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
}

void CHistoryDlg::Clear() { text_->clear(); }

void CHistoryDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

}  // namespace kestrun
