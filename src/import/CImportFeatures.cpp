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
bool SameProblemType(const Recordset& exchange, const Recordset& system) {
  CExtPropertiesMapItem source;
  CExtPropertiesMapItem dest;
  source.DeSerialize(exchange.Value(QStringLiteral("ExtProperties")).toString());
  dest.DeSerialize(system.Value(QStringLiteral("ExtProperties")).toString());
  return source.Compare(dest);
}
}  // namespace

bool CImport::ImportFeature() {
  IdMap& featureMap = m_session.FeatureMap;
  featureMap.clear();

  RecordsetPtr found;
  CopyStep step{QStringLiteral("select * from Feature where FeatureNumber<>0"), QStringLiteral("Feature"), 1,
                &featureMap, {}};
  // A feature whose number the system has already is that feature.
  step.include = [&](const Bulk::Reader& source) {
    const qint16 n = static_cast<qint16>(source.at(source.column(QStringLiteral("FeatureNumber"))).toInt());
    Dest().GetConnectedRecordset(QStringLiteral("select FeatureID from Feature where FeatureNumber=%1").arg(n),
                                 found);
    if (found->Eof()) return true;
    featureMap.add(source.at(0).toInt(), found->Value(0).toInt());
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
  RecordsetPtr source;
  RecordsetPtr system;
  Source().GetConnectedRecordset(userFeatures, source);
  if (source->Eof()) return true;
  Dest().GetConnectedRecordset(userFeatures, system);
  if (system->Eof()) {
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

  RecordsetPtr feature;
  Source().GetConnectedRecordset(QStringLiteral("select * from Feature where FeatureID=%1").arg(oldF), feature);
  if (feature->Eof()) return true;
  // A feature without a type is not of type 0: its partitions are not paired.
  const QVariant type = feature->Value(QStringLiteral("type"));
  const bool bIntegerType = !type.isNull() && type.toInt() == 0;
  const bool bProblemType = feature->Value(QStringLiteral("FeatureNumber")).toInt() == 1;
  if (!bIntegerType) return true;

  IdMap pairs = PairNumberedPartitions(oldF, newF, bProblemType);
  RecordsetPtr partitions;
  Source().GetConnectedRecordset(QStringLiteral("select * from FeaturePartition where FeatureID=%1").arg(oldF),
                                 partitions);
  if (!partitions->Eof()) {
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
  RecordsetPtr source;
  RecordsetPtr system;
  Source().GetConnectedRecordset(
      QStringLiteral("select * from FeaturePartition where FeaturePartitionNumber<>0 and FeatureID=%1").arg(oldF),
      source);
  for (; !source->Eof(); source->MoveNext()) {
    const qint16 m = static_cast<qint16>(source->Value(QStringLiteral("FeaturePartitionNumber")).toInt());
    Dest().GetConnectedRecordset(
        QStringLiteral("select * from FeaturePartition where FeaturePartitionNumber=%1 and FeatureID=%2").arg(m).arg(newF),
        system);
    if (system->Eof()) continue;
    if (bProblemType && !SameProblemType(*source, *system)) continue;
    pairs.add(source->Value(0).toInt(), system->Value(0).toInt());
  }
  return pairs;
}

// Features of type 1 the course uses: it takes all their system partitions.
QList<qint32> CImport::TypeOneFeatures() {
  RecordsetPtr rs;
  Source().GetConnectedRecordset(
      QStringLiteral("select distinct f.featureid from coursesfeaturepartitions cfp ,featurepartition fp ,feature f "
                     "\r\n Where fp.featurepartitionid = cfp.featurepartitionid and f.featureid=fp.featureid and "
                     " f.Type = 1"),
      rs);
  QList<qint32> ids;
  for (; !rs->Eof(); rs->MoveNext()) ids << rs->Value(0).toInt();
  return ids;
}

void CImport::ImportCoursesFeaturePartitions() {
  const ImportSession& g = m_session;
  const QList<qint32> typeOne = TypeOneFeatures();
  const QSet<qint32> bulkFeatures(typeOne.cbegin(), typeOne.cend());

  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(
      QStringLiteral("select cfp.*,fp.featureid from CoursesFeaturePartitions cfp,FeaturePartition fp where "
                     "cfp.FeaturePartitionID=fp.FeaturePartitionID "),
      source);
  for (; !source->Eof(); source->MoveNext()) {
    const std::optional<qint32> p =
        g.FeaturePartitionMap.value(source->Value(QStringLiteral("FeaturePartitionID")).toInt());
    if (!p) {
      // Partitions of type-1 features come in bulk below; anything else is a loose reference.
      if (!bulkFeatures.contains(source->Value(QStringLiteral("featureid")).toInt()))
        CountSkipped(QStringLiteral("CoursesFeaturePartitions"));
      continue;
    }
    Dest().GetConnectedRecordset(QStringLiteral("select * from CoursesFeaturePartitions where courseid=%1 and "
                                                "FeaturePartitionID=%2")
                                     .arg(m_nCourseID)
                                     .arg(*p),
                                 target);
    if (!target->Eof()) continue;
    target->AddNew();
    target->SetValue(QStringLiteral("CourseID"), m_nCourseID);
    target->SetValue(QStringLiteral("FeaturePartitionID"), *p);
    target->SetValue(QStringLiteral("DefaultWeight"), source->Value(QStringLiteral("DefaultWeight")));
    target->SetValue(QStringLiteral("Lastupdated"), source->Value(QStringLiteral("Lastupdated")));
    target->Update();
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
  Dest().ExecQuery(QString(),
                   QStringLiteral("insert into coursesfeaturepartitions (courseid,featurepartitionid,defaultweight)"
                                  "\r\nselect %1,featurepartitionid,0 from featurepartition where featureid in (%2)")
                       .arg(m_nCourseID)
                       .arg(list.join(QLatin1Char(','))));
}
