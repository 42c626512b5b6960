#include "data/Recordset.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

#include "data/Connection.h"
#include "data/DataError.h"

namespace {
QString baseTableOf(const QString& sql) {
  static const QRegularExpression re(QStringLiteral("\\bfrom\\s+\\[?([A-Za-z_][A-Za-z0-9_]*)\\]?"),
                                     QRegularExpression::CaseInsensitiveOption);
  const auto m = re.match(sql);
  return m.hasMatch() ? m.captured(1) : QString();
}

[[noreturn]] void raiseAdo(int number, const QString& text) {
  throw DataError(number, QStringLiteral("ADODB.Recordset"), text);
}

// SQLite keeps dates as text in its own sortable form.
QString sqliteDateText(const QDateTime& dt) {
  return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QDateTime parseDateText(const QString& s) {
  QDateTime dt = QDateTime::fromString(s, Qt::ISODateWithMs);
  if (!dt.isValid()) dt = QDateTime::fromString(s, Qt::ISODate);
  if (!dt.isValid()) dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
  if (!dt.isValid()) dt = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd"));
  return dt;
}
}  // namespace

Recordset::Recordset(std::shared_ptr<Connection> conn, const QString& sql, const QVariantList& params)
    : conn_(std::move(conn)), sql_(sql), table_(baseTableOf(sql)) {
  query_ = std::make_unique<QSqlQuery>(conn_->database());
  query_->setForwardOnly(true);
  if (!query_->prepare(sql)) conn_->raise(query_->lastError());
  for (const QVariant& p : params) query_->addBindValue(p);
  if (!query_->exec()) conn_->raise(query_->lastError());
  readRecordLayout();
  if (!query_->isSelect()) queryDone_ = true;
  eof_ = !fetchInto(current_);
}

Recordset::~Recordset() = default;

void Recordset::readRecordLayout() {
  const QSqlRecord rec = query_->record();
  for (int i = 0; i < rec.count(); ++i) {
    names_ << rec.fieldName(i);
    types_ << rec.field(i).metaType().id();
    const QString key = rec.fieldName(i).toLower();
    if (!index_.contains(key)) index_.insert(key, i);
  }
}

bool Recordset::fetchInto(Row& row) {
  if (!ahead_.empty()) {
    row = std::move(ahead_.front());
    ahead_.pop_front();
    return true;
  }
  if (queryDone_ || !query_) return false;
  if (!query_->next()) {
    if (query_->lastError().isValid()) conn_->raise(query_->lastError());
    queryDone_ = true;
    query_->finish();
    return false;
  }
  row.resize(names_.size());
  for (int i = 0; i < names_.size(); ++i) row[i] = query_->value(i);
  ++fetched_;
  return true;
}

bool Recordset::HasField(const QString& name) const { return index_.contains(name.toLower()); }

int Recordset::FieldIndex(const QString& name) const {
  const auto it = index_.constFind(name.toLower());
  if (it == index_.constEnd())
    raiseAdo(DataError::ItemNotFound,
             QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                            "name or ordinal. (%1)").arg(name));
  return *it;
}

void Recordset::requireRow() const {
  if (eof_ && mode_ == EditMode::None)
    raiseAdo(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted. "
                                  "Requested operation requires a current record."));
}

void Recordset::requireConnection() const {
  if (!conn_) raiseAdo(3704, QStringLiteral("Operation is not allowed when the object is closed."));
}

QVariant Recordset::Value(int i) const {
  if (i < 0 || i >= names_.size())
    raiseAdo(DataError::ItemNotFound,
             QStringLiteral("Item cannot be found in the collection corresponding to the requested "
                            "name or ordinal."));
  if (mode_ != EditMode::None) return edit_.at(i);
  requireRow();
  return current_.at(i);
}

void Recordset::SetValue(int i, const QVariant& v) {
  if (i < 0 || i >= names_.size()) Value(i);  // raises
  if (mode_ == EditMode::None) {
    requireRow();
    mode_ = EditMode::Edit;
    edit_ = current_;
    assigned_ = QVector<bool>(names_.size(), false);
  }
  edit_[i] = v;
  assigned_[i] = true;
}

bool Recordset::Bof() const { return eof_ && fetched_ == 0 && added_ == 0; }

void Recordset::MoveNext() {
  if (mode_ != EditMode::None) Update();
  if (eof_) raiseAdo(3021, QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."));
  eof_ = !fetchInto(current_);
}

int Recordset::RecordCount() {
  if (query_ && !queryDone_) {
    Row row;
    std::deque<Row> rest;
    while (fetchInto(row)) rest.push_back(std::move(row));
    ahead_ = std::move(rest);
  }
  return fetched_ + added_;
}

void Recordset::AddNew() {
  if (mode_ != EditMode::None) Update();
  mode_ = EditMode::Add;
  edit_ = Row(names_.size());
  assigned_ = QVector<bool>(names_.size(), false);
}

void Recordset::CancelUpdate() { mode_ = EditMode::None; }

QVariant Recordset::coerce(int column, const QVariant& v) const {
  if (v.isNull() || !v.isValid()) return v;
  const int target = types_.value(column, QMetaType::UnknownType);
  if (conn_ && conn_->dialect() == Dialect::SQLite) {
    if (v.metaType().id() == QMetaType::QDateTime) return sqliteDateText(v.toDateTime());
    return v;
  }
  if ((target == QMetaType::QDateTime || target == QMetaType::QDate) &&
      v.metaType().id() == QMetaType::QString) {
    const QDateTime dt = parseDateText(v.toString());
    if (dt.isValid()) return dt;
  }
  if (v.metaType().id() == QMetaType::QString && (target == QMetaType::Int || target == QMetaType::LongLong ||
                                                  target == QMetaType::Short || target == QMetaType::Double)) {
    bool ok = false;
    const double d = v.toString().toDouble(&ok);
    if (ok) return target == QMetaType::Double ? QVariant(d) : QVariant(static_cast<qlonglong>(d));
  }
  return v;
}

void Recordset::writeInsert(Row& row, const QVector<bool>& assigned) {
  if (table_.isEmpty()) raiseAdo(3251, QStringLiteral("Current Recordset does not support updating."));
  QStringList cols;
  QString signature;
  for (int i = 0; i < names_.size(); ++i) {
    signature += assigned[i] ? '1' : '0';
    if (assigned[i]) cols << names_[i];
  }
  auto& q = insertCache_[signature];
  if (!q) {
    q = std::make_shared<QSqlQuery>(conn_->database());
    if (!q->prepare(Sql::insertReturning(conn_->dialect(), table_, cols, names_.value(0))))
      conn_->raise(q->lastError());
  }
  int bind = 0;
  for (int i = 0; i < names_.size(); ++i)
    if (assigned[i]) q->bindValue(bind++, coerce(i, row[i]));
  if (!q->exec()) conn_->raise(q->lastError());
  if (q->next()) row[0] = q->value(0);
  q->finish();
}

void Recordset::writeUpdate(const Row& row, const QVector<bool>& assigned, const QVariant& key) {
  if (table_.isEmpty()) raiseAdo(3251, QStringLiteral("Current Recordset does not support updating."));
  QStringList sets;
  for (int i = 0; i < names_.size(); ++i)
    if (assigned[i]) sets << names_[i] + QStringLiteral("=?");
  if (sets.isEmpty()) return;
  QSqlQuery q(conn_->database());
  if (!q.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE %3=?").arg(table_, sets.join(','), names_.value(0))))
    conn_->raise(q.lastError());
  int bind = 0;
  for (int i = 0; i < names_.size(); ++i)
    if (assigned[i]) q.bindValue(bind++, coerce(i, row[i]));
  q.bindValue(bind, key);
  if (!q.exec()) conn_->raise(q.lastError());
}

void Recordset::Update() {
  if (mode_ == EditMode::None) return;
  const EditMode mode = mode_;
  const QVariant key = mode == EditMode::Edit ? current_.value(0) : QVariant();
  if (!conn_) {
    pending_.push_back({mode, edit_, assigned_, key});
  } else if (mode == EditMode::Add) {
    writeInsert(edit_, assigned_);
  } else {
    writeUpdate(edit_, assigned_, key);
  }
  if (mode == EditMode::Add) ++added_;
  current_ = edit_;
  eof_ = false;
  mode_ = EditMode::None;
}

void Recordset::Disconnect() {
  RecordCount();  // reads every row into memory
  query_.reset();
  insertCache_.clear();
  queryDone_ = true;
  conn_.reset();
}

void Recordset::Reconnect(std::shared_ptr<Connection> conn) { conn_ = std::move(conn); }

void Recordset::UpdateBatch() {
  requireConnection();
  if (mode_ != EditMode::None) Update();
  if (pending_.empty()) return;
  const bool ownTransaction = !conn_->inTransaction();
  if (ownTransaction) conn_->begin();
  try {
    for (Pending& p : pending_) {
      if (p.mode == EditMode::Add)
        writeInsert(p.row, p.assigned);
      else
        writeUpdate(p.row, p.assigned, p.key);
    }
    if (ownTransaction) conn_->commit();
  } catch (...) {
    if (ownTransaction) conn_->rollback();
    throw;
  }
  pending_.clear();
}

void Recordset::Close() {
  query_.reset();
  insertCache_.clear();
  ahead_.clear();
  eof_ = true;
  queryDone_ = true;
}
