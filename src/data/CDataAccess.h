#pragma once
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>

#include "data/Connection.h"
#include "data/Dialect.h"
#include "data/Rows.h"

// The one class through which the program talks to a database. A new instance
// connects at once to the system database named by the stored settings; code
// that needs another database re-points it with OpenConnection. Every failure
// is raised again as a DataError with the source "DataAccessAPI".
class CDataAccess {
 public:
  CDataAccess();  // GetConnectionString + OpenConnection; throws DataError
  struct Unconnected {};
  explicit CDataAccess(Unconnected) {}  // holds no connection until OpenConnection
  ~CDataAccess();
  CDataAccess(const CDataAccess&) = delete;
  CDataAccess& operator=(const CDataAccess&) = delete;

  void OpenConnection(const QString& Connect);
  // An exchange file, by path (never inside a connection string, so any
  // character may stand in the name). The streamed tables are read only
  // whole, through TableRows.
  void OpenExchangeFile(const QString& path, ExchangeAccess access, const QVector<StreamedTable>& streamed = {});
  void CloseConnection();  // writes back a working copy (Jet) and may raise then

  // The rows of a statement, its values bound as parameters.
  Bulk::Query OpenQuery(const QString& SQLQuery, const QVariantList& params = {});
  // The whole of a table, in rising order of a column when one is named.
  Bulk::Query TableRows(const QString& table, const QString& orderColumn = {});
  // A table's columns in their order.
  QStringList ColumnsOf(const QString& table);
  // The writer of every row the program adds to a table; with keyColumn,
  // add() hands back the new row's key.
  Bulk::Writer InsertInto(const QString& table, const QStringList& columns, const QString& keyColumn = {},
                          Bulk::ReadBack readBack = Bulk::ReadBack::AfterFlush);
  // A statement that returns no rows.
  void ExecQuery(const QString& SQLQuery, const QVariantList& params = {});
  // Sets columns in the rows whose keyColumn holds each row's key: a row is
  // the key, then the values of columns. A few statements however many rows.
  void UpdateRows(const QString& table, const QString& keyColumn, const QStringList& columns,
                  const std::vector<Bulk::Row>& rows);
  // Sets column to a new text in the rows whose keyColumn holds the paired key.
  void UpdateColumn(const QString& table, const QString& keyColumn, const QString& column,
                    const std::vector<std::pair<qint32, QString>>& values);

  void BeginTrans();
  // The transaction of an import: it holds the system database's import
  // lock (Connection::beginImport) until it ends.
  void BeginImportTrans(const std::function<void()>& waiting, const std::function<void()>& checkCancel);
  void CommitTrans();
  void RollbackTrans();
  bool IsInTransaction() const { return m_bInTransaction; }

  QString GetConnectionString();

  // Not in the original's contract; needed by callers that choose a statement
  // variant or check what they hold.
  bool IsConnected() const { return m_connection != nullptr; }
  Dialect dialect() const;
  const QString& ConnectionString() const { return m_strConnect; }
  std::shared_ptr<Connection> connection() const { return m_connection; }

 private:
  Connection& held() const;  // raises when nothing is open
  [[noreturn]] void rethrow() const;

  bool m_bInTransaction = false;
  std::shared_ptr<Connection> m_connection;
  QString m_strConnect;
};

// What a scope writes stays only when it says so: a transaction on the data
// access object's connection, or, when one is open already, a savepoint
// inside it. Leaving the scope without commit() undoes the writes.
class Transaction {
 public:
  explicit Transaction(CDataAccess& dal, const QString& savepoint = QStringLiteral("scope"));
  // An import's transaction, which waits its turn after other imports.
  struct ImportLock {
    std::function<void()> waiting;
    std::function<void()> checkCancel;
  };
  Transaction(CDataAccess& dal, const ImportLock& lock);
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void commit();

 private:
  CDataAccess& dal_;
  const QString savepoint_;
  const bool own_;
  bool done_ = false;
};
