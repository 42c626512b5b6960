#include "ui/QtInteraction.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFontMetrics>
#include <QGridLayout>
#include <QScreen>
#include <QSpacerItem>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>

#include "ui/frmImport.h"
#include "ui/frmUpdatePreview.h"
#include "resources/Strings.h"

namespace {
QMessageBox::Icon iconFor(MessageKind kind) {
  switch (kind) {
    case MessageKind::Plain: break;
    case MessageKind::Information: return QMessageBox::Information;
    case MessageKind::Warning: return QMessageBox::Warning;
    case MessageKind::Error: return QMessageBox::Critical;
    case MessageKind::Question: return QMessageBox::Question;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton buttonFor(Answer answer) {
  switch (answer) {
    case Answer::Ok: break;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

// A box is at least as wide as its title, and a line naming a path is not
// broken inside the path unless the screen is too narrow for it.
void widenFor(QMessageBox& box, const QString& title, const QString& prompt) {
  const QFontMetrics metrics(box.font());
  // Room for the window's own buttons and the box's icon beside the title.
  int width = metrics.horizontalAdvance(title) + 160;
  for (const QString& line : prompt.split(QRegularExpression(QStringLiteral("\\r?\\n"))))
    if (line.contains(QLatin1Char('/'))) width = std::max(width, metrics.horizontalAdvance(line) + 100);
  const QScreen* screen = QApplication::primaryScreen();
  if (screen) width = std::min(width, screen->availableGeometry().width() * 9 / 10);
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (!grid) return;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                grid->columnCount());
}
}  // namespace

Answer QtInteraction::MsgBox(const QString& prompt, MessageStyle style, const QString& title) {
  QMessageBox box(iconFor(style.kind), title.isEmpty() ? Res::str(Res::AppTitle) : title, prompt,
                  QMessageBox::NoButton, QApplication::activeWindow());
  const QList<Answer> answers = answersOf(style.buttons);
  for (const Answer a : answers) box.addButton(buttonFor(a));
  const Answer byDefault = style.byDefault && answers.contains(*style.byDefault) ? *style.byDefault : answers.front();
  box.setDefaultButton(buttonFor(byDefault));
  // Closing the box answers like its Cancel (or only) button.
  box.setEscapeButton(buttonFor(answers.back()));
  widenFor(box, box.windowTitle(), prompt);
  // A path stays whole on its line: the box is wide enough for it.
  box.setTextFormat(Qt::PlainText);
  const QPointer<QMessageBox> outer = open_;
  open_ = &box;
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int clicked = box.exec();
  if (busy_) QApplication::restoreOverrideCursor();
  open_ = outer;
  for (const Answer a : answers)
    if (clicked == buttonFor(a)) return a;
  return answers.size() == 1 ? Answer::Ok : Answer::Cancel;
}

std::optional<QString> QtInteraction::InputBox(const QString& prompt, const QString& title,
                                               const QString& defaultText) {
  bool ok = false;
  const QString text = QInputDialog::getText(QApplication::activeWindow(),
                                             title.isEmpty() ? Res::str(Res::AppTitle) : title, prompt,
                                             QLineEdit::Normal, defaultText, &ok);
  if (!ok) return std::nullopt;
  return text;
}

void QtInteraction::ShowMappingDialog(MappingModel& model) { showMappingDialog(model); }

Answer QtInteraction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const Answer answer = showUpdatePreview(preview);
  if (busy_) QApplication::restoreOverrideCursor();
  return answer;
}

void QtInteraction::WithdrawQuestion() {
  if (open_ && open_->escapeButton()) open_->escapeButton()->click();
}

void QtInteraction::SetBusy(bool busy) {
  if (busy == busy_) return;
  busy_ = busy;
  if (busy)
    // Transfers run beside the window, which still answers (its cancel button).
    QApplication::setOverrideCursor(Qt::BusyCursor);
  else
    QApplication::restoreOverrideCursor();
}

// Where no file manager opens the folder, the person is told where it is.
void QtInteraction::OpenFolder(const QString& path) {
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
    MsgBox(QStringLiteral("文件已导出到：") + path, {MessageKind::Information}, Res::str(Res::TransferTitle));
}
