// Problem groups, problems, their links to contents and their feature values.
#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CGuid.h"
#include "import/CImport.h"
#include "import/HierarchyXml.h"
#include "mapping/ImportSession.h"

namespace {
// A problem belongs to a group when its group reference is a positive number.
std::optional<qint32> GroupReference(const QVariant& value) {
  if (value.isNull()) return std::nullopt;
  bool ok = false;
  const double number = value.toString().trimmed().toDouble(&ok);
  if (!ok) return std::nullopt;
  const qint32 id = qRound(number);
  return id > 0 ? std::optional<qint32>(id) : std::nullopt;
}
}  // namespace

void CImport::ImportProblemGroup() {
  m_ProblemGroupMap.clear();
  CopyRows({QStringLiteral("select * from ProblemGroup"), QStringLiteral("select * from ProblemGroup where 1=0"), 1,
            &m_ProblemGroupMap, {}});
}

void CImport::ImportProblem() {
  m_ProblemMap.clear();
  const CGuid guid;
  const auto overrides = [&](const Recordset& source, Recordset& target) {
    const std::optional<qint32> group = GroupReference(source.Value(QStringLiteral("ProblemGroupID")));
    if (group) {
      const std::optional<qint32> newGroup = m_ProblemGroupMap.value(*group);
      if (newGroup)
        target.SetValue(QStringLiteral("ProblemGroupID"), *newGroup);
      else
        CountSkipped(QStringLiteral("Problem"));  // written without a group
    }
    if (target.Value(QStringLiteral("ProblemCode")).isNull())
      target.SetValue(QStringLiteral("ProblemCode"), guid.CreateGUID());
  };
  CopyRows({QStringLiteral("select * from Problem order by problemid"), QStringLiteral("select * from Problem where 1=0"),
            2, &m_ProblemMap, overrides});
}

void CImport::ImportProblemsContents() {
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(QStringLiteral("select * from ProblemsContents"), source);
  Dest().GetConnectedRecordset(QStringLiteral("select  * from ProblemsContents where 1=0"), target);
  for (; !source->Eof(); source->MoveNext()) {
    const std::optional<QVariant> problem = Translate(m_ProblemMap, source->Value(QStringLiteral("ProblemID")));
    const std::optional<QVariant> content = Translate(m_ContentMap, source->Value(QStringLiteral("ContentID")));
    if (problem && content) {
      target->AddNew();
      target->SetValue(QStringLiteral("ProblemID"), *problem);
      target->SetValue(QStringLiteral("ContentID"), *content);
      target->SetValue(QStringLiteral("Lastupdated"), source->Value(QStringLiteral("LastUpdated")));
      target->Update();
    } else {
      CountSkipped(QStringLiteral("ProblemsContents"));
    }
    m_session.checkCancel();
  }
}

void CImport::ImportProblemsFeatures() {
  const ImportSession& g = m_session;
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(QStringLiteral("select * from ProblemsFeatures"), source);
  Dest().GetConnectedRecordset(QStringLiteral("select * from ProblemsFeatures where 1=0"), target);
  for (; !source->Eof(); source->MoveNext()) {
    const std::optional<QVariant> problem = Translate(m_ProblemMap, source->Value(QStringLiteral("ProblemID")));
    const std::optional<QVariant> feature = Translate(g.FeatureMap, source->Value(QStringLiteral("FeatureID")));
    const std::optional<QVariant> subject = Translate(g.SubjectMap, source->Value(QStringLiteral("SubjectID")));
    if (problem && feature && subject) {
      target->AddNew();
      target->SetValue(QStringLiteral("ProblemID"), *problem);
      target->SetValue(QStringLiteral("FeatureID"), *feature);
      target->SetValue(QStringLiteral("SubjectID"), *subject);
      target->SetValue(QStringLiteral("Value"), TranslateFeatureValue(source->Value(1), source->Value(QStringLiteral("Value"))));
      target->SetValue(QStringLiteral("Lastupdated"), source->Value(QStringLiteral("Lastupdated")));
      target->Update();
    } else {
      CountSkipped(QStringLiteral("ProblemsFeatures"));
    }
    m_session.checkCancel();
  }
}

// Values of a feature whose partitions were paired are partition values and
// follow the value map; without a pair the value has no meaning here: NULL.
QVariant CImport::TranslateFeatureValue(const QVariant& oldFeature, const QVariant& value) {
  const std::optional<std::shared_ptr<IdMap>> values = m_session.FeatureValueMaps.value(oldFeature.toInt());
  if (!values || !*values || value.isNull()) return value;
  const std::optional<qint32> newValue = (*values)->value(value.toInt());
  if (newValue) return *newValue;
  CountSkipped(QStringLiteral("ProblemsFeatures.Value"));
  return QVariant();
}

// A tree that does not read (malformed, past the XML limits) keeps its text
// and is reported.
void CImport::UpdateProblemHierarchy() {
  RecordsetPtr group;
  for (int i = 0; i < m_ProblemGroupMap.size(); ++i) {
    Dest().GetConnectedRecordset(
        QStringLiteral("select * from ProblemGroup where ProblemGroupID=%1").arg(m_ProblemGroupMap.itemAt(i)), group);
    if (group->Eof()) continue;
    const QVariant text = group->Value(QStringLiteral("ProblemHierarchy"));
    if (text.isNull() || text.toString().trimmed().isEmpty()) continue;
    const std::optional<QString> translated = TranslateProblemTree(text.toString(), m_ProblemMap);
    if (!translated) {
      CountSkipped(QStringLiteral("ProblemHierarchy"));
      continue;
    }
    group->SetValue(QStringLiteral("ProblemHierarchy"), *translated);
    group->Update();
  }
}
