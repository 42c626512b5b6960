#include "data/Dialect.h"

#include <QStringList>

namespace Sql {

QString insertReturning(Dialect d, const QString& table, const QStringList& columns,
                        const QString& firstColumn) {
  QStringList marks;
  for (int i = 0; i < columns.size(); ++i) marks << QStringLiteral("?");
  const QString cols = columns.join(',');
  if (d == Dialect::SQLServer) {
    if (columns.isEmpty())
      return QStringLiteral("INSERT INTO %1 OUTPUT INSERTED.%2 DEFAULT VALUES").arg(table, firstColumn);
    return QStringLiteral("INSERT INTO %1 (%2) OUTPUT INSERTED.%3 VALUES (%4)")
        .arg(table, cols, firstColumn, marks.join(','));
  }
  if (columns.isEmpty())
    return QStringLiteral("INSERT INTO %1 DEFAULT VALUES RETURNING %2").arg(table, firstColumn);
  return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) RETURNING %4")
      .arg(table, cols, marks.join(','), firstColumn);
}

QString dialectName(Dialect d) {
  switch (d) {
    case Dialect::SQLite: return QStringLiteral("SQLite");
    case Dialect::PostgreSQL: return QStringLiteral("PostgreSQL");
    case Dialect::SQLServer: return QStringLiteral("SQL Server");
    case Dialect::Other: break;
  }
  return QStringLiteral("ODBC");
}

}  // namespace Sql
