#include "data/jet/JetMirror.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QVariant>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "data/DataError.h"
#include "data/ExchangeCheck.h"
#include "core/AppPaths.h"
#include "data/DateValue.h"
#include "data/jet/JetStream.h"

namespace Jet {
namespace {

// libmdb's type numbers (mdbtools.h), kept here so that this side needs no libmdb.
enum JetType : quint8 {
  Bool = 0x01, Byte = 0x02, Int = 0x03, LongInt = 0x04, Money = 0x05, Float = 0x06,
  Double = 0x07, DateTime = 0x08, Binary = 0x09, Text = 0x0A, Ole = 0x0B, Memo = 0x0C,
  RepId = 0x0F, Numeric = 0x10, Complex = 0x12
};

const QString engineSource = QStringLiteral("Microsoft JET Database Engine");

[[noreturn]] void fail(const QString& text) { throw DataError(engineSource, text); }

[[noreturn]] void malformed() { fail(QStringLiteral("Access 文件读取程序送来的数据已损坏。")); }

// Bounds-checked reading of one message payload.
class PayloadReader {
 public:
  PayloadReader(const char* data, quint32 size) : p_(data), end_(data + size) {}
  quint8 u8() { return quint8(*take(1)); }
  quint16 u16() { return get<quint16>(); }
  quint32 u32() { return get<quint32>(); }
  qint32 i32() { return get<qint32>(); }
  double f64() { return get<double>(); }
  QByteArray bytes() {
    const quint32 n = u32();
    return QByteArray(take(n), qsizetype(n));
  }
  QString utf8() { return QString::fromUtf8(bytes()); }
  bool atEnd() const { return p_ == end_; }
  const char* take(quint64 n) {
    if (n > quint64(end_ - p_)) malformed();
    const char* at = p_;
    p_ += n;
    return at;
  }

 private:
  template <typename T>
  T get() {
    T v;
    std::memcpy(&v, take(sizeof v), sizeof v);
    return v;
  }
  const char* p_;
  const char* end_;
};

QString quoted(const QString& identifier) {
  QString q = identifier;
  q.replace('"', QLatin1String("\"\""));
  return '"' + q + '"';
}

QString sqliteType(quint8 type, quint32 size) {
  switch (type) {
    case Bool: return QStringLiteral("BIT");
    case Byte: return QStringLiteral("TINYINT");
    case Int: return QStringLiteral("SMALLINT");
    case LongInt:
    case Complex: return QStringLiteral("INTEGER");
    case Float: return QStringLiteral("REAL");
    case Double: return QStringLiteral("DOUBLE PRECISION");
    case DateTime: return QStringLiteral("DATETIME");
    case Text: return QStringLiteral("VARCHAR(%1)").arg(size / 2);  // Jet 4 sizes are in bytes
    case Memo: return QStringLiteral("TEXT");
    case Money: return QStringLiteral("DECIMAL(19,4)");
    case Numeric: return QStringLiteral("DECIMAL");
    case RepId: return QStringLiteral("VARCHAR(38)");
    default: return QStringLiteral("BLOB");
  }
}

}  // namespace

std::optional<QString> dateText(double accessDate) {
  const std::optional<Dates::Stamp> stamp = Dates::fromAccess(accessDate);
  if (!stamp) return std::nullopt;
  return Dates::text(*stamp);
}

MirrorBuilder::MirrorBuilder(QSqlDatabase db, MirrorOptions options)
    : db_(std::move(db)), options_(std::move(options)) {}

MirrorBuilder::~MirrorBuilder() {
  insert_.reset();
  if (inTransaction_) db_.rollback();
}

void MirrorBuilder::feed(const char* data, qsizetype size) {
  pending_.append(data, size);
  for (;;) {
    const qsizetype available = pending_.size() - consumed_;
    if (available < 5) break;
    const char* at = pending_.constData() + consumed_;
    quint32 length;
    std::memcpy(&length, at + 1, 4);
    if (length > Stream::MaxMessage) malformed();
    if (quint64(available) < 5 + quint64(length)) break;
    consumed_ += 5 + qsizetype(length);
    handle(quint8(at[0]), at + 5, length);
  }
  // Drop what has been handled once it is the larger part of the buffer.
  if (consumed_ > 0 && consumed_ >= pending_.size() / 2) {
    pending_.remove(0, consumed_);
    consumed_ = 0;
  }
}

void MirrorBuilder::handle(quint8 kind, const char* payload, quint32 size) {
  if (finished_) malformed();
  if (kind == Stream::Failure) {
    PayloadReader r(payload, size);
    fail(QStringLiteral("Access 文件不能读取：%1。").arg(r.utf8()));
  }
  if (kind == Stream::Incomplete) refuseIncomplete(payload, size);
  if (kind == Stream::FileHeader) {
    if (headerSeen_) malformed();
    PayloadReader r(payload, size);
    facts_.jetVersion = r.u32();
    facts_.encryptionKey = r.u32();
    headerSeen_ = true;
    return;
  }
  if (!headerSeen_) malformed();
  switch (kind) {
    case Stream::TableStart: startTable(payload, size); break;
    case Stream::Row: addRow(payload, size); break;
    case Stream::Done: finish(); break;
    default: malformed();
  }
}

void MirrorBuilder::refuseIncomplete(const char* payload, quint32 size) {
  PayloadReader r(payload, size);
  const quint8 kind = r.u8();
  const QString table = r.utf8();
  const quint32 a = r.u32();
  const quint32 b = r.u32();
  switch (kind) {
    case Stream::PartialPage:
      fail(QStringLiteral("文件不完整：文件末尾缺少 %1 字节，不是整页。").arg(4096 - a));
    case Stream::RowCount:
      if (a < b) fail(QStringLiteral("文件不完整：表 %1 只能读出 %2 行，应有 %3 行。").arg(table).arg(a).arg(b));
      fail(QStringLiteral("文件已损坏：表 %1 读出 %2 行，表定义却记有 %3 行。").arg(table).arg(a).arg(b));
    case Stream::PageMissing:
      fail(QStringLiteral("文件不完整：表 %1 的数据页 %2 不在文件中。").arg(table).arg(a));
    case Stream::PageForeign:
      fail(QStringLiteral("文件已损坏：表 %1 的第 %2 页不是该表的数据页。").arg(table).arg(a));
    case Stream::MemoCut:
      fail(QStringLiteral("文件不完整：表 %1 第 %2 行的备注内容缺页。").arg(table).arg(a));
    default: malformed();
  }
}

// Which table is wanted how: the one a stream delivers, else stored or, when
// a reader takes it later, passed over.
MirrorBuilder::Mode MirrorBuilder::modeOf(const QString& table) const {
  if (!options_.deliver.isEmpty())
    return table.compare(options_.deliver, Qt::CaseInsensitive) == 0 ? Mode::Deliver : Mode::Skip;
  if (!options_.fill.isEmpty())
    return table.compare(options_.fill, Qt::CaseInsensitive) == 0 ? Mode::Store : Mode::Skip;
  return options_.passOver.count(table.toLower()) ? Mode::PassOver : Mode::Store;
}

void MirrorBuilder::startTable(const char* payload, quint32 size) {
  PayloadReader r(payload, size);
  TableFacts table;
  table.name = r.utf8();
  table.indexCount = int(r.u32());
  const int count = r.u16();
  if (table.name.isEmpty() || count == 0 || count > Stream::MaxColumns) malformed();
  columns_.clear();
  QStringList definitions;
  QStringList names;
  for (int i = 0; i < count; ++i) {
    Column c;
    c.name = r.utf8();
    c.type = r.u8();
    c.size = r.u32();
    r.u8();  // scale and precision: the decimal text carries them
    r.u8();
    if (c.name.isEmpty()) malformed();
    definitions << quoted(c.name) + ' ' + sqliteType(c.type, c.size);
    names << quoted(c.name);
    columns_ << c;
  }
  if (!r.atEnd()) malformed();
  mode_ = modeOf(table.name);
  table.stored = mode_ == Mode::Store;
  insert_.reset();
  if (mode_ == Mode::Store || mode_ == Mode::PassOver) createTable(table.name, definitions, names);
  columnNames_.clear();
  for (const Column& c : std::as_const(columns_)) columnNames_ << c.name;
  check_.reset();
  if (!options_.checkedPath.isEmpty()) check_.emplace(table.name, columnNames_);
  orderAt_ = -1;
  const auto watched = options_.passOver.find(table.name.toLower());
  if (mode_ != Mode::Store && watched != options_.passOver.end())
    for (int i = 0; i < columnNames_.size(); ++i)
      if (!watched->second.isEmpty() && columnNames_[i].compare(watched->second, Qt::CaseInsensitive) == 0)
        orderAt_ = i;
  row_.assign(size_t(count), Bulk::Cell());
  facts_.tables << table;
}

// A table passed over is created all the same: statements that only look at
// its columns keep working.
void MirrorBuilder::createTable(const QString& table, const QStringList& definitions, const QStringList& names) {
  if (!inTransaction_) {
    if (!db_.transaction()) fail(withDetail(QStringLiteral("Access 文件的工作副本不能写入。"), db_.lastError().text()));
    inTransaction_ = true;
  }
  QSqlQuery create(db_);
  if (options_.fill.isEmpty() &&
      !create.exec(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table), definitions.join(", "))))
    fail(withDetail(QStringLiteral("Access 文件的表 %1 不能复制。").arg(table), create.lastError().text()));
  if (mode_ != Mode::Store) return;
  const QString marks = QStringLiteral("?, ").repeated(names.size() - 1) + '?';
  try {
    insert_.emplace(db_, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(table), names.join(", "), marks));
  } catch (const DataError& e) {
    fail(QStringLiteral("Access 文件的表 %1 不能复制：%2").arg(table, e.description()));
  }
}

void MirrorBuilder::addRow(const char* payload, quint32 size) {
  if (facts_.tables.isEmpty() || (mode_ == Mode::Store && !insert_)) malformed();
  if (mode_ == Mode::Skip) return;
  PayloadReader r(payload, size);
  std::optional<QString> refusal;
  try {
    for (int i = 0; i < columns_.size() && !refusal; ++i) {
      Bulk::Cell& v = row_[size_t(i)];
      const quint8 kind = r.u8();
      switch (kind) {
        case Stream::Null: v = Bulk::Cell(); break;
        case Stream::Int32: v = Bulk::Cell::integer(r.i32()); break;
        case Stream::Double: v = {Bulk::Cell::Kind::Real, 0, r.f64(), {}}; break;
        case Stream::Text: {
          const quint32 n = r.u32();
          const auto* text = reinterpret_cast<const char16_t*>(r.take(n));
          const QStringView view(text, qsizetype(n / 2));
          if (check_) refusal = check_->misfitText(i, view);
          // Text arrives as UTF-16 and SQLite takes it as such.
          if (mode_ == Mode::Store) {
            insert_->bindText16(i, text, int(n / 2));
            continue;
          }
          if (mode_ == Mode::Deliver) v = {Bulk::Cell::Kind::Text, 0, 0, view.toUtf8()};
          continue;
        }
        case Stream::Binary: v = {Bulk::Cell::Kind::Blob, 0, 0, r.bytes()}; break;
        case Stream::Ascii: v = Bulk::Cell::text(QString::fromLatin1(r.bytes())); break;
        case Stream::DateTime: {
          const double d = r.f64();
          const std::optional<QString> text = dateText(d);
          if (!text && check_) {
            refusal = check_->impossibleDate(i, d);
            continue;
          }
          if (!text)
            fail(QStringLiteral("Access 文件的表 %1 第 %2 行的 %3 列超出 Access 文件的日期范围 0100-01-01 至 9999-12-31（%4）。")
                     .arg(facts_.tables.last().name)
                     .arg(facts_.tables.last().rows + 1)
                     .arg(columns_[i].name, QString::number(d, 'g', 12)));
          v = Bulk::Cell::text(*text);
          break;
        }
        default: malformed();
      }
      if (check_) refusal = check_->misfit(i, v);
      if (mode_ == Mode::Store) insert_->bind(i, v);
    }
    if (!refusal) {
      if (!r.atEnd()) malformed();
      if (insert_) insert_->step();
    }
    if (insert_) insert_->reset();
  } catch (const DataError& e) {
    if (e.source() != QLatin1String("QSQLITE")) throw;
    if (insert_) insert_->reset();
    fail(QStringLiteral("Access 文件的表 %1 有一行不能复制：%2").arg(facts_.tables.last().name, e.description()));
  }
  if (refusal) ExchangeCheck::refuse(options_.checkedPath, *refusal);
  TableFacts& table = facts_.tables.last();
  ++table.rows;
  if (check_) check_->nextRow();
  watchOrder(table);
  if (mode_ == Mode::Deliver) delivered_.push_back(row_);
}

// Whether the watched column's values rise from row to row, as the rows of
// a table read whole would come out ordered by it.
void MirrorBuilder::watchOrder(TableFacts& table) {
  if (orderAt_ < 0) return;
  const Bulk::Cell& key = row_[size_t(orderAt_)];
  if (key.kind != Bulk::Cell::Kind::Int || (table.rows > 1 && key.i <= lastKey_)) table.ascending = false;
  lastKey_ = key.i;
}

std::optional<Bulk::Row> MirrorBuilder::takeRow() {
  if (delivered_.empty()) return std::nullopt;
  Bulk::Row row = std::move(delivered_.front());
  delivered_.pop_front();
  return row;
}

void MirrorBuilder::finish() {
  insert_.reset();
  if (inTransaction_) {
    if (!db_.commit()) fail(withDetail(QStringLiteral("Access 文件的工作副本不能写入。"), db_.lastError().text()));
    inTransaction_ = false;
  }
  finished_ = true;
}

namespace {

// Starts program FILE PARENT_PID with the stream on its standard output and
// libmdb's complaints about a damaged file (meaningless to a user) dropped.
// Returns 0 or the error number.
int spawnReader(const QByteArray& program, const QByteArray& file, const QByteArray& table, int streamFd, pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  if (posix_spawn_file_actions_init(&actions) != 0) return ENOMEM;
  if (posix_spawnattr_init(&attributes) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return ENOMEM;
  }
  posix_spawn_file_actions_adddup2(&actions, streamFd, STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  // Signals this process blocks or ignores are none of the reader's business.
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  QByteArray programArg = program, fileArg = file, parentArg = QByteArray::number(qint64(::getpid()));
  QByteArray tableArg = table;
  char* argv[] = {programArg.data(), fileArg.data(), parentArg.data(), table.isEmpty() ? nullptr : tableArg.data(),
                  nullptr};
  char iconv[] = "MDB_ICONV=UTF-8";
  char* envp[] = {iconv, nullptr};
  const int error = posix_spawn(pid, program.constData(), &actions, &attributes, argv, envp);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

// The reading child: the program corvina-mdb-reader beside this one,
// started with posix_spawn (a fork of this threaded process could inherit a
// lock another thread held and block forever), writing the stream into a
// pipe on its standard output. It gets the file path, its parent's id and
// MDB_ICONV, nothing else. Killed and reaped when this object goes.
class ReaderProcess {
 public:
  // table: only that one is read.
  explicit ReaderProcess(const QString& path, const QString& table = {}) {
    const QString program = AppPaths::mdbReaderProgram();
    if (!QFileInfo(program).isExecutable())
      fail(QStringLiteral("缺少 Access 文件读取程序 %1，请重新安装本程序。").arg(program));
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) fail(QStringLiteral("无法为 Access 文件读取程序建立管道。"));
    const int error = spawnReader(QFile::encodeName(program), QFile::encodeName(path), table.toUtf8(), fds[1], &pid_);
    ::close(fds[1]);
    fd_ = fds[0];
    if (error != 0) {
      pid_ = -1;
      ::close(fd_);
      fd_ = -1;
      fail(withDetail(QStringLiteral("Access 文件读取程序不能启动。"), QString::fromLocal8Bit(std::strerror(error))));
    }
  }
  ~ReaderProcess() {
    if (fd_ >= 0) ::close(fd_);
    if (pid_ > 0 && !reaped_) {
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  ReaderProcess(const ReaderProcess&) = delete;
  ReaderProcess& operator=(const ReaderProcess&) = delete;

  // Bytes read into buffer; 0 at the end of the stream; throws when the
  // reader stays silent too long.
  qsizetype read(char* buffer, qsizetype size, int idleTimeoutMs) {
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
      const int ready = ::poll(&p, 1, idleTimeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) fail(QStringLiteral("Access 文件读取程序没有响应，文件可能已损坏。"));
      const ssize_t n = ::read(fd_, buffer, size_t(size));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) fail(QStringLiteral("收不到 Access 文件读取程序送来的数据。"));
      return qsizetype(n);
    }
  }

  // How the reader ended: true when it exited normally with 0.
  bool succeeded() {
    int status = 0;
    pid_t r;
    while ((r = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
    reaped_ = true;
    return r == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }

 private:
  pid_t pid_ = -1;
  int fd_ = -1;
  bool reaped_ = false;
};

}  // namespace

namespace {

// Feeds the reader's stream to builder, one buffer at a time; false at its
// end. A stream that grows past what the file could hold is refused.
class StreamPump {
 public:
  StreamPump(const QString& path, const QString& onlyTable, int idleTimeoutMs)
      : path_(path), reader_(path, onlyTable), idleTimeoutMs_(idleTimeoutMs), chunk_(1 << 18, Qt::Uninitialized),
        // Shared memo pages can make a small damaged file expand without end.
        limit_(quint64(QFileInfo(path).size()) * 64 + (quint64(64) << 20)) {}

  bool pump(MirrorBuilder& builder) {
    const qsizetype n = reader_.read(chunk_.data(), chunk_.size(), idleTimeoutMs_);
    if (n <= 0) return false;
    total_ += quint64(n);
    if (total_ > limit_) fail(QStringLiteral("Access 文件 '%1' 已损坏：读出的数据没有尽头。").arg(path_));
    builder.feed(chunk_.constData(), n);
    return true;
  }
  // After the end of the stream: all of it arrived and the reader ended well.
  void expectComplete(const MirrorBuilder& builder) {
    const bool exitedWell = reader_.succeeded();
    if (!builder.finished() || !exitedWell)
      fail(QStringLiteral("Access 文件 '%1' 已损坏，不能读取。").arg(path_));
  }

 private:
  QString path_;
  ReaderProcess reader_;
  int idleTimeoutMs_;
  QByteArray chunk_;
  quint64 limit_;
  quint64 total_ = 0;
};

// Failures name the file once.
template <typename Work>
auto namingFile(const QString& path, Work work) {
  try {
    return work();
  } catch (const DataError& e) {
    if (e.description().contains(path)) throw;
    fail(QStringLiteral("'%1': %2").arg(path, e.description()));
  }
}

class TableStream : public Bulk::RowSource {
 public:
  TableStream(const QString& path, const TableFacts& expected, const QString& orderColumn, bool checkValues)
      : path_(path),
        expected_(expected),
        pump_(path, expected.name, ReaderIdleTimeoutMs),
        builder_(QSqlDatabase(), options(path, expected.name, orderColumn, checkValues)) {
    namingFile(path_, [&] {
      while (builder_.columnNames().isEmpty() && !builder_.finished() && pump_.pump(builder_)) {
      }
      if (builder_.columnNames().isEmpty()) changed();
      return 0;
    });
  }
  const QStringList& columns() const override { return builder_.columnNames(); }
  bool next(Bulk::Row& row) override {
    return namingFile(path_, [&] {
      for (;;) {
        if (std::optional<Bulk::Row> taken = builder_.takeRow()) {
          row = std::move(*taken);
          return true;
        }
        if (!pump_.pump(builder_)) break;
      }
      pump_.expectComplete(builder_);
      const TableFacts& read = builder_.facts().tables.last();
      if (read.rows != expected_.rows || read.ascending != expected_.ascending) changed();
      return false;
    });
  }

 private:
  static MirrorOptions options(const QString& path, const QString& table, const QString& order, bool check) {
    MirrorOptions o;
    o.checkedPath = check ? path : QString();
    o.deliver = table;
    o.passOver[table.toLower()] = order;
    return o;
  }
  [[noreturn]] void changed() const {
    fail(QStringLiteral("Access 文件 '%1' 在导入过程中被改动了（表 %2）。").arg(path_, expected_.name));
  }

  QString path_;
  TableFacts expected_;
  StreamPump pump_;
  MirrorBuilder builder_;
};

}  // namespace

FileFacts loadMirror(const QString& path, QSqlDatabase db, int idleTimeoutMs, const MirrorOptions& options) {
  const QFileInfo info(path);
  if (!info.isFile()) fail(QStringLiteral("找不到文件 '%1'。").arg(path));
  MirrorBuilder builder(std::move(db), options);
  namingFile(path, [&] {
    StreamPump pump(path, options.fill, idleTimeoutMs);
    while (pump.pump(builder)) {
    }
    pump.expectComplete(builder);
    return 0;
  });
  return builder.facts();
}

std::unique_ptr<Bulk::RowSource> readTable(const QString& path, const TableFacts& expected,
                                           const QString& orderColumn, bool checkValues) {
  return std::make_unique<TableStream>(path, expected, orderColumn, checkValues);
}

}  // namespace Jet
