#pragma once
#include <QDialog>
#include <QHash>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

#include "data/SysOdbcIniSettings.h"

// The modal dialog "设置数据源" opened from the login window.
class frmSysOdbcIni : public QDialog {
  Q_OBJECT
 public:
  explicit frmSysOdbcIni(QWidget* parent = nullptr);

  SysOdbcIniSettings& settings() { return settings_; }
  void Form_Load();

 private:
  void cmdTest_Click();
  void cmdBrowse_Click();
  // The SQLite entry asks for a file instead of a server and a login.
  void cboProvider_Change();
  void showSqliteString();
  bool sqliteChosen() const;
  OdbcIniFields fields() const;
  void showFields(const OdbcIniFields& f);
  // Each driver keeps its own boxes while the dialog is open.
  void SwitchDriverFields();

  SysOdbcIniSettings settings_;
  QHash<QString, OdbcIniFields> driverFields_;
  QString shownDriver_;
  bool loading_ = false;
  QComboBox* cboProvider;
  QLineEdit* txtDataSource;
  QLineEdit* txtInitialCatalog;
  QLineEdit* txtUserID;
  QLineEdit* txtPassWord;
  QLineEdit* txtString;
  QLabel* lblDataSource;
  QPushButton* cmdBrowse;
  QPushButton* cmdTest;
  QPushButton* cmdClose;
};
