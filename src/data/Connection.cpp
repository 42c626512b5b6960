#include "data/Connection.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QAtomicInt>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>

#include "data/DataError.h"
#include "data/ExchangeCheck.h"
#include "data/OdbcBackend.h"
#include "data/PostgresBackend.h"
#include "data/SqliteBackend.h"
#include "data/jet/JetExchange.h"

namespace {
QString nextConnectionName() {
  static QAtomicInt counter;
  return QStringLiteral("corvina-%1").arg(counter.fetchAndAddRelaxed(1));
}

QString stripBraces(QString v) {
  v = v.trimmed();
  if (v.startsWith('{') && v.endsWith('}')) v = v.mid(1, v.size() - 2);
  return v;
}

[[noreturn]] void raiseMessage(const QString& source, const QString& text) {
  throw DataError(source, text);
}

// The backend follows the ODBC driver's name.
std::shared_ptr<Connection> openServer(const QString& connectString, const QString& driver) {
  const QString d = driver.toLower();
  if (d.contains(QLatin1String("postgres"))) return std::make_shared<PostgresConnection>(connectString);
  if (d.contains(QLatin1String("sql server")) || d.contains(QLatin1String("freetds")))
    return std::make_shared<OdbcConnection>(connectString, Dialect::SQLServer);
  return std::make_shared<OdbcConnection>(connectString, Dialect::Other);
}
}  // namespace

Connection::Connection(QString connectString, Dialect dialect, bool exchange)
    : name_(nextConnectionName()),
      connectString_(std::move(connectString)),
      dialect_(dialect),
      exchange_(exchange) {}

Connection::~Connection() {
  {
    QSqlDatabase db = database();
    if (db.isValid()) {
      if (inTransaction_) db.rollback();
      db.close();
    }
  }
  QSqlDatabase::removeDatabase(name_);
}

void Connection::openDatabase(const QString& driver, const QString& databaseName,
                              const QString& options) {
  QSqlDatabase db = QSqlDatabase::addDatabase(driver, name_);
  if (!db.isValid()) raiseMessage(driver, QStringLiteral("没有安装数据库驱动程序 %1。").arg(driver));
  db.setDatabaseName(databaseName);
  db.setConnectOptions(options);
  if (!db.open()) raise(db.lastError(), driver, QStringLiteral("不能连接数据库。"));
}

void Connection::raise(const QSqlError& error) const { raise(error, database().driverName()); }

void Connection::raise(const QSqlError& error, const QString& source, const QString& sentence) {
  bool ok = false;
  const int native = error.nativeErrorCode().toInt(&ok);
  QString text = error.databaseText();
  if (text.isEmpty()) text = error.driverText();
  if (text.isEmpty()) text = error.text();
  throw DataError(ok ? native : 0, source,
                  withDetail(sentence.isEmpty() ? QStringLiteral("数据库操作失败。") : sentence, text));
}

void Connection::begin() {
  QSqlDatabase db = database();
  if (dialect_ == Dialect::SQLite && !exchange_) {
    // Qt begins a deferred transaction: two writers that have both read hold
    // read locks that neither can turn into a write lock, and one fails at
    // once instead of waiting. Taking the write lock up front makes the second
    // wait its turn (the busy timeout).
    QSqlQuery begin(db);
    if (!begin.exec(QStringLiteral("BEGIN IMMEDIATE"))) raise(begin.lastError());
  } else if (!db.transaction()) {
    raise(db.lastError());
  }
  transactionBegun();
}

void Connection::requireNoOpenResult() const {
  if (*resultOpen_)
    throw DataError(QStringLiteral("Connection"),
                    QStringLiteral("同一连接上还有一个查询的结果没有读完，不能执行下一条语句。"));
}

OpenResult::OpenResult(const Connection& conn) {
  conn.requireNoOpenResult();
  open_ = conn.resultOpen_;
  *open_ = true;
}

OpenResult& OpenResult::operator=(OpenResult&& other) noexcept {
  if (this != &other) {
    release();
    open_ = std::move(other.open_);
  }
  return *this;
}

void OpenResult::release() {
  if (open_) *open_ = false;
  open_.reset();
}

namespace {

// A temporary table holds only what one connection sees; SQL Server names
// such tables with a leading '#'.
QString stageName(Dialect d) {
  return d == Dialect::SQLServer || d == Dialect::Other ? QStringLiteral("#corvina_update")
                                                        : QStringLiteral("corvina_update");
}

// The stage has the table's column types; the cast keeps an identity
// property (SQL Server copies it with SELECT INTO) off the key.
QString createStage(Dialect d, const QString& stage, const QString& table, const QString& keyColumn,
                    const QStringList& columns) {
  const QString select = QStringLiteral("SELECT CAST(%1 AS INTEGER) AS %1,%2 FROM %3 WHERE 1=0")
                             .arg(keyColumn, columns.join(','), table);
  if (d == Dialect::SQLServer || d == Dialect::Other)
    return QString(select).replace(QStringLiteral(" FROM "), QStringLiteral(" INTO %1 FROM ").arg(stage));
  return QStringLiteral("CREATE TEMP TABLE %1 AS ").arg(stage) + select;
}

QString updateFromStage(Dialect d, const QString& stage, const QString& table, const QString& keyColumn,
                        const QStringList& columns) {
  QStringList sets;
  for (const QString& c : columns) sets << QStringLiteral("%1=s.%1").arg(c);
  if (d == Dialect::SQLServer || d == Dialect::Other)
    return QStringLiteral("UPDATE %1 SET %2 FROM %1 INNER JOIN %3 s ON %1.%4=s.%4")
        .arg(table, sets.join(','), stage, keyColumn);
  return QStringLiteral("UPDATE %1 SET %2 FROM %3 s WHERE %1.%4=s.%4").arg(table, sets.join(','), stage, keyColumn);
}

}  // namespace

void Connection::updateRows(const QString& table, const QString& keyColumn, const QStringList& columns,
                            const std::vector<Bulk::Row>& rows) {
  if (rows.empty() || columns.isEmpty()) return;
  const QString stage = stageName(dialect_);
  execute(createStage(dialect_, stage, table, keyColumn, columns), {});
  {
    Bulk::Writer staged(*this, stage, QStringList{keyColumn} + columns);
    for (const Bulk::Row& row : rows) staged.add(row);
    staged.flush();
  }
  execute(updateFromStage(dialect_, stage, table, keyColumn, columns), {});
  execute(QStringLiteral("DROP TABLE ") + stage, {});
}

void Connection::transactionBegun() {
  inTransaction_ = true;
  transactionStarted();
}

void Connection::beginImport(const std::function<void()>& waiting, const std::function<void()>& checkCancel) {
  begin();
  try {
    lockImports(waiting, checkCancel);
  } catch (...) {
    rollback();
    throw;
  }
}

void Connection::lockImports(const std::function<void()>& waiting, const std::function<void()>& checkCancel) {
  (void)waiting;
  (void)checkCancel;
}

void Connection::commit() {
  QSqlDatabase db = database();
  if (!db.commit()) raise(db.lastError());
  inTransaction_ = false;
  transactionEnded(true);
}

void Connection::rollback() {
  QSqlDatabase db = database();
  if (!db.rollback()) raise(db.lastError());
  inTransaction_ = false;
  transactionEnded(false);
}

QString Connection::connectValue(const QString& connectString, const QString& key) {
  QString value;
  bool found = false;
  int i = 0;
  while (i < connectString.size() && !found) {
    int eq = connectString.indexOf('=', i);
    if (eq < 0) break;
    const QString k = connectString.mid(i, eq - i).trimmed();
    int end = eq + 1;
    // A value in braces may hold semicolons.
    while (end < connectString.size() && connectString[end].isSpace()) ++end;
    if (end < connectString.size() && connectString[end] == '{') {
      const int close = connectString.indexOf('}', end);
      end = close < 0 ? connectString.size() : close + 1;
    }
    int semi = connectString.indexOf(';', end);
    if (semi < 0) semi = connectString.size();
    if (k.compare(key, Qt::CaseInsensitive) == 0) {
      value = stripBraces(connectString.mid(eq + 1, semi - eq - 1));
      found = true;
    }
    i = semi + 1;
  }
  return value;
}

namespace {
const QString kExchangeSource = QStringLiteral("Microsoft JET Database Engine");

// Why the path cannot be an exchange file, in the words a person can act on;
// empty when it is a regular file that can be read. Nothing is opened that
// could block (a fifo) before this says yes.
QString unreadableReason(const QString& path) {
  struct stat st {};
  if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
    return QStringLiteral("文件不存在。");
  if (S_ISDIR(st.st_mode)) return QStringLiteral("这是文件夹，不是文件。");
  if (!S_ISREG(st.st_mode)) return QStringLiteral("不是普通文件。");
  if (::access(QFile::encodeName(path).constData(), R_OK) != 0) return QStringLiteral("没有读取这个文件的权限。");
  if (st.st_size == 0) return QStringLiteral("文件是空的。");
  return {};
}
}  // namespace

std::shared_ptr<Connection> Connection::openExchangeFile(const QString& path, ExchangeAccess access,
                                                         const QVector<StreamedTable>& streamed) {
  const QString reason = unreadableReason(path);
  if (!reason.isEmpty()) raiseMessage(kExchangeSource, reason);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) raiseMessage(kExchangeSource, file.errorString());
  const QByteArray head = file.read(4096);
  file.close();
  if (head.startsWith(QByteArrayLiteral("SQLite format 3"))) {
    if (access == ExchangeAccess::Read) ExchangeCheck::refuseUnmergedLog(path);
    auto conn = std::make_shared<SqliteConnection>(path, path, true, access == ExchangeAccess::Read);
    if (access == ExchangeAccess::Read) {
      ExchangeCheck::refuseCode(conn->database(), path);
      ExchangeCheck::checkCourseValues(conn->database(), path);
    }
    return conn;
  }
  if (Jet::isJetFile(head)) return Jet::openExchange(path, access, streamed);
  raiseMessage(kExchangeSource, QStringLiteral("不是 Access 或 SQLite 格式的数据库文件。"));
}

std::shared_ptr<Connection> Connection::open(const QString& connectString) {
  const QString driver = connectValue(connectString, QStringLiteral("Driver"));
  const QString provider = connectValue(connectString, QStringLiteral("Provider"));
  if (!driver.isEmpty()) {
    if (driver.compare(QLatin1String("SQLite3"), Qt::CaseInsensitive) == 0)
      return std::make_shared<SqliteConnection>(
          connectString, connectValue(connectString, QStringLiteral("Database")), false);
    return openServer(connectString, driver);
  }
  if (provider.compare(QLatin1String("MSDataShape"), Qt::CaseInsensitive) == 0)
    // The offline system database is a SQLite file.
    return std::make_shared<SqliteConnection>(
        connectString, connectValue(connectString, QStringLiteral("Data Source")), false);
  if (!provider.isEmpty())
    raiseMessage(QStringLiteral("Connection"),
                 QStringLiteral("连接字符串中的 Provider 无法识别，可能没有正确安装。"));
  raiseMessage(QStringLiteral("Connection"),
               QStringLiteral("连接字符串中没有数据源，也没有指定驱动程序（Driver）。"));
}

void Connection::execute(const QString& sql, const QVariantList& params) {
  QSqlQuery q(database());
  q.setForwardOnly(true);
  if (!q.prepare(sql)) raise(q.lastError());
  for (const QVariant& p : params) q.addBindValue(p);
  if (!q.exec()) raise(q.lastError());
}

std::unique_ptr<Bulk::RowSource> Connection::tableRows(const QString& table, const QString& orderColumn) const {
  const QString order = orderColumn.isEmpty() ? QString() : QStringLiteral(" order by ") + orderColumn;
  return select(QStringLiteral("select * from ") + table + order, {});
}

QStringList Connection::columnsOf(const QString& table) const {
  return select(QStringLiteral("select * from %1 where 1=0").arg(table), {})->columns();
}
