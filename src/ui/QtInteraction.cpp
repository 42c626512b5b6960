#include "ui/QtInteraction.h"

#include <QApplication>
#include <QDesktopServices>
#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

#include "ui/frmImport.h"
#include "ui/frmUpdatePreview.h"
#include "resources/Strings.h"

namespace {
QMessageBox::Icon iconFor(int flags) {
  switch (flags & Vb::IconMask) {
    case Vb::Critical: return QMessageBox::Critical;
    case Vb::Question: return QMessageBox::Question;
    case Vb::Exclamation: return QMessageBox::Warning;
    case Vb::Information: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

struct ButtonSpec {
  QMessageBox::StandardButton button;
  int answer;
};

QList<ButtonSpec> buttonsFor(int flags) {
  switch (flags & Vb::ButtonsMask) {
    case Vb::OKCancel: return {{QMessageBox::Ok, Vb::OK}, {QMessageBox::Cancel, Vb::Cancel}};
    case Vb::YesNoCancel:
      return {{QMessageBox::Yes, Vb::Yes}, {QMessageBox::No, Vb::No}, {QMessageBox::Cancel, Vb::Cancel}};
    case Vb::YesNo: return {{QMessageBox::Yes, Vb::Yes}, {QMessageBox::No, Vb::No}};
    default: return {{QMessageBox::Ok, Vb::OK}};
  }
}

int defaultIndex(int flags) {
  switch (flags & Vb::DefaultMask) {
    case Vb::DefaultButton2: return 1;
    case Vb::DefaultButton3: return 2;
    default: return 0;
  }
}
}  // namespace

int QtInteraction::MsgBox(const QString& prompt, int flags, const QString& title) {
  QMessageBox box(iconFor(flags), title.isEmpty() ? Res::str(Res::AppTitle) : title, prompt,
                  QMessageBox::NoButton, QApplication::activeWindow());
  const QList<ButtonSpec> buttons = buttonsFor(flags);
  for (const ButtonSpec& b : buttons) box.addButton(b.button);
  const int def = std::min(defaultIndex(flags), static_cast<int>(buttons.size()) - 1);
  box.setDefaultButton(buttons.at(def).button);
  // Closing the box answers like its Cancel (or only) button.
  box.setEscapeButton(buttons.size() == 1 ? buttons.front().button : buttons.back().button);
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int clicked = box.exec();
  if (busy_) QApplication::restoreOverrideCursor();
  for (const ButtonSpec& b : buttons)
    if (clicked == b.button) return b.answer;
  return buttons.size() == 1 ? Vb::OK : Vb::Cancel;
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

int QtInteraction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  if (busy_) QApplication::setOverrideCursor(Qt::ArrowCursor);
  const int answer = showUpdatePreview(preview);
  if (busy_) QApplication::restoreOverrideCursor();
  return answer;
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
    MsgBox(QStringLiteral("文件已导出到：") + path, Vb::Information, Res::str(Res::TransferTitle));
}
