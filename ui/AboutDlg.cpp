#include "ui/AboutDlg.h"

#include <QDesktopServices>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>

#include "ui/DialogUnits.h"
#include "ui/Icons.h"

namespace kestrun {

namespace {
bool StrictlyInside(const QRect& r, const QPoint& p) {
  return r.left() < p.x() && p.x() < r.right() + 1 && r.top() < p.y() && p.y() < r.bottom() + 1;
}
}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("About This Tool");
  setAccessibleName("About This Tool");
  const CDialogUnits du = FixDialogSize(*this, 8, 154, 118);

  auto* icon = new QLabel(this);
  const QRect iconRect = du.Rect(8, 8, 20, 20);
  icon->setPixmap(AppIcon().pixmap(std::min(iconRect.width(), iconRect.height())));
  icon->setGeometry(iconRect);
  icon->setAccessibleName("RV450 Kestrun icon");
  auto* name = new QLabel("RV450 Kestrun Did2.25", this);
  name->setGeometry(du.Rect(32, 12, 82, 12));
  auto* ok = new QPushButton("OK", this);
  ok->setGeometry(du.Rect(118, 9, 30, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  logo_ = new QLabel(this);
  logo_->setGeometry(du.Rect(10, 36, 133, 56));
  logo_->setPixmap(LogoPixmap(logo_->size()));
  logo_->setAccessibleName("Maker's logo, link to the web site");
  address_ = new QLabel(kMakerUrl, this);
  address_->setGeometry(du.Rect(10, 98, 133, 10));
  address_->setAlignment(Qt::AlignCenter);
  address_->setStyleSheet("color: #1f5fa8; text-decoration: underline;");
  address_->setAccessibleName(kMakerUrl);
  for (QLabel* link : {logo_, address_}) {
    link->setCursor(Qt::PointingHandCursor);
    link->installEventFilter(this);  // the dialog judges clicks on them
  }
  openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
}

void CAboutDlg::HandlePress(QMouseEvent* event, const QPoint& at) {
  const bool plainLeft = event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton &&
                         !(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier));
  if (plainLeft && (StrictlyInside(logo_->geometry(), at) || StrictlyInside(address_->geometry(), at)) &&
      openUrl)
    openUrl(kMakerUrl);
}

void CAboutDlg::mousePressEvent(QMouseEvent* event) {
  HandlePress(event, event->position().toPoint());
  QDialog::mousePressEvent(event);
}

bool CAboutDlg::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress && (watched == logo_ || watched == address_)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    HandlePress(mouse, static_cast<QWidget*>(watched)->mapTo(this, mouse->position().toPoint()));
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace kestrun
