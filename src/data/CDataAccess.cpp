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

bool CDataAccess::OpenConnection(const QString& Connect) {
  if (Connect.isEmpty()) return true;
  try {
    CloseConnection();
    m_bHoldsUnopened = true;
    m_connection = Connection::open(Connect);
    m_bHoldsUnopened = false;
    m_strConnect = Connect;
  } catch (...) {
    rethrow();
  }
  return true;
}

void CDataAccess::OpenExchangeFile(const QString& path, ExchangeAccess access) {
  try {
    CloseConnection();
    m_connection = Connection::openExchangeFile(path, access);
    m_strConnect.clear();
  } catch (...) {
    rethrow();
  }
}

bool CDataAccess::CloseConnection() {
  m_bHoldsUnopened = false;
  if (!m_connection) return true;
  auto conn = std::move(m_connection);
  m_connection.reset();
  m_bInTransaction = false;
  conn->release();
  return true;
}

bool CDataAccess::GetConnectedRecordset(const QString& SQLQuery, RecordsetPtr& RecordSet, long LockType,
                                        long Options, long CursorLocation) {
  (void)Options;
  try {
    RecordSet.reset();
    held();
    RecordSet = std::make_unique<Recordset>(m_connection, SQLQuery);
    RecordSet->CursorType = 1;
    RecordSet->LockType = LockType == 0 ? 4 : static_cast<int>(LockType);
    RecordSet->CursorLocation = static_cast<int>(CursorLocation);
  } catch (...) {
    RecordSet.reset();
    rethrow();
  }
  return true;
}

bool CDataAccess::GetConnectedRecordset(const QString& SQLQuery, const QVariantList& params,
                                        RecordsetPtr& RecordSet) {
  try {
    RecordSet.reset();
    held();
    RecordSet = std::make_unique<Recordset>(m_connection, SQLQuery, params);
  } catch (...) {
    RecordSet.reset();
    rethrow();
  }
  return true;
}

bool CDataAccess::ExecQuery(const QString& Connect, const QString& SQLQuery) {
  return ExecQuery(Connect, SQLQuery, {});
}

bool CDataAccess::ExecQuery(const QString& Connect, const QString& SQLQuery, const QVariantList& params) {
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
  return true;
}

bool CDataAccess::GetRecordset(const QString& Connect, const QString& SQLQuery, RecordsetPtr& RecordSet,
                               long Options, bool UseShapeProvider) {
  (void)Options;
  (void)UseShapeProvider;  // the shape provider has no counterpart here
  try {
    RecordSet.reset();
    auto conn = Connect.isEmpty() ? m_connection : Connection::open(Connect);
    if (!conn) raiseClosed();
    RecordSet = std::make_unique<Recordset>(conn, SQLQuery);
    RecordSet->CursorType = 3;
    RecordSet->LockType = 4;
    RecordSet->CursorLocation = 3;
    RecordSet->Disconnect();
  } catch (...) {
    RecordSet.reset();
    rethrow();
  }
  return true;
}

bool CDataAccess::PutRecordset(const QString& Connect, RecordsetPtr& RecordSet) {
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
  return true;
}

bool CDataAccess::DisconnectRecordset(RecordsetPtr& RecordSet) {
  try {
    if (!RecordSet) raiseClosed();
    RecordSet->Close();
    RecordSet->Reconnect(nullptr);
  } catch (...) {
    rethrow();
  }
  return true;
}

bool CDataAccess::BeginTrans() {
  try {
    m_bInTransaction = false;
    held().begin();
    m_bInTransaction = true;
  } catch (...) {
    rethrow();
  }
  return true;
}

bool CDataAccess::CommitTrans() {
  try {
    held().commit();
    m_bInTransaction = false;
  } catch (...) {
    rethrow();
  }
  return true;
}

bool CDataAccess::RollbackTrans() {
  try {
    held().rollback();
    m_bInTransaction = false;
  } catch (...) {
    rethrow();
  }
  return true;
}

QString CDataAccess::GetConnectionString() {
  m_strKey = ConnectionSettings::Key;
  return ConnectionSettings::connectionString(&m_strRegConnect);
}

bool CDataAccess::DataComponentsInstalled(const QString& Connect) {
  try {
    if (!Connect.isEmpty()) Connection::open(Connect)->release();
  } catch (...) {
    rethrow();
  }
  return true;
}
