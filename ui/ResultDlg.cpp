#include "ui/ResultDlg.h"

#include <QFontMetrics>
#include <QPushButton>
#include <algorithm>

#include "ui/DialogUnits.h"
#include "ui/Icons.h"

namespace kestrun {

CResultDlg::CResultDlg(QWidget* owner, const QString& caption, const QString& message, ResultIcon iconKind,
                       bool autoClose, int delayMs, const QString& hint)
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

  // The hint: smaller, wrapped to the popup's width, between the message and
  // the OK button; the popup grows by its height.
  if (!hint.isEmpty()) {
    QFont small = font;
    small.setPointSizeF(font.pointSizeF() * 0.85);
    const int margin = du.Rect(7, 0, 0, 0).x();
    const int width = this->width() - 2 * margin;
    const int height =
        QFontMetrics(small).boundingRect(QRect(0, 0, width, 1000), Qt::TextWordWrap, hint).height() + 4;
    hint_ = new QLabel(hint, this);
    hint_->setFont(small);
    hint_->setWordWrap(true);
    hint_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    hint_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    hint_->setAccessibleName(hint);
    hint_->setGeometry(margin, messageRect.bottom() + 4, width, height);
    setFixedSize(size() + QSize(0, height + 4));
    okRect.translate(0, height + 4);
  }

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
