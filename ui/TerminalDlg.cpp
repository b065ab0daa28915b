#include "ui/TerminalDlg.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTime>
#include <QVBoxLayout>

#include "engine/ExchangeReasons.h"
#include "port/ComPort.h"
#include "ui/DialogUnits.h"
#include "window/WindowController.h"

namespace kestrun {

namespace {

constexpr const char* kSentMark = "-->";
constexpr const char* kReplyMark = "<--";
constexpr const char* kNoteMark = " * ";

QString Shown(const std::string& text) { return QString::fromStdString(ShowControlBytes(text)); }

}  // namespace

CTerminalDlg::CTerminalDlg(CWindowController& controller, QWidget* owner)
    : QDialog(owner,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint),
      controller_(controller) {
  setModal(false);
  setWindowTitle("Terminal");
  setAccessibleName("Terminal");
  setFont(BaseFont(10));
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSize(10);

  view_ = new QPlainTextEdit(this);
  view_->setReadOnly(true);
  view_->setUndoRedoEnabled(false);
  view_->setMaximumBlockCount(5000);
  view_->setFont(mono);
  view_->setAccessibleName("Terminal reply");
  view_->setFocusPolicy(Qt::ClickFocus);

  input_ = new QLineEdit(this);
  input_->setFont(mono);
  input_->setAccessibleName("Terminal line");
  input_->setMaxLength(static_cast<int>(CComPort::kMaxLine));  // what the tracker takes
  input_->setPlaceholderText("AT command; Enter sends it, Ctrl+Z sends 0x1A");
  input_->installEventFilter(this);
  connect(input_, &QLineEdit::returnPressed, this, [this] { OnEnter(); });

  wakeFirst_ = new QCheckBox("Wake first", this);
  wakeFirst_->setAccessibleName("Wake first");
  wakeFirst_->setChecked(true);
  wakeFirst_->setFocusPolicy(Qt::TabFocus);

  auto* line = new QHBoxLayout;
  line->addWidget(input_, 1);
  line->addWidget(wakeFirst_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(line);

  const CDialogUnits du(font());
  resize(du.Size(287, 160));
  controller_.terminal().SetListener(this);
}

CTerminalDlg::~CTerminalDlg() { controller_.terminal().SetListener(nullptr); }

void CTerminalDlg::AddLine(const char* mark, const QString& text) {
  QTextCursor cursor(view_->document());
  cursor.movePosition(QTextCursor::End);
  if (!view_->document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(QTime::currentTime().toString("HH:mm:ss.zzz") + " " + mark + " " + text);
  view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

void CTerminalDlg::Note(const std::string& text) {
  replyLineOpen_ = false;
  AddLine(kNoteMark, QString::fromStdString(text));
}

bool CTerminalDlg::Send(const std::string& text, bool carriageReturn) {
  // 0x1A ends a text the tracker is waiting for: no wake-up line goes before it.
  const bool wake = carriageReturn && wakeFirst_->isChecked();
  if (!controller_.StartTerminal({text, wake, carriageReturn})) {
    Note("Not sent: an operation is running on COM" + std::to_string(controller_.connection().port) + ".");
    return false;
  }
  replyLineOpen_ = false;
  AddLine(kSentMark, Shown(text));
  return true;
}

void CTerminalDlg::OnEnter() {
  const QString text = input_->text();
  if (!Send(text.toStdString(), true)) return;  // the line stays for another try
  if (!text.isEmpty() && (history_.isEmpty() || history_.last() != text)) history_ << text;
  recalled_ = static_cast<int>(history_.size());
  input_->clear();
}

void CTerminalDlg::Recall(int step) {
  const int count = static_cast<int>(history_.size());
  const int next = recalled_ + step;
  if (next < 0 || next > count) return;
  recalled_ = next;
  input_->setText(next == count ? QString() : history_[next]);
}

bool CTerminalDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == input_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up && key->modifiers() == Qt::NoModifier) {
      Recall(-1);
      return true;
    }
    if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier) {
      Recall(+1);
      return true;
    }
    if (key->key() == Qt::Key_Z && key->modifiers() == Qt::ControlModifier) {
      Send("\x1A", false);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CTerminalDlg::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
}

// ---- The exchange's events ------------------------------------------------

void CTerminalDlg::StatusChanged(const std::string& text) {
  if (!text.empty()) Note(text);
}

void CTerminalDlg::StatusExplained(const std::string& detail) { Note(detail); }

void CTerminalDlg::WakeUpAttempt(int attempt, int /*count*/) {
  // An awake tracker answers the first burst; say so only when it did not.
  if (attempt == 2) Note("Waking the tracker ......");
}

void CTerminalDlg::TerminalReply(const std::string& chunk) {
  // Each reply line on a line of its own, with the time its first piece came.
  std::size_t start = 0;
  while (start < chunk.size()) {
    const std::size_t end = chunk.find_first_of("\r\n", start);
    const std::string piece = chunk.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!piece.empty()) {
      if (replyLineOpen_) {
        QTextCursor cursor(view_->document());
        cursor.movePosition(QTextCursor::End);
        cursor.insertText(Shown(piece));
      } else {
        AddLine(kReplyMark, Shown(piece));
      }
      replyLineOpen_ = true;
    }
    if (end == std::string::npos) break;
    replyLineOpen_ = false;
    start = end + 1;
  }
  view_->verticalScrollBar()->setValue(view_->verticalScrollBar()->maximum());
}

void CTerminalDlg::OperationFinished(const OperationResult& result) {
  replyLineOpen_ = false;
  if (!result.hint.empty()) Note(result.hint);
  if (!result.logError.empty()) Note("The traffic log could not be written: " + result.logError);
}

}  // namespace kestrun
