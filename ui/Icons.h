// Pictures drawn by the tool itself: result icons, application icon and logo.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace kestrun {

QPixmap SuccessPixmap(int size);  // green circle with a white check mark
QPixmap FailurePixmap(int size);  // red circle with a white cross
QIcon AppIcon();
QPixmap LogoPixmap(const QSize& size);

}  // namespace kestrun
