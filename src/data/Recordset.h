#pragma once
#include <QHash>
#include <QSqlQuery>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <deque>
#include <memory>

class Connection;

// The recordset the program works with: fields by name (case-insensitive) or
// position, Eof/MoveNext/RecordCount, AddNew + field assignment + Update (an
// INSERT into the single base table that reads the generated first column
// back), and editing the current row + Update (an UPDATE by the first column).
// Rows are read forward as they are needed, so long tables stream.
class Recordset {
 public:
  using Row = QVector<QVariant>;

  // Runs sql (with bound params) on conn; throws DataError from the driver.
  Recordset(std::shared_ptr<Connection> conn, const QString& sql, const QVariantList& params = {});
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  int FieldCount() const { return static_cast<int>(names_.size()); }
  QString FieldName(int i) const { return names_.at(i); }
  bool HasField(const QString& name) const;
  int FieldIndex(const QString& name) const;  // throws DataError 3265 when absent

  QVariant Value(int i) const;
  QVariant Value(const QString& name) const { return Value(FieldIndex(name)); }
  QVariant operator[](const QString& name) const { return Value(name); }
  void SetValue(int i, const QVariant& v);
  void SetValue(const QString& name, const QVariant& v) { SetValue(FieldIndex(name), v); }

  bool Eof() const { return eof_; }
  bool Bof() const;  // true for an empty recordset
  void MoveNext();
  int RecordCount();

  void AddNew();
  void Update();
  void CancelUpdate();

  // Disconnected use: all rows are read, the connection dropped, changes kept
  // until UpdateBatch writes them in one transaction on a connection again.
  void Disconnect();
  void Reconnect(std::shared_ptr<Connection> conn);
  void UpdateBatch();
  bool HasActiveConnection() const { return conn_ != nullptr; }
  void Close();

  const QString& Source() const { return sql_; }
  QString BaseTable() const { return table_; }

 private:
  enum class EditMode { None, Add, Edit };
  struct Pending {
    EditMode mode;
    Row row;
    QVector<bool> assigned;
    QVariant key;
  };
  bool fetchInto(Row& row);
  void readRecordLayout();
  void requireRow() const;
  void requireConnection() const;
  void writeInsert(Row& row, const QVector<bool>& assigned);
  void writeUpdate(const Row& row, const QVector<bool>& assigned, const QVariant& key);
  QVariant coerce(int column, const QVariant& v) const;

  std::shared_ptr<Connection> conn_;
  QString sql_;
  QString table_;
  std::unique_ptr<QSqlQuery> query_;
  bool queryDone_ = false;
  QStringList names_;
  QVector<int> types_;  // QMetaType ids of the columns, for value conversion
  QHash<QString, int> index_;
  std::deque<Row> ahead_;
  Row current_;
  bool eof_ = true;
  int fetched_ = 0;
  int added_ = 0;
  EditMode mode_ = EditMode::None;
  Row edit_;
  QVector<bool> assigned_;
  std::vector<Pending> pending_;
  QHash<QString, std::shared_ptr<QSqlQuery>> insertCache_;
};

using RecordsetPtr = std::unique_ptr<Recordset>;
