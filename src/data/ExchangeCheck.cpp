#include "data/ExchangeCheck.h"

#include <sqlite3.h>

#include <QDate>
#include <QFileInfo>
#include <QTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QVariant>

#include <cmath>
#include <limits>
#include <optional>

#include "data/DataError.h"
#include "data/SqliteBackend.h"
#include "data/Schema.h"

namespace ExchangeCheck {
namespace {

using Schema::ColumnType;

QString quoted(const QString& identifier) {
  QString q = identifier;
  q.replace('"', QLatin1String("\"\""));
  return '"' + q + '"';
}

// The value as a user could recognise it in a message.
// Control characters are written as escapes, so that the message shows
// where a NUL sits instead of ending there.
QString shown(const Bulk::Cell& v) {
  if (v.kind == Bulk::Cell::Kind::Blob) return QStringLiteral("二进制数据");
  const QString text = v.toString();
  QString out;
  for (const QChar c : text.left(20))
    out += c.unicode() < 0x20 ? QStringLiteral("\\x%1").arg(int(c.unicode()), 2, 16, QLatin1Char('0')) : QString(c);
  return text.size() > 20 ? out + QStringLiteral("…") : out;
}

bool isWholeNumber(const Bulk::Cell& v, double* number) {
  if (v.kind == Bulk::Cell::Kind::Int) {
    *number = double(v.i);
    return true;
  }
  if (v.kind == Bulk::Cell::Kind::Real) {
    *number = v.d;
    return std::isfinite(*number) && std::trunc(*number) == *number;
  }
  return false;
}

// Digits at text[at, at + count), as a number; -1 when any is no digit.
int digits(QStringView text, qsizetype at, qsizetype count) {
  if (at + count > text.size()) return -1;
  int n = 0;
  for (qsizetype i = at; i < at + count; ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return -1;
    n = n * 10 + (c - u'0');
  }
  return n;
}

// The first year an Access file can hold; its last, 9999, is the most four
// digits can say.
constexpr int kFirstAccessYear = 100;

// "yyyy-MM-dd", optionally followed by " HH:mm", ":ss" and ".zzz" (a T for
// the space too): the forms the exchange files carry. Parsed by hand, as the
// check runs over every row.
bool isDateText(QStringView text) {
  const qsizetype n = text.size();
  if (n < 10 || text[4] != '-' || text[7] != '-' || !QDate(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2)).isValid())
    return false;
  if (n == 10) return true;
  if ((text[10] != ' ' && text[10] != 'T') || n < 16 || text[13] != ':') return false;
  const int hour = digits(text, 11, 2), minute = digits(text, 14, 2);
  int second = 0, millisecond = 0;
  if (n > 16) {
    if (text[16] != ':' || n < 19) return false;
    second = digits(text, 17, 2);
    if (n > 19) {
      if (text[19] != '.' || n == 20 || n > 23) return false;
      millisecond = digits(text, 20, n - 20);
    }
  }
  return QTime::isValid(hour, minute, second, millisecond < 0 ? -1 : millisecond);
}

// Characters (code points) of UTF-8 text: every byte that does not continue one.
qsizetype characters(const QByteArray& utf8) {
  qsizetype count = 0;
  for (const char c : utf8) count += (quint8(c) & 0xC0) == 0x80 ? 0 : 1;
  return count;
}

// Why a date an exchange file carries cannot travel, or nothing.
std::optional<QString> dateFault(QStringView text) {
  if (!isDateText(text)) return QStringLiteral("不是日期");
  if (digits(text, 0, 4) < kFirstAccessYear) return QStringLiteral("早于 Access 文件能存的最早日期 0100-01-01");
  return std::nullopt;
}

// Length of the UTF-8 sequence a lead byte starts (0: no lead byte) and the
// lowest code point it may encode, so that overlong forms are told apart.
int sequenceLength(quint8 lead, char32_t* lowest) {
  struct Form {
    quint8 first, last;
    int length;
    char32_t lowest;
  };
  static constexpr Form forms[] = {{0x00, 0x7F, 1, 0}, {0xC2, 0xDF, 2, 0x80}, {0xE0, 0xEF, 3, 0x800}, {0xF0, 0xF4, 4, 0x10000}};
  for (const Form& f : forms) {
    if (lead < f.first || lead > f.last) continue;
    *lowest = f.lowest;
    return f.length;
  }
  return 0;
}

// Text an Access file can hold, and every backend stores as it is: no NUL
// (PostgreSQL takes none, and it ends a text elsewhere) and well-formed
// UTF-8 without encoded surrogates.
std::optional<QString> textFault(const QByteArray& utf8) {
  const auto* bytes = reinterpret_cast<const quint8*>(utf8.constData());
  const qsizetype n = utf8.size();
  for (qsizetype i = 0; i < n;) {
    if (bytes[i] == 0) return QStringLiteral("含有空字符（NUL）");
    char32_t lowest = 0;
    const int length = sequenceLength(bytes[i], &lowest);
    if (length == 0 || i + length > n) return QStringLiteral("不是有效的 UTF-8 文本");
    char32_t code = length == 1 ? bytes[i] : bytes[i] & (0x7F >> length);
    for (int k = 1; k < length; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) return QStringLiteral("不是有效的 UTF-8 文本");
      code = (code << 6) | (bytes[i + k] & 0x3F);
    }
    if (code < lowest || code > 0x10FFFF) return QStringLiteral("不是有效的 UTF-8 文本");
    if (code >= 0xD800 && code <= 0xDFFF) return QStringLiteral("含有不成对的代理字符");
    i += length;
  }
  return std::nullopt;
}

// The same for text that arrives as UTF-16.
std::optional<QString> textFault(QStringView text) {
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c.isNull()) return QStringLiteral("含有空字符（NUL）");
    if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
      ++i;
      continue;
    }
    if (c.isSurrogate()) return QStringLiteral("含有不成对的代理字符");
  }
  return std::nullopt;
}

// Characters (code points) of UTF-16 text.
qsizetype characters(QStringView text) {
  qsizetype surrogates = 0;
  for (const QChar c : text) surrogates += c.isLowSurrogate() ? 1 : 0;
  return text.size() - surrogates;
}

// Why a value does not fit its column, or nothing when it does.
std::optional<QString> misfit(const Schema::Column& column, const Bulk::Cell& v) {
  using Kind = Bulk::Cell::Kind;
  if (v.isNull()) return std::nullopt;
  const bool isText = v.kind == Kind::Text;
  switch (column.type) {
    case ColumnType::Id:
    case ColumnType::Int:
    case ColumnType::Small: {
      double n = 0;
      if (!isWholeNumber(v, &n)) return QStringLiteral("不是整数");
      const double low = column.type == ColumnType::Small ? -32768.0 : double(std::numeric_limits<qint32>::min());
      const double high = column.type == ColumnType::Small ? 32767.0 : double(std::numeric_limits<qint32>::max());
      if (n < low || n > high) return QStringLiteral("超出范围");
      return std::nullopt;
    }
    case ColumnType::Real:
      if (v.kind == Kind::Real ? std::isfinite(v.d) : v.kind == Kind::Int) return std::nullopt;
      return QStringLiteral("不是数字");
    case ColumnType::Text:
      if (!isText) return QStringLiteral("不是文本");
      if (std::optional<QString> fault = textFault(v.bytes)) return fault;
      // A character takes at least one byte: only long texts need counting.
      if (column.size > 0 && v.bytes.size() > column.size && characters(v.bytes) > column.size)
        return QStringLiteral("超过 %1 个字符").arg(column.size);
      return std::nullopt;
    case ColumnType::Memo:
      if (!isText) return QStringLiteral("不是文本");
      return textFault(v.bytes);
    case ColumnType::Date:
      if (!isText) return QStringLiteral("不是日期");
      return dateFault(QString::fromUtf8(v.bytes));
  }
  return std::nullopt;
}

// The rows are checked as an Access file's are on their way in.
std::optional<QString> firstMisfit(SqliteStatement& q, RowCheck& check, int columns) {
  Bulk::Cell v;
  for (; q.step(); check.nextRow()) {
    for (int i = 0; i < columns; ++i) {
      q.read(i, v);
      if (std::optional<QString> why = check.misfit(i, v)) return why;
    }
  }
  return std::nullopt;
}

void checkTable(const QSqlDatabase& db, const Schema::Table& table, const QString& path) {
  const QSqlRecord record = db.record(table.name);
  QStringList columns;
  QStringList names;
  for (const Schema::Column& c : table.columns) {
    if (record.indexOf(c.name) < 0) continue;  // the import names missing columns itself
    columns << c.name;
    names << quoted(c.name);
  }
  if (columns.isEmpty()) return;
  std::optional<QString> problem;
  try {
    SqliteStatement q(db, QStringLiteral("SELECT %1 FROM %2").arg(names.join(", "), quoted(table.name)));
    RowCheck check(table.name, columns);
    problem = firstMisfit(q, check, int(columns.size()));
  } catch (const DataError& e) {
    if (e.source() != QLatin1String("QSQLITE")) throw;
    refuse(path, QStringLiteral("表 %1 不能读取：%2").arg(table.name, e.description()));
  }
  if (problem) refuse(path, *problem);
}

}  // namespace

[[noreturn]] void refuse(const QString& path, const QString& text) {
  throw DataError(QStringLiteral("QSQLITE"), QStringLiteral("'%1': %2").arg(path, text));
}

RowCheck::RowCheck(const QString& table, const QStringList& columns) : table_(table), names_(columns) {
  const Schema::Table* checked = Schema::find(table);
  for (const QString& name : columns) {
    const Schema::Column* column = nullptr;
    if (checked && checked->courseTable)
      for (const Schema::Column& c : checked->columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0) column = &c;
    columns_.push_back(column);
  }
}

std::optional<QString> RowCheck::misfit(int column, const Bulk::Cell& value) const {
  const Schema::Column* c = columns_[size_t(column)];
  if (!c) return std::nullopt;
  const std::optional<QString> why = ExchangeCheck::misfit(*c, value);
  if (!why) return std::nullopt;
  return refusal(column, *why, shown(value));
}

QString RowCheck::refusal(int column, const QString& why, const QString& value) const {
  const Schema::Column* c = columns_[size_t(column)];
  return QStringLiteral("文件中的数据有误：表 %1 第 %2 行的 %3 列%4（%5）。")
      .arg(table_)
      .arg(row_)
      .arg(c ? c->name : names_.value(column), why, value);
}

std::optional<QString> RowCheck::impossibleDate(int column, double accessDate) const {
  return refusal(column, QStringLiteral("超出 Access 文件的日期范围 0100-01-01 至 9999-12-31"),
                 QString::number(accessDate, 'g', 12));
}

// Text columns are measured and dates read on the UTF-16 text itself; only
// a value that does not fit is converted, to be named. A lone surrogate
// does not survive that conversion, so it is named here.
std::optional<QString> RowCheck::misfitText(int column, QStringView text) const {
  const Schema::Column* c = columns_[size_t(column)];
  if (!c) return std::nullopt;
  if (c->type == ColumnType::Text || c->type == ColumnType::Memo) {
    if (std::optional<QString> fault = textFault(text))
      return refusal(column, *fault, shown(Bulk::Cell::text(text.left(20).toString())));
  }
  switch (c->type) {
    case ColumnType::Text:
      if (c->size <= 0 || text.size() <= c->size || characters(text) <= c->size) return std::nullopt;
      break;
    case ColumnType::Memo: return std::nullopt;
    case ColumnType::Date:
      if (!dateFault(text)) return std::nullopt;
      break;
    default: break;
  }
  return misfit(column, Bulk::Cell::text(text.toString()));
}

void refuseUnmergedLog(const QString& path) {
  const QFileInfo log(path + QStringLiteral("-wal"));
  if (log.isFile() && log.size() > 0)
    refuse(path, QStringLiteral("文件旁边的 %1 中还有没写进文件的修改：另一个程序仍打开着这个文件，或没有正常关闭它。"
                                "请先关闭那个程序再导入。")
                     .arg(log.fileName()));
}

void refuseCode(const QSqlDatabase& db, const QString& path) {
  QSqlQuery q(db);
  if (!q.exec(QStringLiteral("SELECT type, name FROM sqlite_master WHERE type IN ('view', 'trigger') "
                             "OR (type = 'table' AND sql LIKE 'CREATE VIRTUAL%')")))
    refuse(path, withDetail(QStringLiteral("文件的表目录不能读取。"), q.lastError().text()));
  if (q.next())
    refuse(path, QStringLiteral("文件中含有%1 %2，不能作为交换文件导入。")
                     .arg(q.value(0).toString() == QLatin1String("view")      ? QStringLiteral("视图")
                          : q.value(0).toString() == QLatin1String("trigger") ? QStringLiteral("触发器")
                                                                              : QStringLiteral("虚拟表"),
                          q.value(1).toString()));
}

void checkCourseValues(const QSqlDatabase& db, const QString& path) {
  const QStringList present = db.tables();
  for (const Schema::Table& table : Schema::tables()) {
    if (!table.courseTable) continue;
    if (!present.contains(table.name, Qt::CaseInsensitive)) continue;
    checkTable(db, table, path);
  }
}

StatementTimeLimit::StatementTimeLimit(const QSqlDatabase& db, std::chrono::milliseconds limit)
    : limit_(limit), lastSeen_(std::chrono::steady_clock::now()) {
  const QVariant h = db.driver() ? db.driver()->handle() : QVariant();
  if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0) return;
  handle_ = *static_cast<sqlite3* const*>(h.constData());
  if (!handle_) return;
  auto* sqlite = static_cast<sqlite3*>(handle_);
  sqlite3_trace_v2(sqlite, SQLITE_TRACE_STMT, &StatementTimeLimit::onTrace, this);
  sqlite3_progress_handler(sqlite, 10000, &StatementTimeLimit::onProgress, this);
}

StatementTimeLimit::~StatementTimeLimit() {
  if (!handle_) return;
  auto* sqlite = static_cast<sqlite3*>(handle_);
  sqlite3_progress_handler(sqlite, 0, nullptr, nullptr);
  sqlite3_trace_v2(sqlite, 0, nullptr, nullptr);
}

// A statement starts running: its clock starts at zero.
int StatementTimeLimit::onTrace(unsigned type, void* self, void*, void*) {
  auto* limit = static_cast<StatementTimeLimit*>(self);
  if (type == SQLITE_TRACE_STMT) {
    limit->busy_ = std::chrono::nanoseconds(0);
    limit->lastSeen_ = std::chrono::steady_clock::now();
  }
  return 0;
}

// Called every few thousand steps of SQLite's machine while a statement runs.
// A long gap since the last call is the caller's time between rows, not the
// statement's.
int StatementTimeLimit::onProgress(void* self) {
  auto* limit = static_cast<StatementTimeLimit*>(self);
  const auto now = std::chrono::steady_clock::now();
  const auto gap = now - limit->lastSeen_;
  limit->lastSeen_ = now;
  if (gap < std::chrono::milliseconds(50)) limit->busy_ += gap;
  return limit->busy_ > limit->limit_ ? 1 : 0;
}

}  // namespace ExchangeCheck
