#include "data/OdbcBackend.h"

#include <QDateTime>
#include <QSqlDriver>

#include "data/DataError.h"
#include "data/DateValue.h"

namespace {

// SQL Server takes at most 2,100 parameters and 1,000 rows per statement.
constexpr int MaxRowsPerStatement = 1000;
constexpr int MaxParameters = 2000;

// psqlODBC wraps every statement inside a transaction in a savepoint of its
// own (a subtransaction per row of an import) unless told otherwise. With
// "-0" it leaves a failed statement's transaction failed, and the
// transaction, or our own savepoint, is rolled back by the program as on
// every other server. Its server-side plans cost a round trip each to drop
// (wrapped in such a savepoint all the same): the driver puts the bound
// values into the statement itself instead. Settings the connection string
// makes are kept.
QString withoutStatementSavepoints(const QString& connectString, Dialect dialect) {
  if (dialect != Dialect::PostgreSQL) return connectString;
  QString s = connectString.trimmed();
  if (!s.isEmpty() && !s.endsWith(';')) s += ';';
  if (Connection::connectValue(connectString, QStringLiteral("Protocol")).isEmpty()) s += QStringLiteral("Protocol=7.4-0;");
  if (Connection::connectValue(connectString, QStringLiteral("UseServerSidePrepare")).isEmpty())
    s += QStringLiteral("UseServerSidePrepare=0;");
  return s;
}

// CORVINA_ODBC_TRACE names a file that takes every ODBC call of the program's
// connections (unixODBC's trace), for finding out what a driver was sent.
QString connectOptions() {
  QString options = QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=90");  // the original waited at most 90 seconds
  const QString trace = qEnvironmentVariable("CORVINA_ODBC_TRACE");
  if (!trace.isEmpty() && !trace.contains(';'))
    options += QStringLiteral(";SQL_ATTR_TRACEFILE=%1;SQL_ATTR_TRACE=SQL_OPT_TRACE_ON").arg(trace);
  return options;
}

QString marks(qsizetype n) { return QStringLiteral("?,").repeated(n).chopped(1); }

void bindAll(Odbc::Statement& statement, const Bulk::Row& params) {
  for (size_t i = 0; i < params.size(); ++i) statement.bind(int(i), params[i]);
}

class StatementRows : public Bulk::RowSource {
 public:
  StatementRows(const OdbcConnection& conn, const QString& sql, const QVariantList& params)
      : statement_(conn.handle(), sql) {
    for (int i = 0; i < params.size(); ++i)
      OdbcRows::bind(statement_, i, Odbc::ValueKind::Other, OdbcRows::cellOf(params[i]));
    statement_.execute();
  }
  const QStringList& columns() const override { return statement_.columnNames(); }
  bool next(Bulk::Row& row) override {
    if (!statement_.fetch()) return false;
    row.resize(size_t(statement_.columnCount()));
    for (int i = 0; i < statement_.columnCount(); ++i) statement_.read(i, row[size_t(i)]);
    return true;
  }

 private:
  Odbc::Statement statement_;
};

// Rows held until a multi-row INSERT is full, or until flush().
class ManyRows : public Bulk::TableWriter {
 public:
  ManyRows(const OdbcConnection& conn, const QString& table, const QStringList& columns)
      : conn_(conn), table_(table), columns_(columns), kinds_(OdbcRows::columnKinds(conn, table, columns)) {
    rowsPerStatement_ =
        std::max(1, std::min(MaxRowsPerStatement, MaxParameters / int(std::max<qsizetype>(1, columns.size()))));
  }
  qint32 add(const Bulk::Row& values) override {
    pending_.push_back(values);
    if (int(pending_.size()) >= rowsPerStatement_) flush();
    return 0;
  }
  void flush() override {
    if (!pending_.empty()) write(int(pending_.size()));
    pending_.clear();
  }

 private:
  QString statement(int rows) const {
    const QString one = '(' + marks(columns_.size()) + ')';
    QString values;
    values.reserve((one.size() + 1) * rows);
    for (int r = 0; r < rows; ++r) values += (r ? QStringLiteral(",") : QString()) + one;
    return QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(table_, columns_.join(','), values);
  }
  void write(int rows) {
    std::unique_ptr<Odbc::Statement> tail;
    Odbc::Statement* q = full_.get();
    if (rows != rowsPerStatement_ || !q) {
      auto prepared = std::make_unique<Odbc::Statement>(conn_.handle(), statement(rows));
      q = prepared.get();
      (rows == rowsPerStatement_ ? full_ : tail) = std::move(prepared);
    }
    int at = 0;
    for (int r = 0; r < rows; ++r)
      for (int i = 0; i < columns_.size(); ++i)
        OdbcRows::bind(*q, at++, kinds_[size_t(i)], pending_[size_t(r)][size_t(i)]);
    q->execute();
  }

  const OdbcConnection& conn_;
  QString table_;
  QStringList columns_;
  std::vector<Odbc::ValueKind> kinds_;
  int rowsPerStatement_ = 1;
  std::vector<Bulk::Row> pending_;
  std::unique_ptr<Odbc::Statement> full_;
};

// SQL Server's application lock, owned by the transaction.
QString appLock(int timeoutMs) {
  return QStringLiteral(
             "SET NOCOUNT ON; DECLARE @granted INT; EXEC @granted = sp_getapplock @Resource = N'Corvina import', "
             "@LockMode = N'Exclusive', @LockOwner = N'Transaction', @LockTimeout = %1; SELECT @granted")
      .arg(timeoutMs);
}

}  // namespace

// ---------------------------------------------------------------- values

namespace OdbcRows {

std::vector<Odbc::ValueKind> columnKinds(const OdbcConnection& conn, const QString& table, const QStringList& columns) {
  Odbc::Statement layout(conn.handle(), QStringLiteral("SELECT %1 FROM %2 WHERE 1=0").arg(columns.join(','), table));
  layout.execute();
  std::vector<Odbc::ValueKind> kinds = layout.columnKinds();
  layout.close();
  return kinds;
}

Bulk::Cell cellOf(const QVariant& v) { return Bulk::Cell::fromVariant(v); }

void bind(Odbc::Statement& statement, int i, Odbc::ValueKind column, const Bulk::Cell& value) {
  if (value.kind == Bulk::Cell::Kind::Text && column == Odbc::ValueKind::Date) {
    statement.bindDate(i, value);
    return;
  }
  if (value.kind == Bulk::Cell::Kind::Text &&
      (column == Odbc::ValueKind::Integer || column == Odbc::ValueKind::Real)) {
    bool ok = false;
    const double d = QString::fromUtf8(value.bytes).toDouble(&ok);
    if (ok) {
      statement.bind(i, column == Odbc::ValueKind::Real ? Bulk::Cell{Bulk::Cell::Kind::Real, 0, d, {}}
                                                        : Bulk::Cell::integer(static_cast<qint64>(d)));
      return;
    }
  }
  statement.bind(i, value);
}

SingleRows::SingleRows(const OdbcConnection& conn, const QString& table, const QStringList& columns,
                       const QString& keyColumn)
    : kinds_(columnKinds(conn, table, columns.isEmpty() ? conn.columnsOf(table).mid(1, 1) : columns)),
      wantKey_(!keyColumn.isEmpty()),
      insert_(conn.handle(), wantKey_ ? conn.insertReturningKey(table, columns, keyColumn)
                                      : columns.isEmpty() ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                                                          : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                                                .arg(table, columns.join(','), marks(columns.size()))) {
  if (columns.isEmpty()) kinds_.clear();
}

qint32 SingleRows::add(const Bulk::Row& values) {
  for (size_t i = 0; i < kinds_.size(); ++i) bind(insert_, int(i), kinds_[i], values[i]);
  insert_.execute();
  Bulk::Cell key;
  if (wantKey_ && insert_.fetch()) insert_.read(0, key);
  insert_.close();
  return key.toInt();
}

}  // namespace OdbcRows

// ---------------------------------------------------------------- connection

OdbcConnection::OdbcConnection(const QString& connectString, Dialect dialect)
    : Connection(connectString, dialect, false) {
  openDatabase(QStringLiteral("QODBC"), withoutStatementSavepoints(connectString, dialect), connectOptions());
}

Odbc::Handle OdbcConnection::handle() const {
  // Qt hands the connection's SQLHDBC out as a pointer-sized value.
  const QVariant h = database().driver() ? database().driver()->handle() : QVariant();
  Odbc::Handle handle = h.isValid() && h.metaType().sizeOf() == sizeof(Odbc::Handle)
                            ? *static_cast<Odbc::Handle const*>(h.constData())
                            : nullptr;
  if (!handle) throw DataError(QStringLiteral("QODBC"), QStringLiteral("数据库连接已关闭。"));
  return handle;
}

std::unique_ptr<Bulk::RowSource> OdbcConnection::select(const QString& sql, const QVariantList& params) const {
  return std::make_unique<StatementRows>(*this, sql, params);
}

void OdbcConnection::execute(const QString& sql, const QVariantList& params) {
  Bulk::Row cells;
  for (const QVariant& p : params) cells.push_back(OdbcRows::cellOf(p));
  run(sql, cells);
}

void OdbcConnection::run(const QString& sql, const Bulk::Row& params) const {
  Odbc::Statement statement(handle(), sql);
  bindAll(statement, params);
  statement.execute();
  statement.close();
}

Bulk::Cell OdbcConnection::firstValue(const QString& sql, const Bulk::Row& params) const {
  Odbc::Statement statement(handle(), sql);
  bindAll(statement, params);
  statement.execute();
  Bulk::Cell value;
  if (statement.fetch()) statement.read(0, value);
  statement.close();
  return value;
}

std::unique_ptr<Bulk::TableWriter> OdbcConnection::writer(const QString& table, const QStringList& columns,
                                                          const QString& keyColumn, Bulk::ReadBack readBack) {
  if (!keyColumn.isEmpty() || readBack == Bulk::ReadBack::AtOnce)
    return std::make_unique<OdbcRows::SingleRows>(*this, table, columns, keyColumn);
  return std::make_unique<ManyRows>(*this, table, columns);
}

// A row without columns names the first column after the key, so that every
// T-SQL server takes the statement (not all take OUTPUT with DEFAULT VALUES).
QString OdbcConnection::insertReturningKey(const QString& table, const QStringList& columns,
                                           const QString& keyColumn) const {
  if (dialect() == Dialect::SQLServer) {
    if (columns.isEmpty())
      return QStringLiteral("INSERT INTO %1 (%2) OUTPUT INSERTED.%3 VALUES (DEFAULT)")
          .arg(table, columnsOf(table).value(1), keyColumn);
    return QStringLiteral("INSERT INTO %1 (%2) OUTPUT INSERTED.%3 VALUES (%4)")
        .arg(table, columns.join(','), keyColumn, marks(columns.size()));
  }
  if (columns.isEmpty()) return QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2").arg(table, keyColumn);
  return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
      .arg(table, columns.join(','), marks(columns.size()), keyColumn);
}

// SQL Server takes a table of values joined to the table by key; other
// servers get one reused statement per row.
void OdbcConnection::updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                                  const std::vector<std::pair<qint32, QString>>& values) {
  if (dialect() != Dialect::SQLServer) {
    Odbc::Statement update(handle(), QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?").arg(table, column, keyColumn));
    for (const auto& [key, text] : values) {
      bindAll(update, {Bulk::Cell::text(text), Bulk::Cell::integer(key)});
      update.execute();
    }
    return;
  }
  constexpr size_t rowsPerStatement = MaxParameters / 2;
  for (size_t from = 0; from < values.size(); from += rowsPerStatement) {
    const size_t rows = std::min(rowsPerStatement, values.size() - from);
    Bulk::Row params;
    for (size_t r = from; r < from + rows; ++r)
      params.insert(params.end(), {Bulk::Cell::integer(values[r].first), Bulk::Cell::text(values[r].second)});
    run(QStringLiteral("UPDATE %1 SET %2=v.c FROM (VALUES %4) AS v(k,c) WHERE %1.%3=v.k")
            .arg(table, column, keyColumn, QStringList(qsizetype(rows), QStringLiteral("(?,?)")).join(',')),
        params);
  }
}

// SQL Server: the application lock of the transaction; other servers have
// no lock to take beyond their own.
void OdbcConnection::lockImports(const std::function<void()>& waiting, const std::function<void()>& checkCancel) {
  if (dialect() != Dialect::SQLServer) return;
  if (firstValue(appLock(0)).toInt() >= 0) return;
  waiting();
  do {
    checkCancel();
  } while (firstValue(appLock(250)).toInt() < 0);
}
