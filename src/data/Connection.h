#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

#include "data/Dialect.h"

class QSqlError;
namespace Bulk {
class RowSink;
class RowSource;
}
namespace ExchangeCheck {
class StatementTimeLimit;
}

// What an exchange file is opened for. Files read for an import come from
// other machines and are never written.
enum class ExchangeAccess { Read, Write };

// A statement a reader of an exchange file will run once, reading a whole
// table (in rising order of a column, or any order): a backend may leave the
// table's rows out of its working copy and hand them out from the file when
// the statement runs (Connection::rowsOf).
struct WholeTableRead {
  QString statement;
  QString table;
  QString orderColumn;
};

// One open database connection behind a data access object. The connection
// string decides the backend: native SQLite, ODBC, or an exchange file (whose
// format is recognised by its first bytes).
class Connection {
 public:
  // Throws DataError with the driver's number, source and text.
  static std::shared_ptr<Connection> open(const QString& connectString);
  // An exchange file, by path: its format is recognised by its first bytes.
  static std::shared_ptr<Connection> openExchangeFile(const QString& path, ExchangeAccess access,
                                                      const QVector<WholeTableRead>& wholeTables = {});
  virtual ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }
  Dialect dialect() const { return dialect_; }
  const QString& connectString() const { return connectString_; }
  bool isExchangeFile() const { return exchange_; }

  void begin();
  void commit();
  void rollback();
  bool inTransaction() const { return inTransaction_; }

  // Told when a transaction ends: a backend with a working copy (Jet) uses it
  // to tell committed changes from rolled-back ones.
  virtual void transactionStarted() {}
  virtual void transactionEnded(bool committed) { (void)committed; }

  // Called when the owner lets go of the connection: a backend that keeps a
  // working copy (a Jet exchange file) writes it back here. May throw DataError.
  virtual void release() {}

  // A way for rows appended to table (columns in that order) that no
  // statement on this connection reads before it is released: straight into
  // the file, past statements. Null when the backend has none.
  virtual std::unique_ptr<Bulk::RowSink> directRows(const QString& table, const QStringList& columns);
  // The rows of a statement the connection was opened to serve itself
  // (WholeTableRead), or null: the statement then runs as any other.
  virtual std::unique_ptr<Bulk::RowSource> rowsOf(const QString& statement) const;

  // Raises the driver's error for a failed call.
  [[noreturn]] void raise(const QSqlError& error) const;
  // sentence: what failed, in the program's words; the driver's text follows
  // as its detail. Empty: a statement failed.
  [[noreturn]] static void raise(const QSqlError& error, const QString& source, const QString& sentence = {});

  // Key lookup in a connection string: case-insensitive, braces removed.
  static QString connectValue(const QString& connectString, const QString& key);

 protected:
  Connection(QString connectString, Dialect dialect, bool exchange);
  // Opens the named QSqlDatabase created by the constructor; throws on failure.
  void openDatabase(const QString& driver, const QString& databaseName, const QString& options);
  const QString& name() const { return name_; }

 private:
  QString name_;
  QString connectString_;
  Dialect dialect_;
  bool exchange_;
  bool inTransaction_ = false;
};

// A plain SQLite file: the embedded or offline system database, or a
// SQLite-format exchange file.
class SqliteConnection : public Connection {
 public:
  // readOnly: a file from elsewhere that this program must not change and
  // whose statements run under a time limit.
  SqliteConnection(const QString& connectString, const QString& path, bool exchange, bool readOnly = false);
  ~SqliteConnection() override;

 private:
  std::unique_ptr<ExchangeCheck::StatementTimeLimit> timeLimit_;
};
