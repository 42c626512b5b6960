#include "data/OdbcStatement.h"

#include <sql.h>
#include <sqlext.h>

#include "data/DataError.h"
#include "data/DateValue.h"

namespace Odbc {
namespace {

const QString kSource = QStringLiteral("QODBC");

// SQL Server takes up to 4,000 characters as nvarchar; longer text goes as
// ntext / nvarchar(max).
constexpr qsizetype MaxShortText = 4000;

std::u16string wide(const QString& text) { return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), size_t(text.size())); }

// The driver's messages, and the first native error number among them.
DataError diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  QStringList parts;
  int number = 0;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN r = SQLGetDiagRecW(type, handle, record, state, &native, text, SQLSMALLINT(std::size(text)), &length);
    if (!SQL_SUCCEEDED(r)) break;
    if (number == 0) number = int(native);
    parts << QString::fromUtf16(reinterpret_cast<const char16_t*>(text), std::min<int>(length, int(std::size(text)) - 1));
  }
  return DataError(number, kSource, withDetail(QStringLiteral("数据库操作失败。"), parts.join(' ')));
}

ValueKind kindOf(SQLSMALLINT type) {
  switch (type) {
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
    case SQL_BIT: return ValueKind::Integer;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_NUMERIC:
    case SQL_DECIMAL: return ValueKind::Real;
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_DATETIME: return ValueKind::Date;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR: return ValueKind::Text;
    default: return ValueKind::Other;
  }
}
}  // namespace

// A bound parameter's buffer and length, alive until the statement runs.
struct Statement::Param {
  std::u16string text;
  qint64 integer = 0;
  double real = 0;
  SQL_TIMESTAMP_STRUCT stamp{};
  SQLLEN indicator = 0;
};

Statement::Statement(Handle connection, const QString& sql) : sql_(sql) {
  SQLHSTMT stmt = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection, &stmt)))
    throw diagnostics(SQL_HANDLE_DBC, connection);
  stmt_ = stmt;
  check(SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0));
  check(SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0));
  std::u16string text = wide(sql);
  check(SQLPrepareW(stmt, reinterpret_cast<SQLWCHAR*>(text.data()), SQLINTEGER(text.size())));
}

Statement::~Statement() {
  if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

void Statement::check(short result) const {
  if (!SQL_SUCCEEDED(result)) throw diagnostics(SQL_HANDLE_STMT, stmt_);
}

void Statement::bind(int i, const Bulk::Cell& value) {
  while (params_.size() <= size_t(i)) params_.emplace_back();
  Param& p = params_[size_t(i)];
  const auto number = SQLUSMALLINT(i + 1);
  switch (value.kind) {
    case Bulk::Cell::Kind::Int:
      p.integer = value.i;
      p.indicator = 0;
      check(SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, &p.integer, 0, &p.indicator));
      return;
    case Bulk::Cell::Kind::Real:
      p.real = value.d;
      p.indicator = 0;
      check(SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, &p.real, 0, &p.indicator));
      return;
    case Bulk::Cell::Kind::Null:
    case Bulk::Cell::Kind::Text:
    case Bulk::Cell::Kind::Blob: break;
  }
  p.text = value.isNull() ? std::u16string() : wide(value.toString());
  p.indicator = value.isNull() ? SQL_NULL_DATA : SQLLEN(p.text.size() * sizeof(char16_t));
  const auto units = qsizetype(p.text.size());
  check(SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_WCHAR, units > MaxShortText ? SQL_WLONGVARCHAR : SQL_WVARCHAR,
                         SQLULEN(std::max<qsizetype>(1, units)), 0, p.text.data(), p.indicator < 0 ? 0 : p.indicator,
                         &p.indicator));
}

// Dates go as timestamps: a text date is read by SQL Server after the
// session's language (dmy or mdy), a timestamp is not.
void Statement::bindDate(int i, const Bulk::Cell& value) {
  const std::optional<Dates::Stamp> s =
      value.kind == Bulk::Cell::Kind::Text ? Dates::parse(QStringView(value.toString()).trimmed()) : std::nullopt;
  if (!s) {
    bind(i, value);
    return;
  }
  while (params_.size() <= size_t(i)) params_.emplace_back();
  Param& p = params_[size_t(i)];
  p.stamp = SQL_TIMESTAMP_STRUCT{SQLSMALLINT(s->year), SQLUSMALLINT(s->month), SQLUSMALLINT(s->day),
                                 SQLUSMALLINT(s->hour), SQLUSMALLINT(s->minute), SQLUSMALLINT(s->second),
                                 SQLUINTEGER(s->msec) * 1000000u};
  p.indicator = sizeof(p.stamp);
  check(SQLBindParameter(stmt_, SQLUSMALLINT(i + 1), SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 23, 3,
                         &p.stamp, sizeof(p.stamp), &p.indicator));
}

void Statement::execute() {
  close();
  const SQLRETURN r = SQLExecute(stmt_);
  if (r != SQL_NO_DATA) check(r);
  describeColumns();
  // A batch may answer with row counts before the rows it was run for.
  while (names_.isEmpty() && SQL_SUCCEEDED(SQLMoreResults(stmt_))) describeColumns();
  open_ = !names_.isEmpty();
}

void Statement::describeColumns() {
  SQLSMALLINT count = 0;
  check(SQLNumResultCols(stmt_, &count));
  names_.clear();
  kinds_.clear();
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    SQLWCHAR name[256] = {};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    check(SQLDescribeColW(stmt_, c, name, SQLSMALLINT(std::size(name)), &length, &type, &size, &digits, &nullable));
    names_ << QString::fromUtf16(reinterpret_cast<const char16_t*>(name), std::min<int>(length, int(std::size(name)) - 1));
    kinds_.push_back(kindOf(type));
  }
}

bool Statement::fetch() {
  if (!open_) return false;
  const SQLRETURN r = SQLFetch(stmt_);
  if (r == SQL_NO_DATA) {
    close();
    return false;
  }
  check(r);
  return true;
}

void Statement::close() {
  if (!open_) return;
  open_ = false;
  SQLFreeStmt(stmt_, SQL_CLOSE);
}

void Statement::read(int column, Bulk::Cell& value) {
  const auto number = SQLUSMALLINT(column + 1);
  SQLLEN indicator = 0;
  switch (kinds_[size_t(column)]) {
    case ValueKind::Integer: {
      qint64 n = 0;
      check(SQLGetData(stmt_, number, SQL_C_SBIGINT, &n, sizeof n, &indicator));
      value = indicator == SQL_NULL_DATA ? Bulk::Cell() : Bulk::Cell::integer(n);
      return;
    }
    case ValueKind::Real: {
      double d = 0;
      check(SQLGetData(stmt_, number, SQL_C_DOUBLE, &d, sizeof d, &indicator));
      value = indicator == SQL_NULL_DATA ? Bulk::Cell() : Bulk::Cell{Bulk::Cell::Kind::Real, 0, d, {}};
      return;
    }
    case ValueKind::Date: {
      SQL_TIMESTAMP_STRUCT t{};
      check(SQLGetData(stmt_, number, SQL_C_TYPE_TIMESTAMP, &t, sizeof t, &indicator));
      if (indicator == SQL_NULL_DATA) {
        value = Bulk::Cell();
        return;
      }
      const Dates::Stamp s{t.year, t.month, t.day, t.hour, t.minute, t.second, int(t.fraction / 1000000u)};
      value = Bulk::Cell::text(Dates::text(s));
      return;
    }
    case ValueKind::Text:
    case ValueKind::Other: break;
  }
  // Long text comes in pieces; each piece ends with a NUL the length leaves out.
  std::u16string text;
  char16_t buffer[4096];
  for (;;) {
    const SQLRETURN r = SQLGetData(stmt_, number, SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (r == SQL_NO_DATA) break;
    check(r);
    if (indicator == SQL_NULL_DATA) {
      value = Bulk::Cell();
      return;
    }
    const size_t whole = std::size(buffer) - 1;
    const size_t got = indicator == SQL_NO_TOTAL || size_t(indicator) / 2 > whole ? whole : size_t(indicator) / 2;
    text.append(buffer, got);
    if (r == SQL_SUCCESS) break;
  }
  value = Bulk::Cell::text(QString::fromUtf16(text.data(), qsizetype(text.size())));
}

qint64 Statement::rowsAffected() const {
  SQLLEN n = 0;
  check(SQLRowCount(stmt_, &n));
  return n;
}

}  // namespace Odbc
