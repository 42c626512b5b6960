// Features and their partitions: the mapping steps 2 and 3 and the course's
// partition weights.
#include <QSet>
#include <QStringList>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CImport.h"
#include "mapping/ImportSession.h"
#include "mapping/CExtPropertiesMapItem.h"
#include "mapping/MappingModel.h"

namespace {
// Two problem-type partitions pair by number only when they describe the same problem type.
bool SameProblemType(const Bulk::Query& exchange, const Bulk::Query& system) {
  CExtPropertiesMapItem source;
  CExtPropertiesMapItem dest;
  source.DeSerialize(exchange.value(QStringLiteral("ExtProperties")).toString());
  dest.DeSerialize(system.value(QStringLiteral("ExtProperties")).toString());
  return source.Compare(dest);
}
}  // namespace

bool CImport::ImportFeature() {
  IdMap& featureMap = m_session.FeatureMap;
  featureMap.clear();

  CopyStep step{QStringLiteral("select * from Feature where FeatureNumber<>0"), QStringLiteral("Feature"), 1,
                &featureMap, {}};
  // A feature whose number the system has already is that feature.
  step.include = [&](const Bulk::Query& source) {
    const qint16 n = static_cast<qint16>(source.at(source.column(QStringLiteral("FeatureNumber"))).toInt());
    Bulk::Query found = Dest().OpenQuery(QStringLiteral("select FeatureID from Feature where FeatureNumber=%1").arg(n));
    if (!found.next()) return true;
    featureMap.add(source.at(0).toInt(), found.at(0).toInt());
    return false;
  };
  step.includeReadsTarget = true;
  CopyRows(step);
  return ImportUserFeatures();
}

// Features defined by users (number 0) are paired by the user or by name,
// unless the system has none yet: then all are created.
bool CImport::ImportUserFeatures() {
  const QString userFeatures = QStringLiteral("select * from Feature where FeatureNumber=0");
  if (Source().OpenQuery(userFeatures).empty()) return true;
  if (Dest().OpenQuery(userFeatures).empty()) {
    CopyRows({userFeatures, QStringLiteral("Feature"), 1, &m_session.FeatureMap, {}});
    return true;
  }
  MappingModel& form = m_session.mappingForm();
  if (m_session.bAutoMap) {
    form.AutoNameMap(2);
    form.FinishFeatureMap();
    return true;
  }
  return ShowMappingStep();
}

bool CImport::ImportFeaturePartition() {
  ImportSession& g = m_session;
  g.FeatureValueMaps.clear();
  g.FeaturePartitionMap.clear();
  // A copy: the finish operations add to FeatureMap while we walk it.
  const IdMap features = g.FeatureMap;
  for (int i = 0; i < features.size(); ++i)
    if (!PairFeaturePartitions(features.keyAt(i), features.itemAt(i))) return false;
  return true;
}

bool CImport::PairFeaturePartitions(qint32 oldF, qint32 newF) {
  ImportSession& g = m_session;
  g.PartitionValueMap = std::make_shared<IdMap>();

  bool bIntegerType = false;
  bool bProblemType = false;
  {
    Bulk::Query feature = Source().OpenQuery(QStringLiteral("select * from Feature where FeatureID=%1").arg(oldF));
    if (!feature.next()) return true;
    // A feature without a type is not of type 0: its partitions are not paired.
    const QVariant type = feature.value(QStringLiteral("type"));
    bIntegerType = !type.isNull() && type.toInt() == 0;
    bProblemType = feature.value(QStringLiteral("FeatureNumber")).toInt() == 1;
  }
  if (!bIntegerType) return true;

  IdMap pairs = PairNumberedPartitions(oldF, newF, bProblemType);
  if (!Source().OpenQuery(QStringLiteral("select * from FeaturePartition where FeatureID=%1").arg(oldF)).empty()) {
    MappingModel& form = m_session.mappingForm();
    form.bIntegerType = bIntegerType;
    form.bProblemType = bProblemType;
    form.SourceFeatureID = oldF;
    form.DestFeatureID = newF;
    form.tmpPartitionMap = std::move(pairs);
    form.intStep = 3;
    if (g.bAutoMap) {
      form.AutoNameMap(3);
      form.FinishFeaturePartitionMap();
    } else if (!ShowMappingStep()) {
      return false;
    }
  }
  if (!g.PartitionValueMap->empty()) g.FeatureValueMaps.add(oldF, g.PartitionValueMap);
  return true;
}

// Partitions with a fixed number are the same partition in every database.
// The number is looked up among the partitions of the paired system feature
// only: databases that reuse numbers across features would otherwise pair a
// partition with another feature's and file the course's weights and the
// problems' values under the wrong feature.
IdMap CImport::PairNumberedPartitions(qint32 oldF, qint32 newF, bool bProblemType) {
  IdMap pairs;
  Bulk::Query source = Source().OpenQuery(
      QStringLiteral("select * from FeaturePartition where FeaturePartitionNumber<>0 and FeatureID=%1").arg(oldF));
  while (source.next()) {
    const qint16 m = static_cast<qint16>(source.at(QStringLiteral("FeaturePartitionNumber")).toInt());
    Bulk::Query system = Dest().OpenQuery(
        QStringLiteral("select * from FeaturePartition where FeaturePartitionNumber=%1 and FeatureID=%2").arg(m).arg(newF));
    if (!system.next()) continue;
    if (bProblemType && !SameProblemType(source, system)) continue;
    pairs.add(source.at(0).toInt(), system.at(0).toInt());
  }
  return pairs;
}

// Features of type 1 the course uses: it takes all their system partitions.
QList<qint32> CImport::TypeOneFeatures() {
  Bulk::Query rows = Source().OpenQuery(
      QStringLiteral("select distinct f.featureid from coursesfeaturepartitions cfp ,featurepartition fp ,feature f "
                     "\r\n Where fp.featurepartitionid = cfp.featurepartitionid and f.featureid=fp.featureid and "
                     " f.Type = 1"));
  QList<qint32> ids;
  while (rows.next()) ids << rows.at(0).toInt();
  return ids;
}

void CImport::ImportCoursesFeaturePartitions() {
  const ImportSession& g = m_session;
  const QList<qint32> typeOne = TypeOneFeatures();
  const QSet<qint32> bulkFeatures(typeOne.cbegin(), typeOne.cend());

  Bulk::Writer target = Dest().InsertInto(QStringLiteral("CoursesFeaturePartitions"),
                                          {QStringLiteral("CourseID"), QStringLiteral("FeaturePartitionID"),
                                           QStringLiteral("DefaultWeight"), QStringLiteral("Lastupdated")},
                                          QString(), Bulk::ReadBack::AtOnce);
  Bulk::Query source = Source().OpenQuery(
      QStringLiteral("select cfp.*,fp.featureid from CoursesFeaturePartitions cfp,FeaturePartition fp where "
                     "cfp.FeaturePartitionID=fp.FeaturePartitionID "));
  while (source.next()) {
    const std::optional<qint32> p = g.FeaturePartitionMap.value(source.at(QStringLiteral("FeaturePartitionID")).toInt());
    if (!p) {
      // Partitions of type-1 features come in bulk below; anything else is a loose reference.
      if (!bulkFeatures.contains(source.at(QStringLiteral("featureid")).toInt()))
        CountSkipped(QStringLiteral("CoursesFeaturePartitions"));
      continue;
    }
    const bool written = !Dest()
                              .OpenQuery(QStringLiteral("select * from CoursesFeaturePartitions where courseid=%1 and "
                                                        "FeaturePartitionID=%2")
                                             .arg(m_nCourseID)
                                             .arg(*p))
                              .empty();
    if (written) continue;
    target.add({Bulk::Cell::integer(m_nCourseID), Bulk::Cell::integer(*p), source.at(QStringLiteral("DefaultWeight")),
                source.at(QStringLiteral("Lastupdated"))});
  }

  QStringList list;
  for (const qint32 oldF : typeOne) {
    const std::optional<qint32> newF = g.FeatureMap.value(oldF);
    if (newF)
      list << QString::number(*newF);
    else
      CountSkipped(QStringLiteral("CoursesFeaturePartitions"));
  }
  if (list.isEmpty()) return;
  Dest().ExecQuery(QStringLiteral("insert into coursesfeaturepartitions (courseid,featurepartitionid,defaultweight)"
                                  "\r\nselect %1,featurepartitionid,0 from featurepartition where featureid in (%2)")
                       .arg(m_nCourseID)
                       .arg(list.join(QLatin1Char(','))));
}
