#include "data/PostgresBackend.h"

#include <QHash>

#include <cmath>

#include "data/DataError.h"
#include "data/DateValue.h"

namespace {

// Rows per array statement, and the text the arrays may hold before they are
// sent, so that memory stays flat with long memo values.
constexpr int MaxArrayRows = 20000;
constexpr qsizetype MaxArrayBytes = 16 << 20;
// Rows per statement of a column update.
constexpr size_t UpdateRowsPerStatement = 500;
// The advisory lock that imports take turns on ("Corv").
constexpr qint64 ImportLockKey = 0x436F7276;

// An element of an array literal: always quoted, so that any text survives.
void appendQuoted(QByteArray& out, const QByteArray& text) {
  out += '"';
  for (const char ch : text) {
    if (ch == '"' || ch == '\\') out += '\\';
    out += ch;
  }
  out += '"';
}

// Inserts rows, or with Use::UpdateByKey sets the columns of the rows whose
// key (the first column given) matches: the same arrays either way.
class ArrayRows : public Bulk::TableWriter {
 public:
  enum class Use { Insert, UpdateByKey };
  ArrayRows(const OdbcConnection& conn, const QString& table, const QStringList& columns, const QString& keyColumn,
            Use use = Use::Insert)
      : conn_(conn), table_(table), columns_(columns), keyColumn_(keyColumn), use_(use) {
    // Reserved keys travel as one more column.
    if (!keyColumn_.isEmpty()) columns_ << keyColumn_;
    arrays_.resize(size_t(columns_.size()));
  }
  qint32 add(const Bulk::Row& values) override {
    // A writer given no rows asks the server nothing.
    if (!prepared_) {
      kinds_ = OdbcRows::columnKinds(conn_, table_, columns_);
      readServerTypes();
      prepared_ = true;
    }
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
    Odbc::Statement q(conn_.handle(), QStringLiteral("SELECT attname, format_type(atttypid, NULL) FROM pg_attribute "
                                                     "WHERE attrelid=CAST(? AS regclass) AND attnum>0 AND NOT attisdropped"));
    q.bind(0, Bulk::Cell::text(table_));
    q.execute();
    QHash<QString, QString> byName;
    Bulk::Cell name, type;
    while (q.fetch()) {
      q.read(0, name);
      q.read(1, type);
      byName.insert(name.toString().toLower(), type.toString());
    }
    for (const QString& column : std::as_const(columns_))
      serverTypes_ << byName.value(column.toLower(), QStringLiteral("text"));
  }

  // One element of a column's array literal, converted as OdbcRows::value does.
  void appendElement(QByteArray& array, int column, const Bulk::Cell& c) const {
    if (!array.isEmpty()) array += ',';
    const Odbc::ValueKind target = kinds_[size_t(column)];
    switch (c.kind) {
      case Bulk::Cell::Kind::Null: array += "NULL"; return;
      case Bulk::Cell::Kind::Int: array += QByteArray::number(c.i); return;
      case Bulk::Cell::Kind::Real:
        // The server rounds a double stored into an integer column half to even.
        if (target == Odbc::ValueKind::Integer)
          array += QByteArray::number(qint64(std::nearbyint(c.d)));
        else if (target == Odbc::ValueKind::Real)
          array += QByteArray::number(c.d, 'g', 17);
        else
          appendQuoted(array, c.toString().toUtf8());
        return;
      case Bulk::Cell::Kind::Blob: appendQuoted(array, "\\x" + c.bytes.toHex()); return;
      case Bulk::Cell::Kind::Text: break;
    }
    if (target == Odbc::ValueKind::Date) {
      if (const std::optional<Dates::Stamp> s = Dates::parse(QStringView(QString::fromUtf8(c.bytes)).trimmed())) {
        QByteArray text = Dates::text(*s).toLatin1();
        if (s->msec) text += '.' + QByteArray::number(s->msec).rightJustified(3, '0');
        appendQuoted(array, text);
        return;
      }
    }
    bool number = false;
    const double d = target == Odbc::ValueKind::Integer || target == Odbc::ValueKind::Real
                         ? QString::fromUtf8(c.bytes).toDouble(&number)
                         : 0;
    if (!number)
      appendQuoted(array, c.bytes);
    else if (target == Odbc::ValueKind::Real)
      array += QByteArray::number(d, 'g', 17);
    else
      array += QByteArray::number(static_cast<qint64>(d));
  }

  void writeArrays() {
    if (arrayRows_ == 0) return;
    if (!insert_) insert_ = std::make_unique<Odbc::Statement>(conn_.handle(), statement());
    for (size_t i = 0; i < arrays_.size(); ++i) {
      insert_->bind(int(i), Bulk::Cell{Bulk::Cell::Kind::Text, 0, 0, '{' + arrays_[i] + '}'});
      arrays_[i].resize(0);
    }
    arrayRows_ = 0;
    arrayBytes_ = 0;
    insert_->execute();
  }

  QString statement() const {
    QStringList arrays;
    for (const QString& type : std::as_const(serverTypes_)) arrays << QStringLiteral("CAST(? AS %1[])").arg(type);
    const QString rows = QStringLiteral("SELECT * FROM unnest(%1)").arg(arrays.join(','));
    if (use_ == Use::Insert) return QStringLiteral("INSERT INTO %1 (%2) %3").arg(table_, columns_.join(','), rows);
    QStringList sets;
    for (qsizetype i = 1; i < columns_.size(); ++i) sets << QStringLiteral("%1=s.%1").arg(columns_[i]);
    return QStringLiteral("UPDATE %1 SET %2 FROM (%3) AS s(%4) WHERE %1.%5=s.%5")
        .arg(table_, sets.join(','), rows, columns_.join(','), columns_.first());
  }

  // The server hands out a block of the identity's numbers in one statement.
  qint32 reserveKey() {
    if (nextReserved_ == reserved_.size()) {
      reserved_.clear();
      nextReserved_ = 0;
      if (sequence_.isEmpty())
        // The column is taken as written, not as an identifier: the folded name.
        sequence_ = conn_.firstValue(QStringLiteral("SELECT pg_get_serial_sequence(?,?)"),
                                     {Bulk::Cell::text(table_), Bulk::Cell::text(keyColumn_.toLower())})
                        .toString();
      Odbc::Statement q(conn_.handle(), QStringLiteral("SELECT nextval(CAST(? AS regclass)) FROM generate_series(1,%1)").arg(MaxArrayRows));
      q.bind(0, Bulk::Cell::text(sequence_));
      q.execute();
      Bulk::Cell key;
      while (q.fetch()) {
        q.read(0, key);
        reserved_.push_back(key.toInt());
      }
      if (reserved_.empty())
        throw DataError(QStringLiteral("QODBC"), QStringLiteral("表 %1 得不到新的编号。").arg(table_));
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
    conn_.firstValue(QStringLiteral("SELECT setval('%1', %2, false) FROM %1 WHERE last_value=%3").arg(sequence_).arg(first).arg(last));
  }

  const OdbcConnection& conn_;
  QString table_;
  QStringList columns_;
  QString keyColumn_;
  Use use_;
  bool prepared_ = false;
  std::vector<Odbc::ValueKind> kinds_;
  QStringList serverTypes_;
  std::vector<QByteArray> arrays_;
  int arrayRows_ = 0;
  qsizetype arrayBytes_ = 0;
  std::unique_ptr<Odbc::Statement> insert_;
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
    Bulk::Row params;
    for (size_t r = from; r < from + rows; ++r)
      params.insert(params.end(), {Bulk::Cell::integer(values[r].first), Bulk::Cell::text(values[r].second)});
    run(QStringLiteral("UPDATE %1 SET %2=v.c FROM (VALUES %4) AS v(k,c) WHERE %1.%3=v.k")
            .arg(table, column, keyColumn,
                 QStringList(qsizetype(rows), QStringLiteral("(CAST(? AS INTEGER),CAST(? AS TEXT))")).join(',')),
        params);
  }
}

// One statement per array block: the rows travel as arrays and are joined
// to the table by key, without a table to stage them in.
void PostgresConnection::updateRows(const QString& table, const QString& keyColumn, const QStringList& columns,
                                    const std::vector<Bulk::Row>& rows) {
  if (rows.empty() || columns.isEmpty()) return;
  ArrayRows update(*this, table, QStringList{keyColumn} + columns, {}, ArrayRows::Use::UpdateByKey);
  for (const Bulk::Row& row : rows) update.add(row);
  update.flush();
}

// An advisory lock of the transaction, tried again a quarter of a second at
// a time while another import holds it.
void PostgresConnection::lockImports(const std::function<void()>& waiting, const std::function<void()>& checkCancel) {
  const QString attempt = QStringLiteral("SELECT CAST(pg_try_advisory_xact_lock(%1) AS INTEGER)").arg(ImportLockKey);
  if (firstValue(attempt).toInt()) return;
  waiting();
  do {
    checkCancel();
  } while (!firstValue(attempt + QStringLiteral(" FROM (SELECT pg_sleep(0.25)) AS pause")).toInt());
}
