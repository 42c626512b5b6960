#include "data/CDataAccess.h"

#include <QSqlError>
#include <QSqlQuery>

#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"

namespace {
[[noreturn]] void raiseClosed() {
  throw DataError(3704, DataError::DataAccessSource,
                  QStringLiteral("Operation is not allowed when the object is closed."));
}

void execOn(Connection& conn, const QString& sql, const QVariantList& params) {
  QSqlQuery q(conn.database());
  if (!q.prepare(sql)) conn.raise(q.lastError());
  for (const QVariant& p : params) q.addBindValue(p);
  if (!q.exec()) conn.raise(q.lastError());
}
}  // namespace

CDataAccess::CDataAccess() {
  m_strConnect = GetConnectionString();
  OpenConnection(m_strConnect);
}

CDataAccess::~CDataAccess() {
  try {
    CloseConnection();
  } catch (...) {
    // Nothing can be reported from here; callers that care close explicitly.
  }
}

// Keeps number and description, replaces the source.
void CDataAccess::rethrow() const {
  try {
    throw;
  } catch (const DataError& e) {
    throw DataError(e.number(), DataError::DataAccessSource, e.description());
  } catch (const std::exception& e) {
    throw DataError(DataError::GenericNumber, DataError::DataAccessSource, QString::fromUtf8(e.what()));
  }
}

Connection& CDataAccess::held() const {
  if (!m_connection) raiseClosed();
  return *m_connection;
}

Dialect CDataAccess::dialect() const { return m_connection ? m_connection->dialect() : Dialect::Other; }

void CDataAccess::OpenConnection(const QString& Connect) {
  if (Connect.isEmpty()) return;
  try {
    CloseConnection();
    m_connection = Connection::open(Connect);
    m_strConnect = Connect;
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::OpenExchangeFile(const QString& path, ExchangeAccess access,
                                   const QVector<WholeTableRead>& wholeTables) {
  try {
    CloseConnection();
    m_connection = Connection::openExchangeFile(path, access, wholeTables);
    m_strConnect.clear();
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::CloseConnection() {
  if (!m_connection) return;
  auto conn = std::move(m_connection);
  m_connection.reset();
  m_bInTransaction = false;
  conn->release();
}

void CDataAccess::GetConnectedRecordset(const QString& SQLQuery, RecordsetPtr& RecordSet) {
  GetConnectedRecordset(SQLQuery, {}, RecordSet);
}

void CDataAccess::GetConnectedRecordset(const QString& SQLQuery, const QVariantList& params,
                                        RecordsetPtr& RecordSet) {
  try {
    RecordSet.reset();
    held();
    RecordSet = std::make_unique<Recordset>(m_connection, SQLQuery, params);
  } catch (...) {
    RecordSet.reset();
    rethrow();
  }
}

void CDataAccess::ExecQuery(const QString& Connect, const QString& SQLQuery) {
  ExecQuery(Connect, SQLQuery, {});
}

void CDataAccess::ExecQuery(const QString& Connect, const QString& SQLQuery, const QVariantList& params) {
  try {
    if (!Connect.isEmpty()) {
      auto perCall = Connection::open(Connect);
      execOn(*perCall, SQLQuery, params);
      perCall->release();
    } else {
      execOn(held(), SQLQuery, params);
    }
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::GetRecordset(const QString& Connect, const QString& SQLQuery, RecordsetPtr& RecordSet) {
  try {
    RecordSet.reset();
    auto conn = Connect.isEmpty() ? m_connection : Connection::open(Connect);
    if (!conn) raiseClosed();
    RecordSet = std::make_unique<Recordset>(conn, SQLQuery);
    RecordSet->Disconnect();
  } catch (...) {
    RecordSet.reset();
    rethrow();
  }
}

void CDataAccess::PutRecordset(const QString& Connect, RecordsetPtr& RecordSet) {
  try {
    if (!RecordSet) raiseClosed();
    auto conn = Connect.isEmpty() ? m_connection : Connection::open(Connect);
    if (!conn) raiseClosed();
    RecordSet->Reconnect(conn);
    RecordSet->UpdateBatch();
    RecordSet->Reconnect(nullptr);
    if (!Connect.isEmpty()) conn->release();
  } catch (...) {
    if (RecordSet) RecordSet->Reconnect(nullptr);
    rethrow();
  }
}

void CDataAccess::BeginTrans() {
  try {
    m_bInTransaction = false;
    held().begin();
    m_bInTransaction = true;
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::CommitTrans() {
  try {
    held().commit();
    m_bInTransaction = false;
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::RollbackTrans() {
  try {
    held().rollback();
    m_bInTransaction = false;
  } catch (...) {
    rethrow();
  }
}

QString CDataAccess::GetConnectionString() { return ConnectionSettings::connectionString(); }

