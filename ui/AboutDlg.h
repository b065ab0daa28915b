// "About This Tool": icon, name, the maker's logo and web address. A plain
// left click strictly inside the logo or the address opens the web site.
#pragma once

#include <QDialog>
#include <QLabel>
#include <functional>

namespace kestrun {

inline constexpr const char* kMakerUrl = "http://www.kestrun.example/";

class CAboutDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
  QLabel* logo() const { return logo_; }
  QLabel* address() const { return address_; }
  // Opens the address; replaceable for tests.
  std::function<void(const QString&)> openUrl;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void HandlePress(QMouseEvent* event, const QPoint& at);
  QLabel* logo_;
  QLabel* address_;
};

}  // namespace kestrun
