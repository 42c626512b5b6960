#include "data/CDataAccess.h"

#include "core/Transfer.h"

#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"

namespace {
// The source the data access object puts on everything it raises again.
const QString dataAccessSource = QStringLiteral("DataAccessAPI");

[[noreturn]] void raiseClosed() {
  throw DataError(dataAccessSource, QStringLiteral("Operation is not allowed when the object is closed."));
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
    throw DataError(e.number(), dataAccessSource, e.description());
  } catch (const std::exception& e) {
    throw DataError(dataAccessSource, QString::fromUtf8(e.what()));
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
                                   const QVector<StreamedTable>& streamed) {
  try {
    CloseConnection();
    m_connection = Connection::openExchangeFile(path, access, streamed);
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

Bulk::Query CDataAccess::OpenQuery(const QString& SQLQuery, const QVariantList& params) {
  try {
    Connection& conn = held();
    OpenResult claim(conn);
    return Bulk::Query(conn.select(SQLQuery, params), std::move(claim));
  } catch (...) {
    rethrow();
  }
}

Bulk::Query CDataAccess::TableRows(const QString& table, const QString& orderColumn) {
  try {
    Connection& conn = held();
    OpenResult claim(conn);
    return Bulk::Query(conn.tableRows(table, orderColumn), std::move(claim));
  } catch (...) {
    rethrow();
  }
}

QStringList CDataAccess::ColumnsOf(const QString& table) {
  try {
    held().requireNoOpenResult();
    return held().columnsOf(table);
  } catch (...) {
    rethrow();
  }
}

Bulk::Writer CDataAccess::InsertInto(const QString& table, const QStringList& columns, const QString& keyColumn,
                                     Bulk::ReadBack readBack) {
  try {
    return Bulk::Writer(held(), table, columns, keyColumn, readBack);
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::ExecQuery(const QString& SQLQuery, const QVariantList& params) {
  try {
    held().requireNoOpenResult();
    held().execute(SQLQuery, params);
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::UpdateRows(const QString& table, const QString& keyColumn, const QStringList& columns,
                             const std::vector<Bulk::Row>& rows) {
  try {
    held().requireNoOpenResult();
    held().updateRows(table, keyColumn, columns, rows);
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::UpdateColumn(const QString& table, const QString& keyColumn, const QString& column,
                               const std::vector<std::pair<qint32, QString>>& values) {
  try {
    held().requireNoOpenResult();
    held().updateColumn(table, keyColumn, column, values);
  } catch (...) {
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

void CDataAccess::BeginImportTrans(const std::function<void()>& waiting, const std::function<void()>& checkCancel) {
  try {
    m_bInTransaction = false;
    held().beginImport(waiting, checkCancel);
    m_bInTransaction = true;
  } catch (const TransferCancelled&) {
    throw;
  } catch (...) {
    rethrow();
  }
}

void CDataAccess::CommitTrans() {
  try {
    held().requireNoOpenResult();
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

// ---------------------------------------------------------------- Transaction

Transaction::Transaction(CDataAccess& dal, const QString& savepoint)
    : dal_(dal), savepoint_(savepoint), own_(!dal.IsInTransaction()) {
  if (own_)
    dal_.BeginTrans();
  else
    dal_.ExecQuery(Sql::savepoint(dal_.dialect(), savepoint_));
}

Transaction::Transaction(CDataAccess& dal, const ImportLock& lock) : dal_(dal), own_(true) {
  dal_.BeginImportTrans(lock.waiting, lock.checkCancel);
}

Transaction::~Transaction() {
  if (done_) return;
  try {
    if (!own_)
      dal_.ExecQuery(Sql::rollbackToSavepoint(dal_.dialect(), savepoint_));
    else if (dal_.IsInTransaction())
      dal_.RollbackTrans();
  } catch (...) {  // the failure that ended the scope is the one to report
  }
}

void Transaction::commit() {
  if (own_) {
    dal_.CommitTrans();
  } else {
    const QString release = Sql::releaseSavepoint(dal_.dialect(), savepoint_);
    if (!release.isEmpty()) dal_.ExecQuery(release);
  }
  done_ = true;
}
