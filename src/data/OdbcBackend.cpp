#include "data/OdbcBackend.h"

#include <QDateTime>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

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
// every other server. A level the connection string sets is kept.
QString withoutStatementSavepoints(const QString& connectString, Dialect dialect) {
  if (dialect != Dialect::PostgreSQL || !Connection::connectValue(connectString, QStringLiteral("Protocol")).isEmpty())
    return connectString;
  QString s = connectString.trimmed();
  if (!s.isEmpty() && !s.endsWith(';')) s += ';';
  return s + QStringLiteral("Protocol=7.4-0;");
}

QString marks(qsizetype n) { return QStringLiteral("?,").repeated(n).chopped(1); }

class StatementRows : public Bulk::RowSource {
 public:
  StatementRows(const Connection& conn, const QString& sql, const QVariantList& params)
      : conn_(conn), query_(conn.database()) {
    query_.setForwardOnly(true);
    if (!query_.prepare(sql)) conn.raise(query_.lastError());
    for (const QVariant& p : params) query_.addBindValue(p);
    if (!query_.exec()) conn.raise(query_.lastError());
    const QSqlRecord record = query_.record();
    for (int i = 0; i < record.count(); ++i) names_ << record.fieldName(i);
  }
  const QStringList& columns() const override { return names_; }
  bool next(Bulk::Row& row) override {
    if (!query_.isActive() || !query_.isSelect()) return false;
    if (!query_.next()) {
      if (query_.lastError().isValid()) conn_.raise(query_.lastError());
      query_.finish();
      return false;
    }
    row.resize(size_t(names_.size()));
    for (int i = 0; i < names_.size(); ++i) row[size_t(i)] = Bulk::Cell::fromVariant(query_.value(i));
    return true;
  }

 private:
  const Connection& conn_;
  QSqlQuery query_;
  QStringList names_;
};

// Rows held until a multi-row INSERT is full, or until flush().
class ManyRows : public Bulk::TableWriter {
 public:
  ManyRows(const Connection& conn, const QString& table, const QStringList& columns)
      : conn_(conn), table_(table), columns_(columns), types_(OdbcRows::columnTypes(conn, table, columns)) {
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
    std::unique_ptr<QSqlQuery> tail;
    QSqlQuery* q = full_.get();
    if (rows != rowsPerStatement_ || !q) {
      auto prepared = std::make_unique<QSqlQuery>(conn_.database());
      prepared->setForwardOnly(true);
      if (!prepared->prepare(statement(rows))) conn_.raise(prepared->lastError());
      q = prepared.get();
      (rows == rowsPerStatement_ ? full_ : tail) = std::move(prepared);
    }
    int at = 0;
    for (int r = 0; r < rows; ++r)
      for (int i = 0; i < columns_.size(); ++i)
        q->bindValue(at++, OdbcRows::value(types_.value(i), pending_[size_t(r)][size_t(i)]));
    if (!q->exec()) conn_.raise(q->lastError());
  }

  const Connection& conn_;
  QString table_;
  QStringList columns_;
  QVector<int> types_;
  int rowsPerStatement_ = 1;
  std::vector<Bulk::Row> pending_;
  std::unique_ptr<QSqlQuery> full_;
};

}  // namespace

// ---------------------------------------------------------------- values

namespace OdbcRows {

bool isIntegerType(int type) {
  return type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::Short;
}

bool isNumberType(int type) { return isIntegerType(type) || type == QMetaType::Double; }

bool isDateType(int type) { return type == QMetaType::QDateTime || type == QMetaType::QDate; }

QVector<int> columnTypes(const Connection& conn, const QString& table, const QStringList& columns) {
  QSqlQuery layout(conn.database());
  layout.setForwardOnly(true);
  if (!layout.exec(QStringLiteral("SELECT %1 FROM %2 WHERE 1=0").arg(columns.join(','), table)))
    conn.raise(layout.lastError());
  QVector<int> types;
  const QSqlRecord record = layout.record();
  for (int i = 0; i < record.count(); ++i) types << record.field(i).metaType().id();
  return types;
}

QVariant value(int columnType, const Bulk::Cell& c) {
  if (c.kind == Bulk::Cell::Kind::Text && isDateType(columnType)) {
    if (const std::optional<Dates::Stamp> s = Dates::parse(QStringView(QString::fromUtf8(c.bytes)).trimmed()))
      return QDateTime(QDate(s->year, s->month, s->day), QTime(s->hour, s->minute, s->second, s->msec), Qt::UTC);
    return c.toString();
  }
  if (c.kind == Bulk::Cell::Kind::Text && isNumberType(columnType)) {
    bool ok = false;
    const double d = QString::fromUtf8(c.bytes).toDouble(&ok);
    if (ok) return columnType == QMetaType::Double ? QVariant(d) : QVariant(static_cast<qlonglong>(d));
  }
  return c.toVariant();
}

SingleRows::SingleRows(const OdbcConnection& conn, const QString& table, const QStringList& columns,
                       const QString& keyColumn)
    : conn_(conn), types_(columnTypes(conn, table, columns)), wantKey_(!keyColumn.isEmpty()), insert_(conn.database()) {
  insert_.setForwardOnly(true);
  const QString sql = wantKey_ ? conn.insertReturningKey(table, columns, keyColumn)
                      : columns.isEmpty()
                          ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table)
                          : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(table, columns.join(','), marks(columns.size()));
  if (!insert_.prepare(sql)) conn.raise(insert_.lastError());
}

qint32 SingleRows::add(const Bulk::Row& values) {
  for (int i = 0; i < types_.size(); ++i) insert_.bindValue(i, value(types_[i], values[size_t(i)]));
  if (!insert_.exec()) conn_.raise(insert_.lastError());
  const qint32 key = wantKey_ && insert_.next() ? insert_.value(0).toInt() : 0;
  insert_.finish();
  return key;
}

}  // namespace OdbcRows

// ---------------------------------------------------------------- connection

OdbcConnection::OdbcConnection(const QString& connectString, Dialect dialect)
    : Connection(connectString, dialect, false) {
  // The original waited at most 90 seconds for a connection.
  openDatabase(QStringLiteral("QODBC"), withoutStatementSavepoints(connectString, dialect),
               QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=90"));
}

std::unique_ptr<Bulk::RowSource> OdbcConnection::select(const QString& sql, const QVariantList& params) const {
  return std::make_unique<StatementRows>(*this, sql, params);
}

std::unique_ptr<Bulk::TableWriter> OdbcConnection::writer(const QString& table, const QStringList& columns,
                                                          const QString& keyColumn, Bulk::ReadBack readBack) {
  if (!keyColumn.isEmpty() || readBack == Bulk::ReadBack::AtOnce)
    return std::make_unique<OdbcRows::SingleRows>(*this, table, columns, keyColumn);
  return std::make_unique<ManyRows>(*this, table, columns);
}

QString OdbcConnection::insertReturningKey(const QString& table, const QStringList& columns,
                                           const QString& keyColumn) const {
  const QString cols = columns.join(',');
  if (dialect() == Dialect::SQLServer) {
    if (columns.isEmpty()) return QStringLiteral("INSERT INTO %1 OUTPUT INSERTED.%2 DEFAULT VALUES").arg(table, keyColumn);
    return QStringLiteral("INSERT INTO %1 (%2) OUTPUT INSERTED.%3 VALUES (%4)").arg(table, cols, keyColumn, marks(columns.size()));
  }
  if (columns.isEmpty()) return QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2").arg(table, keyColumn);
  return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4").arg(table, cols, marks(columns.size()), keyColumn);
}

// One reused statement per row.
void OdbcConnection::updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                                  const std::vector<std::pair<qint32, QString>>& values) {
  if (values.empty()) return;
  QSqlQuery update(database());
  update.setForwardOnly(true);
  if (!update.prepare(QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?").arg(table, column, keyColumn)))
    raise(update.lastError());
  for (const auto& [key, text] : values) {
    update.bindValue(0, text);
    update.bindValue(1, key);
    if (!update.exec()) raise(update.lastError());
  }
}
