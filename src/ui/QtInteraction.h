#pragma once
#include <QPointer>

#include "core/Interaction.h"
#include "mapping/MappingDialog.h"

class QMessageBox;
class QWidget;

// The windows' implementation: real message boxes, input box, the modal mapping
// form, the override cursor, and the file manager.
class QtInteraction : public Interaction, public MappingDialog {
 public:
  Answer MsgBox(const QString& prompt, MessageStyle style, const QString& title) override;
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override;
  void ShowMappingDialog(MappingModel& model) override;
  Answer ConfirmCourseUpdate(const UpdatePreview& preview) override;
  void SetBusy(bool busy) override;
  void WithdrawQuestion() override;
  void OpenFolder(const QString& path) override;

 private:
  bool busy_ = false;
  QPointer<QMessageBox> open_;  // the message box now shown, if any
};
