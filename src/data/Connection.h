#pragma once
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QVector>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "data/Dialect.h"
#include "data/Rows.h"

class QSqlError;
class Connection;

// SQL Server keeps one result set open per connection (without MARS, which
// the original's driver never had): the rows of a query are read to their
// end, or the query let go, before the next statement runs on the
// connection. Every backend holds to it, so that code that breaks the rule
// fails on any database. A query holds its connection's claim until its
// rows are done; it may outlive the connection.
class OpenResult {
 public:
  OpenResult() = default;
  explicit OpenResult(const Connection& conn);  // raises when a result set is open already
  OpenResult(OpenResult&& other) noexcept : open_(std::move(other.open_)) {}
  OpenResult& operator=(OpenResult&& other) noexcept;
  ~OpenResult() { release(); }
  OpenResult(const OpenResult&) = delete;
  OpenResult& operator=(const OpenResult&) = delete;
  void release();

 private:
  std::shared_ptr<bool> open_;
};

// What an exchange file is opened for. Files read for an import come from
// other machines and are never written.
enum class ExchangeAccess { Read, Write };

// A table of an exchange file a reader takes whole, once, in rising order of
// a column (or in any order): a backend may leave its rows out of its working
// copy and hand them out from the file (Connection::tableRows). Statements
// on such a table are then refused.
struct StreamedTable {
  QString table;
  QString orderColumn;
};

// One open database connection behind a data access object, and the backend
// of the row interface for its database engine. The connection string
// decides the kind: SQLite (SqliteBackend), PostgreSQL (PostgresBackend),
// SQL Server and other ODBC servers (OdbcBackend), or an exchange file whose
// format is recognised by its first bytes (SQLite, or Access: JetExchange).
class Connection {
 public:
  // Throws DataError with the driver's number, source and text.
  static std::shared_ptr<Connection> open(const QString& connectString);
  // An exchange file, by path: its format is recognised by its first bytes.
  static std::shared_ptr<Connection> openExchangeFile(const QString& path, ExchangeAccess access,
                                                      const QVector<StreamedTable>& streamed = {});
  virtual ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  QSqlDatabase database() const { return QSqlDatabase::database(name_, false); }
  Dialect dialect() const { return dialect_; }
  const QString& connectString() const { return connectString_; }
  bool isExchangeFile() const { return exchange_; }

  void begin();
  // Begins the transaction of an import holding the database's import lock
  // until the transaction ends, so that imports that run at once on a shared
  // database take turns. waiting is told once when another import holds the
  // lock; checkCancel runs while this one waits and may throw.
  virtual void beginImport(const std::function<void()>& waiting, const std::function<void()>& checkCancel);
  void commit();
  void rollback();
  bool inTransaction() const { return inTransaction_; }
  // Raises when a query of this connection still has rows to give.
  void requireNoOpenResult() const;

  // The rows of a statement with its values bound as parameters, forward only.
  virtual std::unique_ptr<Bulk::RowSource> select(const QString& sql, const QVariantList& params) const = 0;
  // A statement that returns no rows.
  virtual void execute(const QString& sql, const QVariantList& params);
  // The whole of a table in rising order of a column (any order when none).
  virtual std::unique_ptr<Bulk::RowSource> tableRows(const QString& table, const QString& orderColumn) const;
  // A table's column names in their order; raises when there is no such table.
  virtual QStringList columnsOf(const QString& table) const;
  // The writer of rows for one table; keyColumn non-empty when add() is to
  // hand back the key the database generates.
  virtual std::unique_ptr<Bulk::TableWriter> writer(const QString& table, const QStringList& columns,
                                                    const QString& keyColumn, Bulk::ReadBack readBack) = 0;
  // Sets columns in the rows whose keyColumn holds each row's key; a row is
  // the key followed by the values of columns, each converted as an insert
  // converts it. By default the rows go through a writer into a temporary
  // table that one UPDATE joins: a handful of statements however many rows.
  virtual void updateRows(const QString& table, const QString& keyColumn, const QStringList& columns,
                          const std::vector<Bulk::Row>& rows);
  // Sets column to a new text in the rows whose keyColumn holds the paired key.
  virtual void updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                            const std::vector<std::pair<qint32, QString>>& values) = 0;

  // Told when a transaction ends: a backend with a working copy (Jet) uses it
  // to tell committed changes from rolled-back ones.
  virtual void transactionStarted() {}
  virtual void transactionEnded(bool committed) { (void)committed; }

  // Called when the owner lets go of the connection: a backend that keeps a
  // working copy (a Jet exchange file) writes it back here. May throw DataError.
  virtual void release() {}

  // Raises the driver's error for a failed call.
  [[noreturn]] void raise(const QSqlError& error) const;
  // sentence: what failed, in the program's words; the driver's text follows
  // as its detail. Empty: a statement failed.
  [[noreturn]] static void raise(const QSqlError& error, const QString& source, const QString& sentence = {});

  // Key lookup in a connection string: case-insensitive, braces removed.
  static QString connectValue(const QString& connectString, const QString& key);

 protected:
  Connection(QString connectString, Dialect dialect, bool exchange);
  // The server's own lock for beginImport, taken inside the transaction.
  virtual void lockImports(const std::function<void()>& waiting, const std::function<void()>& checkCancel);
  // For a backend that began its transaction by a statement of its own.
  void transactionBegun();
  // Opens the named QSqlDatabase created by the constructor; throws on failure.
  void openDatabase(const QString& driver, const QString& databaseName, const QString& options);
  const QString& name() const { return name_; }

 private:
  friend class OpenResult;
  std::shared_ptr<bool> resultOpen_ = std::make_shared<bool>(false);
  QString name_;
  QString connectString_;
  Dialect dialect_;
  bool exchange_;
  bool inTransaction_ = false;
};
