#include "data/PostgresBackend.h"

#include <QHash>
#include <QSqlError>

#include <cmath>

#include "data/DataError.h"
#include "data/DateValue.h"

namespace {

// Rows per array statement, and the text the arrays may hold before they are
// sent, so that memory stays flat with long memo values.
constexpr int MaxArrayRows = 5000;
constexpr qsizetype MaxArrayBytes = 4 << 20;
// Rows per statement of a column update.
constexpr size_t UpdateRowsPerStatement = 500;

// An element of an array literal: always quoted, so that any text survives.
void appendQuoted(QByteArray& out, const QByteArray& text) {
  out += '"';
  for (const char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  out += '"';
}

class ArrayRows : public Bulk::TableWriter {
 public:
  ArrayRows(const Connection& conn, const QString& table, const QStringList& columns, const QString& keyColumn)
      : conn_(conn), table_(table), columns_(columns), keyColumn_(keyColumn) {
    // Reserved keys travel as one more column.
    if (!keyColumn_.isEmpty()) columns_ << keyColumn_;
    types_ = OdbcRows::columnTypes(conn, table, columns_);
    arrays_.resize(size_t(columns_.size()));
    readServerTypes();
  }
  qint32 add(const Bulk::Row& values) override {
    const qint32 key = keyColumn_.isEmpty() ? 0 : reserveKey();
    const size_t given = keyColumn_.isEmpty() ? arrays_.size() : arrays_.size() - 1;
    for (size_t i = 0; i < given; ++i) {
      const qsizetype before = arrays_[i].size();
      appendElement(arrays_[i], int(i), values[i]);
      arrayBytes_ += arrays_[i].size() - before;
    }
    if (given < arrays_.size()) appendElement(arrays_.back(), int(given), Bulk::Cell::integer(key));
    if (++arrayRows_ >= MaxArrayRows || arrayBytes_ >= MaxArrayBytes) writeArrays();
    return key;
  }
  void flush() override {
    writeArrays();
    returnUnusedKeys();
  }

 private:
  // The arrays are cast to the columns' own types as the server names them
  // (without length limits, so that a text too long still fails the insert).
  void readServerTypes() {
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

  // One element of a column's array literal, converted as OdbcRows::value does.
  void appendElement(QByteArray& array, int column, const Bulk::Cell& c) const {
    if (!array.isEmpty()) array += ',';
    const int target = types_.value(column, QMetaType::UnknownType);
    switch (c.kind) {
      case Bulk::Cell::Kind::Null: array += "NULL"; return;
      case Bulk::Cell::Kind::Int: array += QByteArray::number(c.i); return;
      case Bulk::Cell::Kind::Real:
        // The server rounds a double stored into an integer column half to even.
        if (OdbcRows::isIntegerType(target))
          array += QByteArray::number(qint64(std::nearbyint(c.d)));
        else if (target == QMetaType::Double)
          array += QByteArray::number(c.d, 'g', 17);
        else
          appendQuoted(array, c.toString().toUtf8());
        return;
      case Bulk::Cell::Kind::Blob: appendQuoted(array, "\\x" + c.bytes.toHex()); return;
      case Bulk::Cell::Kind::Text: break;
    }
    if (OdbcRows::isDateType(target)) {
      if (const std::optional<Dates::Stamp> s = Dates::parse(QStringView(QString::fromUtf8(c.bytes)).trimmed())) {
        QByteArray text = Dates::text(*s).toLatin1();
        if (s->msec) text += '.' + QByteArray::number(s->msec).rightJustified(3, '0');
        appendQuoted(array, text);
        return;
      }
    }
    const QVariant converted = OdbcRows::isNumberType(target) ? OdbcRows::value(target, c) : QVariant();
    if (converted.isValid() && converted.typeId() != QMetaType::QString)
      array += converted.toString().toUtf8();
    else
      appendQuoted(array, c.bytes);
  }

  void writeArrays() {
    if (arrayRows_ == 0) return;
    if (!insert_) {
      QStringList arrays;
      for (const QString& type : std::as_const(serverTypes_)) arrays << QStringLiteral("CAST(? AS %1[])").arg(type);
      insert_ = std::make_unique<QSqlQuery>(conn_.database());
      if (!insert_->prepare(QStringLiteral("INSERT INTO %1 (%2) SELECT * FROM unnest(%3)")
                                .arg(table_, columns_.join(','), arrays.join(','))))
        conn_.raise(insert_->lastError());
    }
    for (size_t i = 0; i < arrays_.size(); ++i) {
      insert_->bindValue(int(i), QString::fromUtf8('{' + arrays_[i] + '}'));
      arrays_[i].resize(0);
    }
    arrayRows_ = 0;
    arrayBytes_ = 0;
    if (!insert_->exec()) conn_.raise(insert_->lastError());
  }

  // The server hands out a block of the identity's numbers in one statement.
  qint32 reserveKey() {
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
      if (!q.exec(QStringLiteral("SELECT nextval('%1') FROM generate_series(1,%2)").arg(sequence_).arg(MaxArrayRows)))
        conn_.raise(q.lastError());
      while (q.next()) reserved_.push_back(q.value(0).toInt());
      if (reserved_.empty())
        throw DataError(conn_.database().driverName(), QStringLiteral("表 %1 得不到新的编号。").arg(table_));
    }
    return reserved_[nextReserved_++];
  }

  // The next import then continues where this one ended, as it did when every
  // row drew its own number. Only a block nobody else drew from in between is
  // handed back.
  void returnUnusedKeys() {
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

  const Connection& conn_;
  QString table_;
  QStringList columns_;
  QString keyColumn_;
  QVector<int> types_;
  QStringList serverTypes_;
  std::vector<QByteArray> arrays_;
  int arrayRows_ = 0;
  qsizetype arrayBytes_ = 0;
  std::unique_ptr<QSqlQuery> insert_;
  QString sequence_;
  std::vector<qint32> reserved_;
  size_t nextReserved_ = 0;
};

}  // namespace

PostgresConnection::PostgresConnection(const QString& connectString)
    : OdbcConnection(connectString, Dialect::PostgreSQL) {}

// Rows the caller looks up at once go one by one, their key from RETURNING.
std::unique_ptr<Bulk::TableWriter> PostgresConnection::writer(const QString& table, const QStringList& columns,
                                                              const QString& keyColumn, Bulk::ReadBack readBack) {
  if (readBack == Bulk::ReadBack::AtOnce)
    return std::make_unique<OdbcRows::SingleRows>(*this, table, columns, keyColumn);
  return std::make_unique<ArrayRows>(*this, table, columns, keyColumn);
}

// A few hundred rows per statement, joined to the table by key.
void PostgresConnection::updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                                      const std::vector<std::pair<qint32, QString>>& values) {
  for (size_t from = 0; from < values.size(); from += UpdateRowsPerStatement) {
    const size_t rows = std::min(UpdateRowsPerStatement, values.size() - from);
    QStringList marks;
    for (size_t r = 0; r < rows; ++r) marks << QStringLiteral("(CAST(? AS INTEGER),CAST(? AS TEXT))");
    QSqlQuery update(database());
    if (!update.prepare(QStringLiteral("UPDATE %1 SET %2=v.c FROM (VALUES %4) AS v(k,c) WHERE %1.%3=v.k")
                            .arg(table, column, keyColumn, marks.join(','))))
      raise(update.lastError());
    int at = 0;
    for (size_t r = from; r < from + rows; ++r) {
      update.bindValue(at++, values[r].first);
      update.bindValue(at++, values[r].second);
    }
    if (!update.exec()) raise(update.lastError());
  }
}
