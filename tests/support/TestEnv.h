#pragma once
#include <QString>
#include <QTemporaryDir>

#include <memory>

class CDataAccess;

// A program folder of its own for one test: CORVINA_HOME points at a temporary
// folder holding Template.mdb (copied from the build) and an odbc.ini whose
// "ConnectionString" names a SQLite system database with the full schema.
class TestEnv {
 public:
  TestEnv();
  ~TestEnv();
  TestEnv(const TestEnv&) = delete;
  TestEnv& operator=(const TestEnv&) = delete;

  QString home() const { return dir_.path(); }
  QString path(const QString& name) const { return dir_.path() + '/' + name; }
  QString systemDb() const { return path(QStringLiteral("system.db")); }
  QString systemConnect() const { return QStringLiteral("Driver=SQLite3;Database=") + systemDb(); }

  // Creates an empty system database (schema only) at file and returns its
  // connection string.
  static QString createSystemDb(const QString& file);
  // Points odbc.ini at another connection string.
  void useSystemDb(const QString& connectString) const;
  // A data access object on the current system database.
  std::unique_ptr<CDataAccess> dal() const;
  // Runs a statement on the system database (test set-up).
  void exec(const QString& sql) const;
  // First column of the first row of a query on the system database.
  QVariant scalar(const QString& sql) const;

  static QString builtTemplate();  // the Template.mdb the build made

 private:
  QTemporaryDir dir_;
  QByteArray previousHome_;
};
