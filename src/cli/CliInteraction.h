#pragma once
#include <QStringList>

#include "core/Interaction.h"

// The command line's answers: progress to standard error, every message shown
// there too, and each question answered the way that keeps data safe unless
// the command was told otherwise (--overwrite, --rename-on-conflict).
class CliInteraction : public Interaction {
 public:
  bool overwrite = false;
  bool renameOnConflict = false;
  bool dryRun = false;  // a course update is previewed, never written

  int MsgBox(const QString& prompt, int flags, const QString& title) override;
  int Ask(Question question, const QString& argument) override;
  // The command prints the preview itself; here only the answer.
  int ConfirmCourseUpdate(const UpdatePreview& preview) override;
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;
  void ShowMappingDialog(MappingModel& model) override;

  // Shows one progress step: a rewritten line on a terminal, a plain line otherwise.
  void progress(const QString& subject, int percent, const QString& message);
  void endProgress();

  // Messages shown since the last take, for the command's own report.
  QStringList takeMessages();

 private:
  int answerFor(Question question) const;
  void show(const Prompt& prompt, std::optional<int> answer);
  QStringList messages_;
  bool progressOpen_ = false;
};
