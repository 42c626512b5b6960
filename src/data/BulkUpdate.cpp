#include "data/BulkUpdate.h"

#include <algorithm>

#include "data/CDataAccess.h"

namespace Bulk {
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
