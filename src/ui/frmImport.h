#pragma once
#include <QDialog>

class MappingModel;
class QLabel;
class QListWidget;
class QPushButton;

// Shows the mapping form for model.intStep modally; returns once the form is
// unloaded (finish or cancel). Closing by the close box counts as cancel.
void showMappingDialog(MappingModel& model);

// The mapping form's window: lists and buttons over the model, drawn again
// from the model after every button. Widgets carry the form's control names.
class frmImport : public QDialog {
 public:
  explicit frmImport(MappingModel& model, QWidget* parent = nullptr);

  // Closing the window without finishing the step cancels the import.
  void reject() override;

 private:
  void buildControls();
  void connectControls();
  void render();
  void afterButton();
  void press(void (MappingModel::*operation)());

  void Link_Click();
  void cmdUnLink_Click();
  void cmdNameLink_Click();
  void reset_Click();
  void Finish_Click();
  void cmdCancel_Click();
  QPushButton* addButton(const QString& name, const QString& caption);

  MappingModel& model_;
  bool rendering_ = false;
  QLabel* lblStep_ = nullptr;
  QListWidget* SourceList_ = nullptr;
  QListWidget* DestList_ = nullptr;
  QListWidget* MapList_ = nullptr;
  QPushButton* Link_ = nullptr;
  QPushButton* cmdUnLink_ = nullptr;
  QPushButton* cmdNameLink_ = nullptr;
  QPushButton* reset_ = nullptr;
  QPushButton* Finish_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
};
