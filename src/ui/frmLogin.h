#pragma once
#include <QDialog>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The startup window "登录": user name and password, checked against the
// system database together with the right to import courses. A successful
// login closes it and opens the main window.
class frmLogin : public QDialog {
  Q_OBJECT
 public:
  explicit frmLogin(QWidget* parent = nullptr);

  void cmdOk_Click();
  void cmdCancel_Click();
  void Command1_Click();

 signals:
  // After a successful login, once the main window is shown.
  void loggedIn();

 private:
  QGroupBox* Frame1;
  QLabel* Label1;
  QLineEdit* inputName;
  QLabel* Label2;
  QLineEdit* inputPWD;
  QPushButton* cmdOk;
  QPushButton* cmdCancel;
  QPushButton* Command1;
};
