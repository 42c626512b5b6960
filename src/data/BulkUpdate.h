#pragma once
#include <QString>
#include <QStringList>

#include <vector>

#include "data/Rows.h"

class CDataAccess;

namespace Bulk {

// Rows kept in memory, handed out once in the order they were added.
class RowsInMemory : public RowSource {
 public:
  explicit RowsInMemory(QStringList columns) : columns_(std::move(columns)) {}
  void add(Row row) { rows_.push_back(std::move(row)); }
  size_t size() const { return rows_.size(); }
  const QStringList& columns() const override { return columns_; }
  bool next(Row& row) override {
    if (next_ == rows_.size()) return false;
    row = std::move(rows_[next_++]);
    return true;
  }

 private:
  QStringList columns_;
  std::vector<Row> rows_;
  size_t next_ = 0;
};

// Deletes the rows of table whose keyColumn holds one of keys, a thousand
// keys per statement; condition, when given, narrows every statement.
void deleteKeys(CDataAccess& dal, const QString& table, const QString& keyColumn, const std::vector<qint32>& keys,
                const QString& condition = {});

}  // namespace Bulk
