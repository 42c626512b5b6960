#pragma once
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "core/Interaction.h"
#include "mapping/MappingDialog.h"

// Answers queued by the test, everything shown recorded. A question with no
// queued answer fails the test: an engine must not ask what the test did not expect.
class ScriptedInteraction : public Interaction, public MappingDialog {
 public:
  struct Shown {
    QString kind;  // "msgbox", "inputbox", "mapping"
    QString prompt;
    MessageStyle style;
    QString title;
  };

  std::vector<Shown> shown;
  std::deque<Answer> answers;                      // for MsgBox with more than an OK button
  std::deque<std::optional<QString>> inputs;       // for InputBox; nullopt = cancel
  std::deque<std::function<void(MappingModel&)>> mappingSteps;  // for ShowMappingDialog
  std::vector<Question> questions;                 // every typed question, in order
  int busyOn = 0;
  QStringList openedFolders;
  // Runs while a message is open, before it is answered; a question withdrawn
  // meanwhile is answered with its last button, as the window's box is closed.
  std::function<void(const Shown&)> whileShown;
  int withdrawn = 0;

  Answer MsgBox(const QString& prompt, MessageStyle style, const QString& title) override;
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;
  void ShowMappingDialog(MappingModel& model) override;
  Answer Ask(Question question, const QString& argument) override {
    questions.push_back(question);
    return Interaction::Ask(question, argument);
  }
  void SetBusy(bool busy) override { busyOn += busy ? 1 : 0; }
  void OpenFolder(const QString& path) override { openedFolders << path; }
  void WithdrawQuestion() override { ++withdrawn; }

  QStringList prompts() const;        // every message-box prompt, in order
  QString lastPrompt() const;
};
