#include "data/BulkUpdate.h"

#include <algorithm>

#include "data/CDataAccess.h"

namespace Bulk {
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

void updateRows(CDataAccess& dal, const QString& table, const QString& keyColumn, const QStringList& columns,
                const std::vector<Row>& rows) {
  if (rows.empty() || columns.isEmpty()) return;
  const Dialect d = dal.dialect();
  const QString stage = stageName(d);
  dal.ExecQuery(createStage(d, stage, table, keyColumn, columns));
  {
    Writer staged = dal.InsertInto(stage, QStringList{keyColumn} + columns);
    for (const Row& row : rows) staged.add(row);
    staged.flush();
  }
  dal.ExecQuery(updateFromStage(d, stage, table, keyColumn, columns));
  dal.ExecQuery(QStringLiteral("DROP TABLE ") + stage);
}

void deleteKeys(CDataAccess& dal, const QString& table, const QString& keyColumn, const std::vector<qint32>& keys,
                const QString& condition) {
  constexpr size_t keysPerStatement = 1000;
  for (size_t from = 0; from < keys.size(); from += keysPerStatement) {
    QStringList list;
    for (size_t i = from; i < std::min(keys.size(), from + keysPerStatement); ++i) list << QString::number(keys[i]);
    dal.ExecQuery(QStringLiteral("DELETE FROM %1 WHERE %2 IN (%3)%4")
                  .arg(table, keyColumn, list.join(','), condition.isEmpty() ? QString() : QStringLiteral(" AND ") + condition));
  }
}

}  // namespace Bulk
