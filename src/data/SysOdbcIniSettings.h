#pragma once
#include <QString>

#include <functional>

// What the settings dialog shows and saves, one field per box.
struct OdbcIniFields {
  QString Provider;          // cboProvider
  QString DataSource;        // txtDataSource
  QString InitialCatalog;    // txtInitialCatalog
  QString UserID;            // txtUserID, plain
  QString PassWord;          // txtPassWord, plain
  QString ConnectionString;  // txtString
};

// The driver box's entry for a SQLite file as the system database; the server
// box then holds the file.
inline const QString SqliteProvider = QStringLiteral("SQLite3");

// The dialog's test-and-save logic without the window. It opens the
// connection itself, not through a data access object: it must work when the
// stored settings do not.
class SysOdbcIniSettings {
 public:
  explicit SysOdbcIniSettings(QString iniFile);

  // The boxes as the file fills them, the full connection string included. A
  // stored SQLite string shows as the SQLite entry with its file, since it is
  // what the program uses.
  OdbcIniFields Load() const;
  // cmdTest_Click: checks the boxes, opens the working string and, when it
  // opens, saves the boxes (user and password scrambled). Messages through
  // interaction(). True when the settings were saved.
  bool TestAndSave(const OdbcIniFields& fields);

  const QString& WorkingString() const { return m_strConnect; }
  // Opens and closes a connection; raises DataError when it cannot. Replaceable
  // so that a server that is not there can be stood in for.
  std::function<void(const QString&)> openConnection;

 private:
  bool chooseWorkingString(const OdbcIniFields& fields);
  bool fitsTheFile(const OdbcIniFields& fields) const;
  void Save(const OdbcIniFields& fields) const;

  QString m_strFile;
  QString m_strConnect;
};
