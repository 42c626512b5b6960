// Problem groups, problems, their links to contents and their feature values.
#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CGuid.h"
#include "import/CImport.h"
#include "import/HierarchyXml.h"
#include "mapping/ImportSession.h"

namespace {
const QString ProblemTable = QStringLiteral("Problem");
const QString ProblemOrder = QStringLiteral("ProblemID");
const QString ProblemsContentsTable = QStringLiteral("ProblemsContents");
const QString ProblemsFeaturesTable = QStringLiteral("ProblemsFeatures");

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

QVector<StreamedTable> CImport::StreamedTables() {
  return {{ProblemTable, ProblemOrder}, {ProblemsContentsTable, QString()}, {ProblemsFeaturesTable, QString()}};
}

void CImport::ImportProblemGroup() {
  m_ProblemGroupMap.clear();
  CopyRows({QStringLiteral("select * from ProblemGroup"), QStringLiteral("ProblemGroup"), 1, &m_ProblemGroupMap, {}});
}

void CImport::ImportProblem() {
  m_ProblemMap.clear();
  CopyRows(ProblemStep());
}

CImport::CopyStep CImport::ProblemStep() {
  const auto overrides = [this, guid = CGuid()](const Bulk::Query& source, TargetRow& target) {
    const std::optional<qint32> group =
        GroupReference(source.at(source.column(QStringLiteral("ProblemGroupID"))).toVariant());
    if (group) {
      const std::optional<qint32> newGroup = m_ProblemGroupMap.value(*group);
      if (newGroup)
        target[QStringLiteral("ProblemGroupID")] = Bulk::Cell::integer(*newGroup);
      else
        CountSkipped(QStringLiteral("Problem"));  // written without a group
    }
    Bulk::Cell& code = target[QStringLiteral("ProblemCode")];
    if (code.isNull()) code = Bulk::Cell::text(guid.CreateGUID());
  };
  CopyStep step{QString(), ProblemTable, 2, &m_ProblemMap, overrides, {QStringLiteral("ProblemGroupID")}};
  step.sourceTable = ProblemTable;
  step.sourceOrder = ProblemOrder;
  return step;
}

void CImport::ImportProblemsContents(const ProblemFilter& wanted, std::unique_ptr<Bulk::RowSource> rows) {
  Bulk::Query source = ReadSource(ProblemsContentsTable, {}, std::move(rows));
  if (!source.next()) return;
  const int problemAt = source.column(QStringLiteral("ProblemID"));
  const int contentAt = source.column(QStringLiteral("ContentID"));
  const int updatedAt = source.column(QStringLiteral("LastUpdated"));
  Bulk::Writer target = Dest().InsertInto(ProblemsContentsTable, {QStringLiteral("ProblemID"), QStringLiteral("ContentID"),
                                                                  QStringLiteral("Lastupdated")});
  Bulk::Row row(3);
  do {
    if (wanted && !wanted(source.at(problemAt).toInt())) continue;
    const std::optional<Bulk::Cell> problem = Translate(m_ProblemMap, source.at(problemAt));
    const std::optional<Bulk::Cell> content = Translate(m_ContentMap, source.at(contentAt));
    if (problem && content) {
      row = {*problem, *content, source.at(updatedAt)};
      target.add(row);
    } else {
      CountSkipped(QStringLiteral("ProblemsContents"));
    }
    m_session.checkCancel();
  } while (source.next());
  target.flush();
}

void CImport::ImportProblemsFeatures(const ProblemFilter& wanted, std::unique_ptr<Bulk::RowSource> rows) {
  const ImportSession& g = m_session;
  Bulk::Query source = ReadSource(ProblemsFeaturesTable, {}, std::move(rows));
  if (!source.next()) return;
  const int problemAt = source.column(QStringLiteral("ProblemID"));
  const int featureAt = source.column(QStringLiteral("FeatureID"));
  const int subjectAt = source.column(QStringLiteral("SubjectID"));
  const int valueAt = source.column(QStringLiteral("Value"));
  const int updatedAt = source.column(QStringLiteral("Lastupdated"));
  Bulk::Writer target = Dest().InsertInto(ProblemsFeaturesTable,
                      {QStringLiteral("ProblemID"), QStringLiteral("FeatureID"), QStringLiteral("SubjectID"),
                       QStringLiteral("Value"), QStringLiteral("Lastupdated")});
  Bulk::Row row(5);
  do {
    if (wanted && !wanted(source.at(problemAt).toInt())) continue;
    const std::optional<Bulk::Cell> problem = Translate(m_ProblemMap, source.at(problemAt));
    const std::optional<Bulk::Cell> feature = Translate(g.FeatureMap, source.at(featureAt));
    const std::optional<Bulk::Cell> subject = Translate(g.SubjectMap, source.at(subjectAt));
    if (problem && feature && subject) {
      row = {*problem, *feature, *subject, TranslateFeatureValue(source.at(1), source.at(valueAt)),
             source.at(updatedAt)};
      target.add(row);
    } else {
      CountSkipped(QStringLiteral("ProblemsFeatures"));
    }
    m_session.checkCancel();
  } while (source.next());
  target.flush();
}

// Values of a feature whose partitions were paired are partition values and
// follow the value map; without a pair the value has no meaning here: NULL.
Bulk::Cell CImport::TranslateFeatureValue(const Bulk::Cell& oldFeature, const Bulk::Cell& value) {
  const std::optional<std::shared_ptr<IdMap>> values = m_session.FeatureValueMaps.value(oldFeature.toInt());
  if (!values || !*values || value.isNull()) return value;
  const std::optional<qint32> newValue = (*values)->value(value.toInt());
  if (newValue) return Bulk::Cell::integer(*newValue);
  CountSkipped(QStringLiteral("ProblemsFeatures.Value"));
  return {};
}

// A tree that does not read (malformed, past the XML limits) keeps its text
// and is reported; one declaring a document type is not kept. The trees are those of the file: the rows were copied
// unchanged.
void CImport::UpdateProblemHierarchy() {
  Bulk::Query source = Source().OpenQuery(QStringLiteral("select * from ProblemGroup"));
  if (!source.next()) return;
  const int treeAt = source.column(QStringLiteral("ProblemHierarchy"));
  std::vector<std::pair<qint32, QString>> trees;
  do {
    const std::optional<qint32> group = m_ProblemGroupMap.value(source.at(0).toInt());
    const Bulk::Cell& text = source.at(treeAt);
    if (!group || text.isNull()) continue;
    const QString tree = text.toString();
    if (tree.trimmed().isEmpty()) continue;
    if (DeclaresDocumentType(tree)) {
      CountUnusedTree(QStringLiteral("ProblemHierarchy"));
      Dest().ExecQuery(QStringLiteral("update ProblemGroup set ProblemHierarchy=NULL where ProblemGroupID=?"),
                       QVariantList{*group});
      continue;
    }
    std::optional<QString> translated = TranslateProblemTree(tree, m_ProblemMap);
    if (translated)
      trees.emplace_back(*group, std::move(*translated));
    else
      CountSkipped(QStringLiteral("ProblemHierarchy"));
  } while (source.next());
  Dest().UpdateColumn(QStringLiteral("ProblemGroup"), QStringLiteral("ProblemGroupID"), QStringLiteral("ProblemHierarchy"),
                      trees);
}
