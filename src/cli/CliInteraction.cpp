#include "cli/CliInteraction.h"

#include <QTextStream>

#include <unistd.h>

#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {
QTextStream& err() {
  static QTextStream s(stderr);
  return s;
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
}  // namespace

const QString CliInteraction::NameConflictPrefix = QStringLiteral("已经存在相同名称的课程");

int CliInteraction::answerFor(const QString& prompt, int flags) const {
  const int buttons = flags & Vb::ButtonsMask;
  if (prompt.startsWith(Res::str(350))) return overwrite ? Vb::Yes : Vb::Cancel;
  if (prompt.startsWith(Res::str(316))) return overwrite ? Vb::Yes : Vb::No;
  if (prompt.startsWith(NameConflictPrefix)) return renameOnConflict ? Vb::OK : Vb::Cancel;
  if (buttons == Vb::YesNo) return Vb::No;
  if (buttons == Vb::OKCancel || buttons == Vb::YesNoCancel) return Vb::Cancel;
  return Vb::OK;
}

int CliInteraction::MsgBox(const QString& prompt, int flags, const QString& title) {
  endProgress();
  const int answer = answerFor(prompt, flags);
  QString line = prompt;
  line.replace(QLatin1String("\r\n"), QLatin1String(" "));
  err() << (title.isEmpty() ? Res::str(Res::AppTitle) : title) << ": " << line;
  if ((flags & Vb::ButtonsMask) != Vb::OKOnly)
    err() << " -> " << (answer == Vb::Yes ? "yes" : answer == Vb::No ? "no" : answer == Vb::OK ? "ok" : "cancel");
  err() << Qt::endl;
  messages_ << line;
  return answer;
}

std::optional<QString> CliInteraction::InputBox(const QString& prompt, const QString&, const QString&) {
  endProgress();
  err() << prompt << " -> cancel" << Qt::endl;
  messages_ << prompt;
  return std::nullopt;
}

void CliInteraction::ShowMappingDialog(MappingModel& model) {
  // The command line maps automatically; a mapping form is never shown.
  model.cmdCancel_Click();
}

void CliInteraction::progress(const QString& subject, int percent, const QString& message) {
  const QString text = QStringLiteral("%1 [%2%] %3").arg(subject).arg(percent, 3).arg(message);
  if (stderrIsTerminal()) {
    err() << "\r\033[K" << text;
    err().flush();
    progressOpen_ = true;
  } else {
    err() << text << Qt::endl;
  }
}

void CliInteraction::endProgress() {
  if (!progressOpen_) return;
  err() << Qt::endl;
  progressOpen_ = false;
}

QStringList CliInteraction::takeMessages() {
  QStringList out;
  out.swap(messages_);
  return out;
}
