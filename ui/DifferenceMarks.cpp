#include "ui/DifferenceMarks.h"

#include <QAbstractButton>
#include <algorithm>

#include "protocol/ControlIds.h"

namespace kestrun {

namespace {

// Amber: a field that differs is no error, unlike the red frame of a broken rule.
constexpr const char* kFrameStyle = "QFrame { border: 2px solid #e69500; border-radius: 2px; }";

// Where a field shows: a check box or radio button as far as its box and
// caption reach, not the whole width it was laid out with.
QRect ShownArea(const QWidget* widget) {
  QRect area = widget->geometry();
  if (qobject_cast<const QAbstractButton*>(widget))
    area.setWidth(std::min(area.width(), widget->sizeHint().width() + 2));
  return area;
}

}  // namespace

std::vector<QWidget*> CDifferenceMarks::WidgetsOf(int id) const {
  using namespace ctl;
  if (id != ReportMode) {
    QWidget* widget = form_.Control(id);
    return widget ? std::vector<QWidget*>{widget} : std::vector<QWidget*>{};
  }
  std::vector<QWidget*> radios;  // the value of all four buttons
  for (int i = 0; i < 4; ++i)
    if (QWidget* radio = form_.Control(ReportMode0 + i)) radios.push_back(radio);
  return radios;
}

QFrame* CDifferenceMarks::Frame(int id) const {
  const auto found = marks_.find(id);
  return found == marks_.end() ? nullptr : found->second.frame.data();
}

void CDifferenceMarks::Remove(Mark& mark) {
  delete mark.frame.data();
  for (std::size_t i = 0; i < mark.widgets.size(); ++i) {
    QWidget* widget = mark.widgets[i];
    // A tooltip the field changed itself since (a broken rule) stays.
    if (widget && widget->toolTip() == mark.tooltipsGiven[i]) widget->setToolTip(mark.tooltipsBefore[i]);
  }
}

void CDifferenceMarks::Show(const std::map<int, std::string>& marks) {
  for (auto it = marks_.begin(); it != marks_.end();) {
    if (marks.count(it->first)) {
      ++it;
      continue;
    }
    Remove(it->second);
    it = marks_.erase(it);
  }
  for (const auto& [id, text] : marks) {
    if (marks_.count(id)) Remove(marks_[id]);
    const std::vector<QWidget*> widgets = WidgetsOf(id);
    if (widgets.empty()) continue;
    Mark mark;
    const QString note = QString::fromStdString(text);
    QRect area;
    for (QWidget* widget : widgets) {
      area |= ShownArea(widget);
      const QString before = widget->toolTip();
      mark.widgets.emplace_back(widget);
      mark.tooltipsBefore.push_back(before);
      mark.tooltipsGiven.push_back(before.isEmpty() ? note : before + "\n" + note);
      widget->setToolTip(mark.tooltipsGiven.back());
    }
    auto* frame = new QFrame(widgets.front()->parentWidget());
    frame->setObjectName("differenceMark");
    frame->setStyleSheet(kFrameStyle);
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    frame->setGeometry(area.adjusted(-2, -2, 2, 2));
    frame->show();
    frame->raise();
    mark.frame = frame;
    marks_[id] = std::move(mark);
  }
}

}  // namespace kestrun
