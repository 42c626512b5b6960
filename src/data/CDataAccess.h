#pragma once
#include <QString>
#include <QVariantList>

#include <memory>

#include "data/Connection.h"
#include "data/Dialect.h"
#include "data/Recordset.h"

class Connection;

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
  // character may stand in the name).
  // wholeTables: statements the reader will run once over whole tables.
  void OpenExchangeFile(const QString& path, ExchangeAccess access, const QVector<WholeTableRead>& wholeTables = {});
  void CloseConnection();  // writes back a working copy (Jet) and may raise then

  void GetConnectedRecordset(const QString& SQLQuery, RecordsetPtr& RecordSet);
  // The same with the statement's values bound as parameters.
  void GetConnectedRecordset(const QString& SQLQuery, const QVariantList& params, RecordsetPtr& RecordSet);

  void ExecQuery(const QString& Connect, const QString& SQLQuery);
  void ExecQuery(const QString& Connect, const QString& SQLQuery, const QVariantList& params);

  void GetRecordset(const QString& Connect, const QString& SQLQuery, RecordsetPtr& RecordSet);
  void PutRecordset(const QString& Connect, RecordsetPtr& RecordSet);

  void BeginTrans();
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
