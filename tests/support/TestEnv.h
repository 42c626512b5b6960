#pragma once
#include <QString>
#include <QTemporaryDir>

#include <memory>

class CDataAccess;

// A program folder of its own for one test: CORVINA_HOME points at a temporary
// folder holding Template.mdb (copied from the build) and an odbc.ini whose
// "ConnectionString" names a system database with the full schema.
//
// The system database is a SQLite file, or, when CORVINA_TEST_BACKEND is
// "postgres", a fresh database on the private PostgreSQL test server named by
// CORVINA_PG_HOST/PORT/USER/PASSWORD (scripts/pg-test-server.sh). Databases a
// TestEnv created on the server are dropped when it goes.
class TestEnv {
 public:
  TestEnv();
  ~TestEnv();
  TestEnv(const TestEnv&) = delete;
  TestEnv& operator=(const TestEnv&) = delete;

  QString home() const { return dir_.path(); }
  QString path(const QString& name) const { return dir_.path() + '/' + name; }
  // The SQLite file of the system database (not used on the server backend).
  QString systemDb() const { return path(QStringLiteral("system.db")); }
  QString systemConnect() const { return systemConnect_; }

  // Creates an empty system database (schema only) and returns its connection
  // string: a SQLite file at file, or a new server database on the server backend.
  static QString createSystemDb(const QString& file);
  // Always a SQLite file, whatever the backend (for moving data between kinds).
  static QString createSqliteSystemDb(const QString& file);

  // True when the system databases live on the PostgreSQL test server.
  static bool onPostgres();
  // True when the test server's parameters are set (it may still be unreachable).
  static bool postgresConfigured();
  // Connection string of a database on the test server.
  static QString postgresConnect(const QString& database);
  // Creates an empty system database (schema only) on the test server.
  static QString createPostgresSystemDb();
  // Points odbc.ini at another connection string.
  void useSystemDb(const QString& connectString) const;
  // A data access object on the current system database.
  std::unique_ptr<CDataAccess> dal() const;
  // Runs a statement on the system database (test set-up).
  void exec(const QString& sql) const;
  // First column of the first row of a query on the system database.
  QVariant scalar(const QString& sql) const;

  // The templates the build made: the SQLite-format one the program folder
  // gets by default (tests look into it with SQL), and the Access (Jet 4)
  // one that ships beside the program.
  static QString builtTemplate();
  static QString builtJetTemplate();

 private:
  QTemporaryDir dir_;
  QByteArray previousHome_;
  QString systemConnect_;
  size_t firstServerDb_ = 0;  // server databases from here on belong to this TestEnv
};

// The whole file, or nothing when it cannot be read.
QByteArray readFile(const QString& path);
