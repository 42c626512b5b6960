#include "data/SqliteBackend.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include <sqlite3.h>

#include "data/DataError.h"
#include "data/ExchangeCheck.h"

namespace {

const QString sqliteSource = QStringLiteral("QSQLITE");

// Rows whose key nobody asks for go in groups per statement, which spares
// opening and closing the cursors on the table and its indexes for every
// row. Kept within SQLite's oldest limit of 999 parameters.
constexpr int MaxGroupRows = 64;
constexpr int MaxParameters = 999;

class StatementRows : public Bulk::RowSource {
 public:
  StatementRows(const QSqlDatabase& db, const QString& sql, const QVariantList& params) : statement_(db, sql) {
    for (int i = 0; i < params.size(); ++i) statement_.bind(i, Bulk::Cell::fromVariant(params[i]));
    for (int i = 0; i < statement_.columnCount(); ++i) names_ << statement_.columnName(i);
  }
  const QStringList& columns() const override { return names_; }
  bool next(Bulk::Row& row) override {
    if (!statement_.step()) return false;
    row.resize(size_t(names_.size()));
    for (int i = 0; i < names_.size(); ++i) statement_.read(i, row[size_t(i)]);
    return true;
  }

 private:
  SqliteStatement statement_;
  QStringList names_;
};

QString insertStatement(const QString& table, const QStringList& columns, int rows) {
  if (columns.isEmpty()) return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(table);
  const QString one = '(' + QStringLiteral("?,").repeated(columns.size()).chopped(1) + ')';
  return QStringLiteral("INSERT INTO %1 (%2) VALUES %3").arg(table, columns.join(','), (one + ',').repeated(rows).chopped(1));
}

// One reused statement per row; rows whose key nobody wants and that nobody
// reads back at once go in groups.
class TableRows : public Bulk::TableWriter {
 public:
  TableRows(const QSqlDatabase& db, const QString& table, const QStringList& columns, bool wantKey,
            Bulk::ReadBack readBack)
      : db_(db), table_(table), columns_(columns), wantKey_(wantKey), single_(db, insertStatement(table, columns, 1)) {
    if (!wantKey && readBack != Bulk::ReadBack::AtOnce && !columns.isEmpty())
      groupRows_ = std::min(MaxGroupRows, MaxParameters / int(columns.size()));
  }
  qint32 add(const Bulk::Row& values) override {
    if (groupRows_ > 1) {
      pending_.push_back(values);
      if (int(pending_.size()) == groupRows_) writeGroup();
      return 0;
    }
    insertOne(values);
    return wantKey_ ? qint32(sqlite3_last_insert_rowid(single_.handle())) : 0;
  }
  // The rows short of a group go one by one.
  void flush() override {
    for (const Bulk::Row& row : pending_) insertOne(row);
    pending_.clear();
  }

 private:
  void insertOne(const Bulk::Row& values) {
    for (int i = 0; i < columns_.size(); ++i) single_.bind(i, values[size_t(i)]);
    single_.step();
    single_.reset();
  }
  void writeGroup() {
    if (!group_) group_ = std::make_unique<SqliteStatement>(db_, insertStatement(table_, columns_, groupRows_));
    int at = 0;
    for (const Bulk::Row& row : pending_)
      for (int i = 0; i < columns_.size(); ++i) group_->bind(at++, row[size_t(i)]);
    pending_.clear();
    group_->step();
    group_->reset();
  }

  QSqlDatabase db_;
  QString table_;
  QStringList columns_;
  bool wantKey_;
  int groupRows_ = 0;
  SqliteStatement single_;
  std::unique_ptr<SqliteStatement> group_;
  std::vector<Bulk::Row> pending_;
};

}  // namespace

// ---------------------------------------------------------------- statements

sqlite3* sqliteHandle(const QSqlDatabase& db) {
  const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
  if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
    throw DataError(sqliteSource, QStringLiteral("这个连接不是 SQLite 数据库。"));
  sqlite3* const h = *static_cast<sqlite3* const*>(handle.constData());
  if (!h) throw DataError(sqliteSource, QStringLiteral("SQLite 数据库已关闭。"));
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

void SqliteStatement::bind(int i, const Bulk::Cell& c) {
  int rc = SQLITE_OK;
  switch (c.kind) {
    case Bulk::Cell::Kind::Null: rc = sqlite3_bind_null(stmt_, i + 1); break;
    case Bulk::Cell::Kind::Int: rc = sqlite3_bind_int64(stmt_, i + 1, c.i); break;
    case Bulk::Cell::Kind::Real: rc = sqlite3_bind_double(stmt_, i + 1, c.d); break;
    case Bulk::Cell::Kind::Text:
      rc = sqlite3_bind_text(stmt_, i + 1, c.bytes.constData(), int(c.bytes.size()), SQLITE_TRANSIENT);
      break;
    case Bulk::Cell::Kind::Blob:
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

void SqliteStatement::read(int i, Bulk::Cell& c) const {
  switch (sqlite3_column_type(stmt_, i)) {
    case SQLITE_INTEGER:
      c.kind = Bulk::Cell::Kind::Int;
      c.i = sqlite3_column_int64(stmt_, i);
      break;
    case SQLITE_FLOAT:
      c.kind = Bulk::Cell::Kind::Real;
      c.d = sqlite3_column_double(stmt_, i);
      break;
    case SQLITE_TEXT: {
      c.kind = Bulk::Cell::Kind::Text;
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, i));
      c.bytes = QByteArray(text, sqlite3_column_bytes(stmt_, i));
      break;
    }
    case SQLITE_BLOB: {
      c.kind = Bulk::Cell::Kind::Blob;
      const auto* blob = static_cast<const char*>(sqlite3_column_blob(stmt_, i));
      c.bytes = QByteArray(blob, sqlite3_column_bytes(stmt_, i));
      break;
    }
    default: c = Bulk::Cell();
  }
}

// ---------------------------------------------------------------- rows

namespace SqliteRows {

std::unique_ptr<Bulk::RowSource> select(const QSqlDatabase& db, const QString& sql, const QVariantList& params) {
  return std::make_unique<StatementRows>(db, sql, params);
}

std::unique_ptr<Bulk::TableWriter> writer(const QSqlDatabase& db, const QString& table, const QStringList& columns,
                                          const QString& keyColumn, Bulk::ReadBack readBack) {
  return std::make_unique<TableRows>(db, table, columns, !keyColumn.isEmpty(), readBack);
}

void updateColumn(const QSqlDatabase& db, const QString& table, const QString& keyColumn, const QString& column,
                  const std::vector<std::pair<qint32, QString>>& values) {
  if (values.empty()) return;
  SqliteStatement update(db, QStringLiteral("UPDATE %1 SET %2=? WHERE %3=?").arg(table, column, keyColumn));
  for (const auto& [key, text] : values) {
    update.bind(0, Bulk::Cell::text(text));
    update.bind(1, Bulk::Cell::integer(key));
    update.step();
    update.reset();
  }
}

}  // namespace SqliteRows

// ---------------------------------------------------------------- connection

SqliteConnection::SqliteConnection(const QString& connectString, const QString& path, bool exchange,
                                   bool readOnly)
    : Connection(connectString, Dialect::SQLite, exchange) {
  if (path.isEmpty() || !QFileInfo(path).isFile())
    throw DataError(sqliteSource, QStringLiteral("找不到数据库文件 '%1'。").arg(path));
  if (!readOnly) {
    openDatabase(QStringLiteral("QSQLITE"), path, QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    return;
  }
  // immutable: SQLite neither locks the file nor creates a journal or WAL
  // index beside it. Temporary tables (the mapping keeps its pairs in them)
  // still work: they live outside the file.
  const QString uri = QStringLiteral("file:") +
                      QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(path).absoluteFilePath(), "/")) +
                      QStringLiteral("?mode=ro&immutable=1");
  openDatabase(QStringLiteral("QSQLITE"), uri, QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
  QSqlQuery pragma(database());
  for (const char* sql : {"PRAGMA trusted_schema=OFF", "PRAGMA cell_size_check=ON"})
    if (!pragma.exec(QString::fromLatin1(sql))) raise(pragma.lastError());
  timeLimit_ = std::make_unique<ExchangeCheck::StatementTimeLimit>(database(), std::chrono::seconds(30));
}

SqliteConnection::~SqliteConnection() = default;

std::unique_ptr<Bulk::RowSource> SqliteConnection::select(const QString& sql, const QVariantList& params) const {
  return SqliteRows::select(database(), sql, params);
}

std::unique_ptr<Bulk::TableWriter> SqliteConnection::writer(const QString& table, const QStringList& columns,
                                                            const QString& keyColumn, Bulk::ReadBack readBack) {
  return SqliteRows::writer(database(), table, columns, keyColumn, readBack);
}

void SqliteConnection::updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                                    const std::vector<std::pair<qint32, QString>>& values) {
  SqliteRows::updateColumn(database(), table, keyColumn, column, values);
}
