#include "ui/ResultDlg.h"

#include <QFontMetrics>
#include <QPushButton>
#include <algorithm>

#include "ui/DialogUnits.h"
#include "ui/Icons.h"

namespace kestrun {

CResultDlg::CResultDlg(QWidget* owner, const QString& caption, const QString& message, ResultIcon iconKind,
                       bool autoClose, int delayMs)
    : QDialog(owner, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
  setAttribute(Qt::WA_DeleteOnClose);
  setModal(false);
  const QFont font = BaseFont(10);
  setFont(font);
  const CDialogUnits du(font);
  setFixedSize(du.Size(211, 62));
  setWindowTitle(caption);

  const QRect iconRect = du.Rect(7, 14, 16, 16);
  const int iconSize = std::min(iconRect.width(), iconRect.height());
  success_ = new QLabel(this);
  success_->setPixmap(SuccessPixmap(iconSize));
  success_->setAccessibleName("Success");
  failure_ = new QLabel(this);
  failure_->setPixmap(FailurePixmap(iconSize));
  failure_->setAccessibleName("Failure");
  for (QLabel* icon : {success_, failure_}) icon->setGeometry(iconRect);
  success_->setVisible(iconKind == ResultIcon::Success);
  failure_->setVisible(iconKind == ResultIcon::Failure);

  message_ = new QLabel(message, this);
  message_->setAlignment(Qt::AlignCenter);
  QRect messageRect = du.Rect(30, 18, 152, 14);
  QRect okRect = du.Rect(83, 43, 44, 12);
  // A longer text (a failed save names the file and the system's reason, one
  // per line) gets the room it needs: the popup grows, the OK button moves.
  const QSize needed = QFontMetrics(font).size(0, message) + QSize(4, 2);
  const int wider = std::clamp(needed.width() - messageRect.width(), 0, 900);
  const int taller = std::max(needed.height() - messageRect.height(), 0);
  if (wider > 0 || taller > 0) {
    setFixedSize(size() + QSize(wider, taller));
    messageRect.adjust(0, 0, wider, taller);
    okRect.translate(wider / 2, taller);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }
  message_->setGeometry(messageRect);
  message_->setAccessibleName(message);

  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(okRect);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  setAccessibleName(message);

  if (autoClose) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &QDialog::accept);
    timer_.start(delayMs);
  }
}

}  // namespace kestrun
