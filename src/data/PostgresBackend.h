#pragma once
#include "data/OdbcBackend.h"

// PostgreSQL through psqlODBC. Rows go thousands to a statement as one array
// per column, unnested by the server: a statement of a few parameters costs
// little to send and to plan however many rows it carries. New keys are
// reserved from the column's sequence in blocks, so that rows with keys go
// in arrays too; keys left over are given back.
class PostgresConnection : public OdbcConnection {
 public:
  explicit PostgresConnection(const QString& connectString);

  std::unique_ptr<Bulk::TableWriter> writer(const QString& table, const QStringList& columns,
                                            const QString& keyColumn, Bulk::ReadBack readBack) override;
  void updateColumn(const QString& table, const QString& keyColumn, const QString& column,
                    const std::vector<std::pair<qint32, QString>>& values) override;
  void updateRows(const QString& table, const QString& keyColumn, const QStringList& columns,
                  const std::vector<Bulk::Row>& rows) override;

 protected:
  void lockImports(const std::function<void()>& waiting, const std::function<void()>& checkCancel) override;
};
