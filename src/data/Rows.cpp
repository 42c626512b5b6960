#include "data/Rows.h"

#include <QDateTime>

#include "data/Connection.h"
#include "data/DataError.h"

namespace Bulk {

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

// ---------------------------------------------------------------- Query

namespace {
const QString querySource = QStringLiteral("Query");
}

Query::Query(std::unique_ptr<RowSource> rows) : rows_(std::move(rows)), names_(rows_->columns()) {
  row_.resize(size_t(names_.size()));
}

Query::Query(Query&&) noexcept = default;
Query& Query::operator=(Query&&) noexcept = default;
Query::~Query() = default;

std::optional<int> Query::findColumn(const QString& name) const {
  for (int i = 0; i < names_.size(); ++i)
    if (names_[i].compare(name, Qt::CaseInsensitive) == 0) return i;
  return std::nullopt;
}

int Query::column(const QString& name) const {
  if (const std::optional<int> i = findColumn(name)) return *i;
  throw DataError(querySource, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                              "requested name or ordinal. (%1)").arg(name));
}

bool Query::next() {
  started_ = true;
  onRow_ = rows_ && rows_->next(row_);
  if (onRow_) any_ = true;
  // One statement at a time on a connection: a finished one goes at once.
  if (!onRow_) rows_.reset();
  return onRow_;
}

bool Query::empty() {
  if (!started_) next();
  return !any_;
}

const Row& Query::row() const {
  if (!onRow_)
    throw DataError(querySource, QStringLiteral("Either BOF or EOF is True, or the current record has been "
                                                "deleted. Requested operation requires a current record."));
  return row_;
}

const Cell& Query::at(int i) const {
  const Row& current = row();
  if (i < 0 || i >= int(current.size()))
    throw DataError(querySource, QStringLiteral("Item cannot be found in the collection corresponding to the "
                                                "requested name or ordinal."));
  return current[size_t(i)];
}

// ---------------------------------------------------------------- Writer

Writer::Writer(Connection& conn, const QString& table, const QStringList& columns, const QString& keyColumn,
               ReadBack readBack)
    : backend_(conn.writer(table, columns, keyColumn, readBack)) {}

Writer::Writer(Writer&&) noexcept = default;
Writer::~Writer() = default;

}  // namespace Bulk
