#include "ui/FormPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "ui/DialogUnits.h"
#include "ui/FormInputs.h"
#include "ui/FormLayout.h"
#include "ui/IpAddressEdit.h"

namespace kestrun {

FormPage BuildFormPage(CFormControls& form, QObject* keyFilter,
                       const std::function<void(int id, QWidget* widget)>& connect) {
  FormPage result;
  const QFont base = BaseFont(8);
  const CDialogUnits du(base);
  QWidget* page_ = result.page = new QWidget;
  page_->setFont(base);
  page_->setFixedSize(du.Size(kPageWidthDlu, kPageHeightDlu));
  page_->setAccessibleName("Configuration Form");
  for (const GroupBoxEntry& entry : GroupBoxes()) {
    auto* box = new QGroupBox(QString::fromStdString(entry.title), page_);
    box->setGeometry(du.Rect(kGroupLeftDlu, entry.top, kGroupWidthDlu, entry.height));
    box->setAccessibleName(box->title());
    result.groupBoxes.push_back(box);
  }
  for (const ControlEntry& entry : FormControls()) {
    QWidget* parent = entry.groupIndex >= 0 ? result.groupBoxes[entry.groupIndex] : page_;
    QRect rect = du.Rect(entry.rect.x, entry.rect.y, entry.rect.w, entry.rect.h);
    if (entry.groupIndex >= 0) rect.translate(-result.groupBoxes[entry.groupIndex]->pos());
    const QString caption = QString::fromStdString(entry.caption);
    QWidget* widget = nullptr;
    switch (entry.kind) {
      case CtlKind::Frame: {
        auto* frame = new QGroupBox(caption, parent);
        frame->lower();
        widget = frame;
        break;
      }
      case CtlKind::Label: {
        auto* label = new QLabel(caption, parent);
        label->setWordWrap(entry.rect.h > 10);  // column heads of two lines
        widget = label;
        break;
      }
      case CtlKind::Status: widget = result.status = new QLabel(parent); break;
      case CtlKind::CheckBox: widget = new QCheckBox(caption, parent); break;
      case CtlKind::Radio: widget = new QRadioButton(caption, parent); break;
      case CtlKind::Button: widget = new QPushButton(caption, parent); break;
      case CtlKind::Edit:
      case CtlKind::Preview: {
        const Binding* b = FindBinding(entry.id);
        QLineEdit* edit =
            entry.kind == CtlKind::Edit && b ? new CFormEdit(parent, *b) : new QLineEdit(parent);
        edit->setReadOnly(entry.kind == CtlKind::Preview);
        edit->setContextMenuPolicy(Qt::NoContextMenu);  // no paste through the menu
        edit->installEventFilter(keyFilter);
        widget = edit;
        break;
      }
      case CtlKind::Combo: {
        auto* combo = new QComboBox(parent);
        for (const std::string& item : entry.items) combo->addItem(QString::fromStdString(item));
        combo->installEventFilter(keyFilter);
        widget = combo;
        break;
      }
      case CtlKind::IpField: {
        auto* ip = new CIpAddressEdit(parent);
        for (int i = 0; i < 4; ++i) ip->OctetField(i)->installEventFilter(keyFilter);
        widget = ip;
        break;
      }
      case CtlKind::RichText: {
        result.clipboardArea = new QTextEdit(parent);
        result.clipboardArea->setEnabled(false);
        widget = result.clipboardArea;
        break;
      }
      case CtlKind::GroupBox: break;
    }
    if (!widget) continue;
    widget->setGeometry(rect);
    widget->setAccessibleName(QString::fromStdString(entry.accessibleName));
    if (entry.kind == CtlKind::Frame) widget->lower();
    if (entry.kind == CtlKind::RichText) widget->hide();
    if (entry.id) {
      form.Add(entry.id, widget);
      connect(entry.id, widget);
    }
  }
  // Labels name the field they stand beside (screen readers read a list by its label).
  for (const ControlEntry& entry : FormControls()) {
    if (entry.kind != CtlKind::Label || !entry.labelFor) continue;
    for (QLabel* label :
         result.groupBoxes[entry.groupIndex]->findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly))
      if (label->text() == QString::fromStdString(entry.caption))
        label->setBuddy(form.Control(entry.labelFor));
  }
  result.status->setAccessibleName("Status");
  return result;
}

void ApplyFormFonts(const FormPage& page) {
  // Group titles: bold serif, 12 pixels; everything inside keeps the base font.
  QFont titleFont;
  titleFont.setFamilies({"Times New Roman", "Liberation Serif", "DejaVu Serif"});
  titleFont.setPixelSize(12);
  titleFont.setWeight(QFont::DemiBold);
  const QFont base = BaseFont(8);
  for (QGroupBox* box : page.groupBoxes) {
    for (QWidget* child : box->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
      child->setFont(base);
    box->setFont(titleFont);
  }
  page.clipboardArea->setCurrentFont(ArialFont());
  page.clipboardArea->setFont(ArialFont());
}

}  // namespace kestrun
