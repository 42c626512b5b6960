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

QString printable(const QString& text) {
  QString s;
  for (const QChar ch : text) {
    const char16_t u = ch.unicode();
    if (u == '\\') s += QStringLiteral("\\\\");
    else if (u == '\n') s += QStringLiteral("\\n");
    else if (u == '\t') s += QStringLiteral("\\t");
    else if (u == '\r') s += QStringLiteral("\\r");
    else if (u < 0x20 || (u >= 0x7f && u < 0xa0)) s += QStringLiteral("\\x%1").arg(int(u), 2, 16, QLatin1Char('0'));
    else s += ch;
  }
  return s;
}

QString printableMessage(QString text) { return printable(text.replace(QLatin1String("\r\n"), QLatin1String(" "))); }

// The answer that keeps data safe unless the command was told otherwise.
Answer CliInteraction::answerFor(Question question) const {
  switch (question) {
    case Question::ReplaceExchangeFile: return overwrite ? Answer::Yes : Answer::Cancel;
    case Question::EmptyExchangeFile: return overwrite ? Answer::Yes : Answer::No;
    case Question::RenameConflictingCourse: return renameOnConflict ? Answer::Ok : Answer::Cancel;
    case Question::CreateUnpairedSubjects:
    case Question::CreateUnpairedFeatures:
    case Question::CreateUnpairedPartitions: return Answer::Yes;  // imports pair automatically
    case Question::ApplyCourseUpdate: return dryRun ? Answer::Cancel : Answer::Ok;
  }
  return Answer::Cancel;
}

Answer CliInteraction::Ask(Question question, const QString& argument) {
  const Answer answer = answerFor(question);
  show(promptFor(question, argument), answer);
  return answer;
}

Answer CliInteraction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  return Ask(Question::ApplyCourseUpdate, preview.course);
}

// A message is told; any other question gets the answer that changes nothing.
Answer CliInteraction::MsgBox(const QString& prompt, MessageStyle style, const QString& title) {
  const Answer answer = cautiousAnswer(style.buttons);
  show({prompt, style, title}, style.buttons == Buttons::Ok ? std::nullopt : std::optional<Answer>(answer));
  return answer;
}

namespace {
const char* wordFor(Answer answer) {
  switch (answer) {
    case Answer::Ok: return "ok";
    case Answer::Cancel: break;
    case Answer::Yes: return "yes";
    case Answer::No: return "no";
  }
  return "cancel";
}
}  // namespace

void CliInteraction::show(const Prompt& prompt, std::optional<Answer> answer) {
  endProgress();
  const QString line = printableMessage(prompt.text);
  err() << printable(prompt.title.isEmpty() ? Res::str(Res::AppTitle) : prompt.title) << ": " << line;
  if (answer) err() << " -> " << wordFor(*answer);
  err() << Qt::endl;
  messages_ << line;
}

std::optional<QString> CliInteraction::InputBox(const QString& prompt, const QString&, const QString&) {
  endProgress();
  err() << printableMessage(prompt) << " -> cancel" << Qt::endl;
  messages_ << prompt;
  return std::nullopt;
}

void CliInteraction::progress(const QString& subject, int percent, const QString& message) {
  const QString text = QStringLiteral("%1 [%2%] %3").arg(printable(subject)).arg(percent, 3).arg(printableMessage(message));
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
