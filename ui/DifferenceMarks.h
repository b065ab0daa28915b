// The marks of the form fields that differ from the tracker: an amber frame
// laid over each field (over the four buttons of the report mode), and the
// field's tooltip "tracker: <value>". The frame is a widget of its own, so
// it never meets the red frame a field's own style sheet gives a value that
// breaks its rule; it lets every mouse event through to the field.
#pragma once

#include <QFrame>
#include <QPointer>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "ui/FormControls.h"

namespace kestrun {

class CDifferenceMarks {
 public:
  explicit CDifferenceMarks(const CFormControls& form) : form_(form) {}
  // Marks exactly the fields named; the rest lose their marks.
  void Show(const std::map<int, std::string>& marks);
  // The frame over the field `id`, or none.
  QFrame* Frame(int id) const;

 private:
  struct Mark {
    QPointer<QFrame> frame;
    std::vector<QPointer<QWidget>> widgets;
    std::vector<QString> tooltipsBefore;  // the fields' own tooltips
    std::vector<QString> tooltipsGiven;   // the ones the mark gave them
  };
  std::vector<QWidget*> WidgetsOf(int id) const;
  void Remove(Mark& mark);

  const CFormControls& form_;
  std::map<int, Mark> marks_;
};

}  // namespace kestrun
