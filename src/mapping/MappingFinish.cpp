// Finishing a mapping step: the exchange items left unpaired are created in the
// system database and every pair of the step goes to the import's maps.
#include <QStringList>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/Dialect.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {

struct StepTables {
  Question question;     // asked before creating anything
  const char* readRows;  // followed by the ID list
  const char* table;      // where unpaired items are created
  int firstCopiedColumn;  // the ID (and in step 3 the FeatureID) is never copied
};

const StepTables& tablesFor(qint32 step) {
  static const StepTables tables[] = {
      {Question::CreateUnpairedSubjects, "select * from Subject  where SubjectID in ", "Subject", 1},
      {Question::CreateUnpairedFeatures, "select * from Feature  where FeatureID in ", "Feature", 1},
      {Question::CreateUnpairedPartitions, "select * from FeaturePartition  where FeaturePartitionID in ",
       "FeaturePartition", 2},
  };
  return tables[step - 1];
}

bool rowFound(CDataAccess& dal, const QString& sql) { return !dal.OpenQuery(sql).empty(); }

QVariant firstValue(CDataAccess& dal, const QString& sql, const QString& column) {
  Bulk::Query rows = dal.OpenQuery(sql);
  return rows.next() ? rows.value(column) : QVariant();
}

// Two partitions of one feature with the same value: the file is inconsistent,
// since the problems' values could no longer be told apart.
DataError repeatedPartitionValue(CDataAccess& exchange, qint32 featureId, qint32 value) {
  const QString name =
      firstValue(exchange, QStringLiteral("select Name from Feature where FeatureID=%1").arg(featureId),
                 QStringLiteral("Name"))
          .toString();
  return DataError(IdMap::DuplicateKey::number, QStringLiteral("frmImport"),
                   QStringLiteral("文件中指标 %1 的分区编号 %2 重复。").arg(name).arg(value));
}

// What a step writes to the system database stays, or nothing does: a
// failure half-way must not leave created items behind that no map knows of.
// Inside the import's transaction a savepoint marks where to go back to.
const QString kStepSavepoint = QStringLiteral("mapping_step");

}  // namespace

void MappingModel::FinishSubjectMap() {
  unloadOnFailure([this] { finishStep(1); });
}
void MappingModel::FinishFeatureMap() {
  unloadOnFailure([this] { finishStep(2); });
}
void MappingModel::FinishFeaturePartitionMap() {
  unloadOnFailure([this] { finishStep(3); });
}

bool MappingModel::confirmCreation(qint32 step) const {
  if (session_.bAutoMap || SourceList.empty()) return true;
  return session_.ui().Ask(tablesFor(step).question, QString()) == Answer::Yes;
}

void MappingModel::finishStep(qint32 step) {
  ensureLoaded();
  if (!confirmCreation(step)) return;

  ImportSession& g = session_;
  Transaction writes(dest(), kStepSavepoint);
  IdMap pairs = step == 1 ? pairs_.subject : step == 2 ? pairs_.feature : pairs_.partition;
  if (!SourceList.empty()) createUnmappedItems(step, pairs);

  // The maps are handed over only once everything is written.
  IdMap subjects;
  IdMap features = g.FeatureMap;
  IdMap partitions = g.FeaturePartitionMap;
  IdMap values = *g.PartitionValueMap;
  for (const auto& [sourceId, destId] : pairs) {
    if (step == 1) subjects.add(sourceId, destId);
    if (step == 2) features.add(sourceId, destId);
    if (step != 3) continue;
    partitions.add(sourceId, destId);
    const QString sql = QStringLiteral("select * from FeaturePartition where FeaturePartitionID=");
    const QVariant from = firstValue(source(), sql + QString::number(sourceId), QStringLiteral("Minimum"));
    const QVariant to = firstValue(dest(), sql + QString::number(destId), QStringLiteral("Minimum"));
    // A partition without a value has nothing to translate.
    if (from.isNull() || to.isNull()) continue;
    if (values.contains(from.toInt())) throw repeatedPartitionValue(source(), SourceFeatureID, from.toInt());
    values.add(from.toInt(), to.toInt());
  }
  writes.commit();

  if (step == 1) g.SubjectMap = std::move(subjects);
  if (step == 2) g.FeatureMap = std::move(features);
  if (step == 3) {
    g.FeaturePartitionMap = std::move(partitions);
    *g.PartitionValueMap = std::move(values);
  }
  Unload();
}

QString MappingModel::UnmappedIdList(qint32 step) const {
  QStringList ids;
  // The leading 0 of the feature list matches no feature.
  if (step == 2) ids << QStringLiteral("0");
  for (const MappingList::Entry& e : SourceList.entries()) ids << QString::number(e.itemData);
  return QLatin1Char('(') + ids.join(QLatin1Char(',')) + QLatin1Char(')');
}

void MappingModel::createUnmappedItems(qint32 step, IdMap& pairs) {
  const StepTables& t = tablesFor(step);
  Bulk::Query from = source().OpenQuery(QString::fromLatin1(t.readRows) + UnmappedIdList(step));
  // The exchange columns from the first copied on, then those set here.
  QStringList columns = from.columns().mid(t.firstCopiedColumn);
  const auto place = [&columns](const QString& name) {
    for (int i = 0; i < columns.size(); ++i)
      if (columns[i].compare(name, Qt::CaseInsensitive) == 0) return size_t(i);
    columns << name;
    return size_t(columns.size() - 1);
  };
  const size_t featureAt = step == 3 ? place(QStringLiteral("FeatureID")) : 0;
  const size_t minimumAt = step == 3 && bProblemType ? place(QStringLiteral("Minimum")) : 0;
  const size_t maximumAt = step == 3 && bProblemType ? place(QStringLiteral("Maximum")) : 0;
  Bulk::Writer to = dest().InsertInto(QLatin1String(t.table), columns, dest().ColumnsOf(QLatin1String(t.table)).value(0),
                                      Bulk::ReadBack::AtOnce);

  const IdMap& featureMap = session_.FeatureMap;
  Bulk::Row row(size_t(columns.size()));
  while (from.next()) {
    std::fill(row.begin(), row.end(), Bulk::Cell());
    for (int p = t.firstCopiedColumn; p < from.columnCount(); ++p) row[size_t(p - t.firstCopiedColumn)] = from.at(p);
    if (step == 3) {
      // The feature was paired before its partitions; the dialog's system
      // feature stands in should the engine not have recorded the pair.
      const qint32 featureId = featureMap.value(from.at(QStringLiteral("FeatureID")).toInt()).value_or(DestFeatureID);
      row[featureAt] = Bulk::Cell::integer(featureId);
      if (bProblemType) {
        const qint32 v = GetFreePartitionValue(from.at(QStringLiteral("Minimum")).toInt(), featureId);
        row[minimumAt] = Bulk::Cell::integer(v);
        row[maximumAt] = Bulk::Cell::integer(v);
      }
    }
    pairs.add(from.at(0).toInt(), to.add(row));
  }
}

qint32 MappingModel::GetFreePartitionValue(qint32 nMinimum, qint32 nFeatureID) {
  CDataAccess& dal = dest();
  const QString ofFeature = QStringLiteral("select * from featurepartition where FeatureID=") +
                            QString::number(nFeatureID) + QStringLiteral(" and Minimum=");
  if (!rowFound(dal, ofFeature + QString::number(nMinimum))) return nMinimum;

  const QVariant largestId =
      firstValue(dal, QStringLiteral("select max(Featurepartitionid) Featurepartitionid  from featurepartition"),
                 QStringLiteral("FeaturePartitionid"));
  if (!largestId.isNull() && !rowFound(dal, ofFeature + QString::number(largestId.toInt())))
    return largestId.toInt();

  return firstValue(dal,
                    QStringLiteral("select max(Minimum) Minimum from featurepartition where FeatureID=") +
                        QString::number(nFeatureID),
                    QStringLiteral("Minimum"))
             .toInt() +
         1;
}
