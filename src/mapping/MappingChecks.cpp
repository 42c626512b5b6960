// The checks a proposed pair must pass before it is linked, by hand or by name.
#include "data/CDataAccess.h"
#include "mapping/CExtPropertiesMapItem.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {

constexpr int kTypeDiffers = 305;
constexpr int kMinimumDiffers = 306;
constexpr int kMaximumDiffers = 307;
constexpr int kIncrementDiffers = 308;

// The first row of the statement, or no current row when there is none.
Bulk::Query readRow(CDataAccess& dal, const QString& sqlPrefix, qint32 id) {
  Bulk::Query rows = dal.OpenQuery(sqlPrefix + QString::number(id));
  rows.next();
  return rows;
}

// Column values compared as values: numbers numerically, and a Null on either
// side is no difference.
bool differs(const QVariant& a, const QVariant& b) {
  if (a.isNull() || b.isNull()) return false;
  bool aNumeric = false;
  bool bNumeric = false;
  const double x = a.toDouble(&aNumeric);
  const double y = b.toDouble(&bNumeric);
  if (aNumeric && bNumeric) return x != y;
  return a.toString() != b.toString();
}

bool isRangeFeature(const QVariant& type) {
  bool ok = false;
  const double t = type.toDouble(&ok);
  return !type.isNull() && ok && t == 1.0;
}

CExtPropertiesMapItem problemType(CDataAccess& dal, qint32 partitionId) {
  const Bulk::Query row =
      readRow(dal, QStringLiteral("select * from FeaturePartition where FeaturePartitionID="), partitionId);
  CExtPropertiesMapItem item;
  // Null reads as an empty text, which DeSerialize refuses.
  item.DeSerialize(row.value(QStringLiteral("ExtProperties")).toString());
  return item;
}

}  // namespace

bool MappingModel::CheckFeatureMatch(qint32 SourceID, qint32 DestID) {
  const QString sql = QStringLiteral("select * from Feature where FeatureID=");
  const Bulk::Query from = readRow(source(), sql, SourceID);
  const Bulk::Query to = readRow(dest(), sql, DestID);

  const QVariant type = from.value(QStringLiteral("type"));
  if (differs(type, to.value(QStringLiteral("type")))) {
    strCheckMessage = Res::str(kTypeDiffers);
    return false;
  }
  // Only range features must also agree in their range.
  if (!isRangeFeature(type)) return true;

  const struct {
    const char* column;
    int message;
  } rangeColumns[] = {{"minimum", kMinimumDiffers}, {"maximum", kMaximumDiffers}, {"valueincrement", kIncrementDiffers}};
  for (const auto& c : rangeColumns) {
    const QString column = QString::fromLatin1(c.column);
    if (differs(from.value(column), to.value(column))) {
      strCheckMessage = Res::str(c.message);
      return false;
    }
  }
  return true;
}

bool MappingModel::CheckProblemTypeMatch() {
  const CExtPropertiesMapItem exchangeType = problemType(source(), SourceList.selectedItemData());
  const CExtPropertiesMapItem systemType = problemType(dest(), DestList.selectedItemData());
  return exchangeType.Compare(systemType);
}
