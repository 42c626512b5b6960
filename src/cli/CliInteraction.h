#pragma once
#include <QStringList>

#include "core/Interaction.h"

// Text on one line of its own: control characters and the backslash written
// as C escapes (\n, \t, \\, \xHH), so that a file name can neither break a
// line apart nor send the terminal a command. Standard output and standard
// error both print file names this way.
QString printable(const QString& text);

// A message as one printable line: its line breaks become blanks first.
QString printableMessage(QString text);

// The command line's answers: progress to standard error, every message shown
// there too, and each question answered the way that keeps data safe unless
// the command was told otherwise (--overwrite, --rename-on-conflict).
class CliInteraction : public Interaction {
 public:
  bool overwrite = false;
  bool renameOnConflict = false;
  bool dryRun = false;  // a course update is previewed, never written

  Answer MsgBox(const QString& prompt, MessageStyle style, const QString& title) override;
  Answer Ask(Question question, const QString& argument) override;
  // The command prints the preview itself; here only the answer.
  Answer ConfirmCourseUpdate(const UpdatePreview& preview) override;
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;

  // Shows one progress step: a rewritten line on a terminal, a plain line otherwise.
  void progress(const QString& subject, int percent, const QString& message);
  void endProgress();

  // Messages shown since the last take, for the command's own report.
  QStringList takeMessages();

 private:
  Answer answerFor(Question question) const;
  void show(const Prompt& prompt, std::optional<Answer> answer);
  QStringList messages_;
  bool progressOpen_ = false;
};
