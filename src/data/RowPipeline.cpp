#include "data/RowPipeline.h"

#include <QDateTime>
#include <QHash>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

#include <cmath>

#include <sqlite3.h>

#include "data/Connection.h"
#include "data/DataError.h"
#include "data/DateValue.h"

namespace Bulk {
namespace {

const QString sqliteSource = QStringLiteral("QSQLITE");

// SQL Server takes at most 2,100 parameters and 1,000 rows per statement;
// PostgreSQL 65,535 parameters, and fewer, longer statements save round trips.
constexpr int MaxRowsPerStatement = 1000;

int maxParameters(Dialect d) { return d == Dialect::PostgreSQL ? 20000 : 2000; }

// PostgreSQL: rows per array statement, and the text the arrays may hold
// before they are sent, so that memory stays flat with long memo values.
constexpr int MaxArrayRows = 5000;
constexpr qsizetype MaxArrayBytes = 4 << 20;

// SQLite: rows whose key nobody asks for go in groups per statement, which
// spares opening and closing the cursors on the table and its indexes for
// every row. Kept within SQLite's oldest limit of 999 parameters.
constexpr int MaxSqliteGroupRows = 64;
constexpr int MaxSqliteParameters = 999;

bool isIntegerType(int type) {
  return type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::Short;
}

bool isDateType(int type) { return type == QMetaType::QDateTime || type == QMetaType::QDate; }

std::optional<Dates::Stamp> dateIn(const Cell& c) {
  return Dates::parse(QStringView(QString::fromUtf8(c.bytes)).trimmed());
}

// An element of an array literal: always quoted, so that any text survives.
void appendQuoted(QByteArray& out, const QByteArray& text) {
  out += '"';
  for (const char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  out += '"';
}

QStringList namesOf(const QSqlRecord& record) {
  QStringList names;
  for (int i = 0; i < record.count(); ++i) names << record.fieldName(i);
  return names;
}

bool isNumberType(int type) {
  return type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::Short ||
         type == QMetaType::Double;
}

}  // namespace

// ---------------------------------------------------------------- Cell

Cell Cell::fromVariant(const QVariant& v) {
  if (v.isNull() || !v.isValid()) return {};
  switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Bool: return integer(v.toLongLong());
    case QMetaType::ULongLong: return integer(qint64(v.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float: return {Kind::Real, 0, v.toDouble(), {}};
    case QMetaType::QByteArray: return {Kind::Blob, 0, 0, v.toByteArray()};
    case QMetaType::QDateTime:
      return text(v.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    case QMetaType::QDate: return text(v.toDate().toString(Qt::ISODate));
    default: return text(v.toString());
  }
}

qint32 Cell::toInt() const {
  switch (kind) {
    case Kind::Int: return qint32(i);
    case Kind::Real: return qint32(qRound64(d));
    case Kind::Text: {
      bool ok = false;
      const qint64 n = bytes.trimmed().toLongLong(&ok);
      if (ok) return qint32(n);
      const double x = bytes.trimmed().toDouble(&ok);
      return ok ? qint32(qRound64(x)) : 0;
    }
    default: return 0;
  }
}

QString Cell::toString() const {
  switch (kind) {
    case Kind::Int: return QString::number(i);
    case Kind::Real: return QString::number(d, 'g', 15);
    case Kind::Text: return QString::fromUtf8(bytes);
    case Kind::Blob: return QString::fromLatin1(bytes);
    default: return {};
  }
}

QVariant Cell::toVariant() const {
  switch (kind) {
    case Kind::Int: return QVariant(i);
    case Kind::Real: return QVariant(d);
    case Kind::Text: return QVariant(QString::fromUtf8(bytes));
    case Kind::Blob: return QVariant(bytes);
    default: return QVariant(QMetaType::fromType<QString>());
  }
}

// ---------------------------------------------------------------- SQLite

sqlite3* sqliteHandle(const QSqlDatabase& db) {
  const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
    throw DataError(DataError::GenericNumber, sqliteSource, QStringLiteral("这个连接不是 SQLite 数据库。"));
  sqlite3* const h = *static_cast<sqlite3* const*>(handle.constData());
  if (!h) throw DataError(DataError::GenericNumber, sqliteSource, QStringLiteral("SQLite 数据库已关闭。"));
  return h;
}

SqliteStatement::SqliteStatement(const QSqlDatabase& db, const QString& sql) : db_(sqliteHandle(db)) {
  const QByteArray text = sql.toUtf8();
  if (sqlite3_prepare_v2(db_, text.constData(), int(text.size()), &stmt_, nullptr) != SQLITE_OK) raise();
}

SqliteStatement::~SqliteStatement() { sqlite3_finalize(stmt_); }

void SqliteStatement::raise() const {
  throw DataError(sqlite3_errcode(db_), sqliteSource,
                  withDetail(QStringLiteral("数据库操作失败。"), QString::fromUtf8(sqlite3_errmsg(db_))));
}

void SqliteStatement::bind(int i, const Cell& c) {
  int rc = SQLITE_OK;
  switch (c.kind) {
    case Cell::Kind::Null: rc = sqlite3_bind_null(stmt_, i + 1); break;
    case Cell::Kind::Int: rc = sqlite3_bind_int64(stmt_, i + 1, c.i); break;
    case Cell::Kind::Real: rc = sqlite3_bind_double(stmt_, i + 1, c.d); break;
    case Cell::Kind::Text:
      rc = sqlite3_bind_text(stmt_, i + 1, c.bytes.constData(), int(c.bytes.size()), SQLITE_TRANSIENT);
      break;
    case Cell::Kind::Blob:
      rc = sqlite3_bind_blob(stmt_, i + 1, c.bytes.constData(), int(c.bytes.size()), SQLITE_TRANSIENT);
      break;
  }
  if (rc != SQLITE_OK) raise();
}

void SqliteStatement::bindText16(int i, const char16_t* text, int units) {
  if (sqlite3_bind_text16(stmt_, i + 1, text, units * 2, SQLITE_TRANSIENT) != SQLITE_OK) raise();
}

bool SqliteStatement::step() {
  const int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  raise();
}

void SqliteStatement::reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int SqliteStatement::columnCount() const { return sqlite3_column_count(stmt_); }

QString SqliteStatement::columnName(int i) const { return QString::fromUtf8(sqlite3_column_name(stmt_, i)); }

void SqliteStatement::read(int i, Cell& c) const {
  switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
      c.kind = Cell::Kind::Int;
      c.i = sqlite3_column_int64(stmt_, i);
      break;
    case SQLITE_FLOAT:
      c.kind = Cell::Kind::Real;
      c.d = sqlite3_column_double(stmt_, i);
      break;
    case SQLITE_TEXT: {
      c.kind = Cell::Kind::Text;
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
      c.bytes = QByteArray(text, sqlite3_column_bytes(stmt_, i));
      break;
    }
    case SQLITE_BLOB: {
      c.kind = Cell::Kind::Blob;
      const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
      c.bytes = QByteArray(blob, sqlite3_column_bytes(stmt_, i));
      break;
    }
    default: c = Cell();
  }
}

// ---------------------------------------------------------------- Reader

Reader::Reader(const Connection& conn, const QString& sql) : conn_(conn), source_(conn.rowsOf(sql)) {
  if (source_) {
    names_ = source_->columns();
  } else if (conn.dialect() == Dialect::SQLite) {
    sqlite_ = std::make_unique<SqliteStatement>(conn.database(), sql);
    for (int i = 0; i < sqlite_->columnCount(); ++i) names_ << sqlite_->columnName(i);
  } else {
    query_ = std::make_unique<QSqlQuery>(conn.database());
    query_->setForwardOnly(true);
    if (!query_->exec(sql)) conn.raise(query_->lastError());
    names_ = namesOf(query_->record());
  }
  row_.resize(size_t(names_.size()));
}

Reader::Reader(const Connection& conn, std::unique_ptr<RowSource> rows) : conn_(conn), source_(std::move(rows)) {
  names_ = source_->columns();
  row_.resize(size_t(names_.size()));
}

Reader::~Reader() = default;

std::optional<int> Reader::findColumn(const QString& name) const {
  for (int i = 0; i < names_.size(); ++i)
    if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
  return std::nullopt;
}

int Reader::column(const QString& name) const {
  if (const std::optional<int> i = findColumn(name)) return *i;
  throw DataError(DataError::ItemNotFound, QStringLiteral("ADODB.Recordset"),
                  QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                                 "name or ordinal. (%1)").arg(name));
}

bool Reader::next() {
  if (source_) return source_->next(row_);
  if (sqlite_) {
    if (!sqlite_->step()) return false;
    for (int i = 0; i < names_.size(); ++i) sqlite_->read(i, row_[size_t(i)]);
    return true;
  }
  if (!query_->next()) {
    if (query_->lastError().isValid()) conn_.raise(query_->lastError());
    return false;
  }
  for (int i = 0; i < names_.size(); ++i) row_[size_t(i)] = Cell::fromVariant(query_->value(i));
  return true;
}

// ---------------------------------------------------------------- Writer

Writer::Writer(Connection& conn, const QString& table, const QStringList& columns, const QString& keyColumn,
               ReadBack readBack)
    : conn_(conn), dialect_(conn.dialect()), table_(table), columns_(columns), keyColumn_(keyColumn) {
  if (readBack == ReadBack::NotNeeded && keyColumn.isEmpty()) sink_ = conn.directRows(table, columns);
  if (sink_) return;
  if (dialect_ == Dialect::SQLite) {
    sqlite_ = std::make_unique<SqliteStatement>(conn.database(), sqliteInsert(1));
    if (keyColumn.isEmpty() && !columns.isEmpty())
      batchRows_ = std::min(MaxSqliteGroupRows, MaxSqliteParameters / int(columns.size()));
    return;
  }
  // Reserved keys travel as one more column.
  if (!keyColumn_.isEmpty() && dialect_ == Dialect::PostgreSQL) columns_ << keyColumn_;
  QSqlQuery layout(conn.database());
  if (!layout.exec(QStringLiteral("SELECT %1 FROM %2 WHERE 1=0").arg(columns_.join(','), table)))
    conn.raise(layout.lastError());
  const QSqlRecord record = layout.record();
  for (int i = 0; i < record.count(); ++i) types_ << record.field(i).metaType().id();
  if (dialect_ == Dialect::PostgreSQL) {
    batchRows_ = MaxArrayRows;
    arrays_.resize(size_t(columns_.size()));
    readColumnTypes();
    return;
  }
  batchRows_ = std::max(1, std::min(MaxRowsPerStatement,
                                    maxParameters(dialect_) / int(std::max<qsizetype>(1, columns_.size()))));
}

// The arrays are cast to the columns' own types as the server names them
// (without length limits, so that a text too long still fails the insert).
void Writer::readColumnTypes() {
  QSqlQuery q(conn_.database());
  q.setForwardOnly(true);
  if (!q.prepare(QStringLiteral("SELECT attname, format_type(atttypid, NULL) FROM pg_attribute "
                                "WHERE attrelid=CAST(? AS regclass) AND attnum>0 AND NOT attisdropped")))
    conn_.raise(q.lastError());
  q.addBindValue(table_);
  if (!q.exec()) conn_.raise(q.lastError());
  QHash<QString, QString> byName;
  while (q.next()) byName.insert(q.value(0).toString().toLower(), q.value(1).toString());
  for (const QString& column : std::as_const(columns_))
    serverTypes_ << byName.value(column.toLower(), QStringLiteral("text"));
}

Writer::~Writer() = default;

qint32 Writer::add(const Row& values) {
  if (sink_) {
    sink_->add(values);
    return 0;
  }
  if (sqlite_) {
    addSqlite(values);
    return keyColumn_.isEmpty() ? 0 : qint32(sqlite3_last_insert_rowid(sqlite_->handle()));
  }
  if (dialect_ == Dialect::PostgreSQL) {
    const qint32 key = keyColumn_.isEmpty() ? 0 : reserveKey();
    addToArrays(values, key);
    return key;
  }
  if (!keyColumn_.isEmpty()) return addSingle(values);
  pending_.push_back(values);
  if (int(pending_.size()) >= batchRows_) flush();
  return 0;
}

void Writer::addToArrays(const Row& values, qint32 key) {
  const size_t given = keyColumn_.isEmpty() ? arrays_.size() : arrays_.size() - 1;
  for (size_t i = 0; i < given; ++i) {
    const qsizetype before = arrays_[i].size();
    appendElement(arrays_[i], int(i), values[i]);
    arrayBytes_ += arrays_[i].size() - before;
  }
  if (given < arrays_.size()) appendElement(arrays_.back(), int(given), Cell::integer(key));
  if (++arrayRows_ >= batchRows_ || arrayBytes_ >= MaxArrayBytes) writeArrays();
}

QString Writer::sqliteInsert(int rows) const {
  if (columns_.isEmpty()) return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table_);
  const QString one = '(' + QStringLiteral("?,").repeated(columns_.size()).chopped(1) + ')';
  return QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
      .arg(table_, columns_.join(','), (one + ',').repeated(rows).chopped(1));
}

void Writer::addSqlite(const Row& values) {
  if (batchRows_ > 1) {
    pending_.push_back(values);
    if (int(pending_.size()) == batchRows_) writeSqliteGroup();
    return;
  }
  insertOne(values);
}

void Writer::insertOne(const Row& values) {
  for (int i = 0; i < columns_.size(); ++i) sqlite_->bind(i, values[size_t(i)]);
  sqlite_->step();
  sqlite_->reset();
}

void Writer::writeSqliteGroup() {
  if (!sqliteGroup_) sqliteGroup_ = std::make_unique<SqliteStatement>(conn_.database(), sqliteInsert(batchRows_));
  int at = 0;
  for (const Row& row : pending_)
    for (int i = 0; i < columns_.size(); ++i) sqliteGroup_->bind(at++, row[size_t(i)]);
  pending_.clear();
  sqliteGroup_->step();
  sqliteGroup_->reset();
}

// A row at a time where the key can only come back from the insert itself.
qint32 Writer::addSingle(const Row& values) {
  if (!single_) {
    single_ = std::make_unique<QSqlQuery>(conn_.database());
    if (!single_->prepare(Sql::insertReturning(dialect_, table_, columns_, keyColumn_))) conn_.raise(single_->lastError());
  }
  for (int i = 0; i < columns_.size(); ++i) single_->bindValue(i, serverValue(i, values[size_t(i)]));
  if (!single_->exec()) conn_.raise(single_->lastError());
  const qint32 key = single_->next() ? single_->value(0).toInt() : 0;
  single_->finish();
  return key;
}

// PostgreSQL hands out a block of the identity's numbers in one statement.
qint32 Writer::reserveKey() {
  if (nextReserved_ == reserved_.size()) {
    reserved_.clear();
    nextReserved_ = 0;
    QSqlQuery q(conn_.database());
    q.setForwardOnly(true);
    if (sequence_.isEmpty()) {
      // The column is taken as written, not as an identifier: the folded name.
      if (!q.exec(QStringLiteral("SELECT pg_get_serial_sequence('%1','%2')").arg(table_, keyColumn_.toLower())) ||
          !q.next())
        conn_.raise(q.lastError());
      sequence_ = q.value(0).toString();
    }
    if (!q.exec(QStringLiteral("SELECT nextval('%1') FROM generate_series(1,%2)").arg(sequence_).arg(batchRows_)))
      conn_.raise(q.lastError());
    while (q.next()) reserved_.push_back(q.value(0).toInt());
    if (reserved_.empty())
      throw DataError(DataError::GenericNumber, conn_.database().driverName(),
                      QStringLiteral("表 %1 得不到新的编号。").arg(table_));
  }
  return reserved_[nextReserved_++];
}

QString Writer::batchStatement(int rows) const {
  QStringList marks;
  for (int i = 0; i < columns_.size(); ++i)
    marks << (types_.value(i) == QMetaType::QDateTime && dialect_ == Dialect::PostgreSQL
                  ? QStringLiteral("CAST(? AS TIMESTAMP)")
                  : QStringLiteral("?"));
  const QString one = '(' + marks.join(',') + ')';
  QString values;
  values.reserve((one.size() + 1) * rows);
  for (int r = 0; r < rows; ++r) values += (r ? QStringLiteral(",") : QString()) + one;
  return QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(table_, columns_.join(','), values);
}

// What a server column is given: text dates and numbers turned into the
// column's type, as the recordset did.
QVariant Writer::serverValue(int column, const Cell& c) const {
  const int target = types_.value(column, QMetaType::UnknownType);
  if (c.kind == Cell::Kind::Text && isDateType(target)) {
    if (const std::optional<Dates::Stamp> s = dateIn(c))
      return QDateTime(QDate(s->year, s->month, s->day), QTime(s->hour, s->minute, s->second, s->msec),
                       Qt::UTC);
    return c.toString();
  }
  if (c.kind == Cell::Kind::Text && isNumberType(target)) {
    bool ok = false;
    const double d = QString::fromUtf8(c.bytes).toDouble(&ok);
    if (ok) return target == QMetaType::Double ? QVariant(d) : QVariant(static_cast<qlonglong>(d));
  }
  return c.toVariant();
}

// One element of a column's array literal, converted as serverValue does.
void Writer::appendElement(QByteArray& array, int column, const Cell& c) const {
  if (!array.isEmpty()) array += ',';
  const int target = types_.value(column, QMetaType::UnknownType);
  switch (c.kind) {
    case Cell::Kind::Null: array += "NULL"; return;
    case Cell::Kind::Int: array += QByteArray::number(c.i); return;
    case Cell::Kind::Real:
      // The server rounds a double stored into an integer column half to even.
      if (isIntegerType(target))
        array += QByteArray::number(qint64(std::nearbyint(c.d)));
      else if (target == QMetaType::Double)
        array += QByteArray::number(c.d, 'g', 17);
      else
        appendQuoted(array, c.toString().toUtf8());
      return;
    case Cell::Kind::Blob: appendQuoted(array, "\\x" + c.bytes.toHex()); return;
    case Cell::Kind::Text: break;
  }
  if (isDateType(target)) {
    if (const std::optional<Dates::Stamp> s = dateIn(c)) {
      QByteArray text = Dates::text(*s).toLatin1();
      if (s->msec) text += '.' + QByteArray::number(s->msec).rightJustified(3, '0');
      appendQuoted(array, text);
      return;
    }
  }
  const QVariant converted = isNumberType(target) ? serverValue(column, c) : QVariant();
  if (converted.isValid() && converted.typeId() != QMetaType::QString)
    array += converted.toString().toUtf8();
  else
    appendQuoted(array, c.bytes);
}

QString Writer::arrayStatement() const {
  QStringList arrays;
  for (const QString& type : serverTypes_) arrays << QStringLiteral("CAST(? AS %1[])").arg(type);
  return QStringLiteral("INSERT INTO %1 (%2) SELECT * FROM unnest(%3)").arg(table_, columns_.join(','), arrays.join(','));
}

void Writer::writeArrays() {
  if (arrayRows_ == 0) return;
  if (!arrayInsert_) {
    arrayInsert_ = std::make_unique<QSqlQuery>(conn_.database());
    if (!arrayInsert_->prepare(arrayStatement())) conn_.raise(arrayInsert_->lastError());
  }
  for (size_t i = 0; i < arrays_.size(); ++i) {
    arrayInsert_->bindValue(int(i), QString::fromUtf8('{' + arrays_[i] + '}'));
    arrays_[i].resize(0);
  }
  arrayRows_ = 0;
  arrayBytes_ = 0;
  if (!arrayInsert_->exec()) conn_.raise(arrayInsert_->lastError());
}

void Writer::writeBatch(int rows) {
  std::unique_ptr<QSqlQuery> tail;
  QSqlQuery* q = fullBatch_.get();
  if (rows != batchRows_ || !q) {
    auto prepared = std::make_unique<QSqlQuery>(conn_.database());
    if (!prepared->prepare(batchStatement(rows))) conn_.raise(prepared->lastError());
    q = prepared.get();
    if (rows == batchRows_)
      fullBatch_ = std::move(prepared);
    else
      tail = std::move(prepared);
  }
  int at = 0;
  for (int r = 0; r < rows; ++r)
    for (int i = 0; i < columns_.size(); ++i) q->bindValue(at++, serverValue(i, pending_[size_t(r)][size_t(i)]));
  if (!q->exec()) conn_.raise(q->lastError());
}

void Writer::flush() {
  if (sqlite_) {
    // The rows short of a group go one by one.
    for (const Row& row : pending_) insertOne(row);
    pending_.clear();
    return;
  }
  writeArrays();
  if (!pending_.empty()) writeBatch(int(pending_.size()));
  pending_.clear();
  returnUnusedKeys();
}

// The next import then continues where this one ended, as it did when every
// row drew its own number. Only a block nobody else drew from in between is
// handed back.
void Writer::returnUnusedKeys() {
  if (nextReserved_ >= reserved_.size()) return;
  const qint64 first = reserved_[nextReserved_];
  const qint64 last = reserved_.back();
  const bool contiguous = last - first + 1 == qint64(reserved_.size() - nextReserved_);
  reserved_.clear();
  nextReserved_ = 0;
  if (!contiguous) return;
  QSqlQuery q(conn_.database());
  if (!q.exec(QStringLiteral("SELECT setval('%1', %2, false) FROM %1 WHERE last_value=%3").arg(sequence_).arg(first).arg(last)))
    conn_.raise(q.lastError());
}

// ---------------------------------------------------------------- updates

void updateColumn(const Connection& conn, const QString& table, const QString& keyColumn, const QString& column,
                  const std::vector<std::pair<qint32, QString>>& values) {
  if (values.empty()) return;
  const QString single = QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?").arg(table, column, keyColumn);
  if (conn.dialect() == Dialect::SQLite) {
    SqliteStatement update(conn.database(), single);
    for (const auto& [key, text] : values) {
      update.bind(0, Cell::text(text));
      update.bind(1, Cell::integer(key));
      update.step();
      update.reset();
    }
    return;
  }
  if (conn.dialect() != Dialect::PostgreSQL) {
    QSqlQuery update(conn.database());
    if (!update.prepare(single)) conn.raise(update.lastError());
    for (const auto& [key, text] : values) {
      update.bindValue(0, text);
      update.bindValue(1, key);
      if (!update.exec()) conn.raise(update.lastError());
    }
    return;
  }
  constexpr size_t rowsPerStatement = 500;
  for (size_t from = 0; from < values.size(); from += rowsPerStatement) {
    const size_t rows = std::min(rowsPerStatement, values.size() - from);
    QStringList marks;
    for (size_t r = 0; r < rows; ++r) marks << QStringLiteral("(CAST(? AS INTEGER),CAST(? AS TEXT))");
    QSqlQuery update(conn.database());
    if (!update.prepare(QStringLiteral("UPDATE %1 SET %2=v.c FROM (VALUES %4) AS v(k,c) WHERE %1.%3=v.k")
                            .arg(table, column, keyColumn, marks.join(','))))
      conn.raise(update.lastError());
    int at = 0;
    for (size_t r = from; r < from + rows; ++r) {
      update.bindValue(at++, values[r].first);
      update.bindValue(at++, values[r].second);
    }
    if (!update.exec()) conn.raise(update.lastError());
  }
}

}  // namespace Bulk
