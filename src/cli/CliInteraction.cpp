#include "cli/CliInteraction.h"

#include <QTextStream>

#include <unistd.h>

#include "core/UpdatePreview.h"
#include "resources/Strings.h"

namespace {
QTextStream& err() {
  static QTextStream s(stderr);
  return s;
}

bool stderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }
}  // namespace

// The answer that keeps data safe unless the command was told otherwise.
int CliInteraction::answerFor(Question question) const {
  switch (question) {
    case Question::ReplaceExchangeFile: return overwrite ? Vb::Yes : Vb::Cancel;
    case Question::EmptyExchangeFile: return overwrite ? Vb::Yes : Vb::No;
    case Question::RenameConflictingCourse: return renameOnConflict ? Vb::OK : Vb::Cancel;
    case Question::CreateUnpairedSubjects:
    case Question::CreateUnpairedFeatures:
    case Question::CreateUnpairedPartitions: return Vb::Yes;  // imports pair automatically
    case Question::ApplyCourseUpdate: return dryRun ? Vb::Cancel : Vb::OK;
  }
  return Vb::Cancel;
}

int CliInteraction::Ask(Question question, const QString& argument) {
  const int answer = answerFor(question);
  show(promptFor(question, argument), answer);
  return answer;
}

int CliInteraction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  return Ask(Question::ApplyCourseUpdate, preview.course);
}

// A message is told; any other question gets the answer that changes nothing.
int CliInteraction::MsgBox(const QString& prompt, int flags, const QString& title) {
  const int buttons = flags & Vb::ButtonsMask;
  const std::optional<int> answer = buttons == Vb::OKOnly  ? std::nullopt
                                    : buttons == Vb::YesNo ? std::optional<int>(Vb::No)
                                                           : std::optional<int>(Vb::Cancel);
  show({prompt, flags, title}, answer);
  return answer.value_or(Vb::OK);
}

void CliInteraction::show(const Prompt& prompt, std::optional<int> answer) {
  endProgress();
  QString line = prompt.text;
  line.replace(QLatin1String("\r\n"), QLatin1String(" "));
  err() << (prompt.title.isEmpty() ? Res::str(Res::AppTitle) : prompt.title) << ": " << line;
  if (answer)
    err() << " -> "
          << (*answer == Vb::Yes ? "yes" : *answer == Vb::No ? "no" : *answer == Vb::OK ? "ok" : "cancel");
  err() << Qt::endl;
  messages_ << line;
}

std::optional<QString> CliInteraction::InputBox(const QString& prompt, const QString&, const QString&) {
  endProgress();
  err() << prompt << " -> cancel" << Qt::endl;
  messages_ << prompt;
  return std::nullopt;
}

// The command line maps automatically; a form left loaded counts as cancelled.
void CliInteraction::ShowMappingDialog(MappingModel&) {}

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
