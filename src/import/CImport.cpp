#include "import/CImport.h"

#include <QSet>
#include <QStringList>

#include <algorithm>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/Schema.h"
#include "import/ImportGuards.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingDialog.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {
constexpr int kNoRowsMessage = 318;
const QString kNotImported = QStringLiteral("未导入");

bool HasRows(CDataAccess& dal, const QString& sql) { return !dal.OpenQuery(sql).empty(); }

// The name of a table's first column: its key.
QString FirstColumnOf(CDataAccess& dal, const QString& table) { return dal.ColumnsOf(table).value(0); }

// What the person calls the rows of a table.
QString TableLabel(const QString& table) {
  static const QMap<QString, QString> labels{
      {QStringLiteral("Subject"), QStringLiteral("专业")},
      {QStringLiteral("Course"), QStringLiteral("课程")},
      {QStringLiteral("CoursesSubjects"), QStringLiteral("课程专业")},
      {QStringLiteral("Content"), QStringLiteral("章节")},
      {QStringLiteral("Syllabus"), QStringLiteral("教学大纲")},
      {QStringLiteral("Feature"), QStringLiteral("题目指标")},
      {QStringLiteral("FeaturePartition"), QStringLiteral("题目指标分布")},
      {QStringLiteral("CoursesFeaturePartitions"), QStringLiteral("课程指标分布")},
      {QStringLiteral("ProblemGroup"), QStringLiteral("题组")},
      {QStringLiteral("Problem"), QStringLiteral("题目")},
      {QStringLiteral("ProblemsContents"), QStringLiteral("题目章节")},
      {QStringLiteral("ProblemsFeatures"), QStringLiteral("题目指标值")},
      {QStringLiteral("PaperDesign"), QStringLiteral("试卷模版")},
      {QStringLiteral("Paper"), QStringLiteral("试卷")},
      {QStringLiteral("AnswerSheet"), QStringLiteral("学生答卷")}};
  return labels.value(table, table);
}

TransferResult Outcome(TransferResult::Status status, const QString& file, const QString& reason, bool shown) {
  return TransferResult::ended(status, file, reason, shown);
}
}  // namespace

CImport::CImport(Interaction& ui, std::shared_ptr<CancelFlag> cancel) : m_session(ui, std::move(cancel)) {}

CDataAccess& CImport::Source() { return m_session.ImportSourceDAL(); }
CDataAccess& CImport::Dest() { return m_session.ImportDestDAL(); }

// ---------------------------------------------------------------- opening

// nullopt when the file opened and holds what an import needs; otherwise how
// the import ends, the person told why.
std::optional<TransferResult> CImport::OpenExchangeFile(const QString& strFileName, bool bCourse) {
  Interaction& ui = m_session.ui();
  bool bHasRows = false;
  try {
    Source().OpenExchangeFile(strFileName, ExchangeAccess::Read, bCourse ? StreamedTables() : QVector<StreamedTable>());
    bHasRows = CheckExchangeTables(Source(), bCourse);
  } catch (const DataError& e) {
    const QString text = QStringLiteral("连接数据库失败！\r\n") + e.description() + QStringLiteral("\r\n") + strFileName;
    ui.MsgBox(text, {}, QString());
    return Outcome(TransferResult::Status::Failed, strFileName, text, true);
  }
  if (bHasRows) return std::nullopt;
  ui.MsgBox(Res::str(kNoRowsMessage), {MessageKind::Warning}, Res::str(Res::TransferTitle));
  return Outcome(TransferResult::Status::Declined, strFileName, Res::str(kNoRowsMessage), true);
}

// False when the main table is empty; a table that is missing raises.
bool CImport::CheckExchangeTables(CDataAccess& dal, bool bCourse) {
  const QString mainTable = bCourse ? QStringLiteral("Course") : QStringLiteral("Paper");
  if (!HasRows(dal, QStringLiteral("select * from ") + mainTable)) return false;
  const QStringList tables = bCourse ? QStringList{QStringLiteral("Subject"), QStringLiteral("Problem"),
                                                   QStringLiteral("ProblemGroup"),
                                                   QStringLiteral("ProblemsFeatures"),
                                                   QStringLiteral("ProblemsContents")}
                                     : QStringList{QStringLiteral("Subject"), QStringLiteral("PaperDesign"),
                                                   QStringLiteral("AnswerSheet")};
  for (const QString& table : tables) dal.ColumnsOf(table);
  return true;
}

// ---------------------------------------------------------------- driver

TransferResult CImport::ImportCourseData(const QString& strFileName) {
  return Run(strFileName, [this](const QString& file) { return CourseSteps(file); });
}

TransferResult CImport::ImportPaperData(const QString& strFileName) {
  return Run(strFileName, [this](const QString& file) { return PaperSteps(file); });
}

// One file from start to end: whatever stops it, the system database is left
// as it was and the exchange file is let go of.
TransferResult CImport::Run(const QString& file, const Steps& steps) {
  m_skipped.clear();
  m_unusedTrees.clear();
  m_strDryRun.clear();
  m_imported = {};
  m_nShownSteps = 0;
  m_session.clearMaps();
  TransferResult result;
  try {
    m_session.checkCancel();
    result = steps(file);
  } catch (const TransferCancelled&) {
    result = Outcome(TransferResult::Status::Cancelled, file, QStringLiteral("已取消"), false);
  } catch (const std::exception& e) {
    result = Outcome(TransferResult::Status::Failed, file, failureText(e), false);
  }
  if (!result.succeeded()) {
    m_skipped.clear();
    m_unusedTrees.clear();
  }
  m_session.mappingForm().Unload();
  try {
    if (m_session.hasSourceDAL()) Source().CloseConnection();
  } catch (...) {  // a file opened for reading has nothing to write back
  }
  return result;
}

TransferResult CImport::CourseSteps(const QString& file) {
  if (auto refused = OpenExchangeFile(file, true)) return *refused;
  Transaction transaction(Dest(), ImportTurn());
  const TableCounts before = m_session.bDryRun ? CountSystemRows() : TableCounts();
  if (!ConfirmNameConflict()) {
    TransferResult declined = Outcome(TransferResult::Status::Declined, file, m_strDeclined, true);
    declined.declinedAt = Question::RenameConflictingCourse;
    return declined;
  }
  const TransferResult cancelled = Outcome(TransferResult::Status::Declined, file, kNotImported, false);
  if (!RunCourseMappingSteps()) return cancelled;

  const BusyPointer busy(m_session.ui());
  RaiseProgress(0, Res::str(kImportingCourse));
  ImportCourse();
  RaiseProgress(10, Res::str(324));
  ImportCoursesFeaturePartitions();
  RaiseProgress(20, Res::str(325));
  ImportContent();
  RaiseProgress(30, Res::str(326));
  ImportProblemGroup();
  RaiseProgress(40, Res::str(327));
  ImportProblem();
  RaiseProgress(50, Res::str(328));
  ImportProblemsContents();
  RaiseProgress(60, Res::str(329));
  ImportProblemsFeatures();
  RaiseProgress(70, Res::str(330));
  ImportSyllabus();
  RaiseProgress(80, Res::str(331));
  UpdateContentHierarchy();
  RaiseProgress(90, Res::str(332));
  ImportCoursesSubjects();
  UpdateProblemHierarchy();
  m_session.checkCancel();
  {
    Bulk::Query stored = Dest().OpenQuery(QStringLiteral("select Name from Course where CourseID=%1").arg(m_nCourseID));
    m_imported = {stored.next() ? stored.value(0).toString() : QString(), m_ProblemMap.size(), m_ContentMap.size()};
  }
  if (m_session.bDryRun) {
    m_strDryRun = DescribeDryRun(before, CountSystemRows());
    return Outcome(TransferResult::Status::Succeeded, file, QString(), false);  // rolled back on the way out
  }
  transaction.commit();
  RaiseProgress(100, Res::str(333));
  return Outcome(TransferResult::Status::Succeeded, file, QString(), false);
}

TransferResult CImport::PaperSteps(const QString& file) {
  if (auto refused = OpenExchangeFile(file, false)) return *refused;
  Transaction transaction(Dest(), ImportTurn());
  m_nMappingSteps = 1;
  if (!RunSubjectStep()) return Outcome(TransferResult::Status::Declined, file, kNotImported, false);

  const BusyPointer busy(m_session.ui());
  RaiseProgress(0, QStringLiteral("正在导入试卷模版..."));
  ImportPaperDesign();
  RaiseProgress(30, QStringLiteral("正在导入试卷数据..."));
  ImportPaper();
  RaiseProgress(60, QStringLiteral("正在导入学生答卷..."));
  ImportAnswerSheet();
  m_session.checkCancel();
  transaction.commit();
  RaiseProgress(100, QStringLiteral("导入成功！"));
  return Outcome(TransferResult::Status::Succeeded, file, QString(), false);
}

// Imports on a shared system database take turns: the next one waits here,
// saying so, before it looks at names or pairs anything.
Transaction::ImportLock CImport::ImportTurn() {
  return {[this] { RaiseProgress(0, QStringLiteral("另一个导入正在进行，等待…")); },
          [this] { m_session.checkCancel(); }};
}

void CImport::RaiseProgress(qint16 nBarValue, const QString& strMessage) {
  m_session.checkCancel();
  if (ImportProgress) ImportProgress(nBarValue, strMessage);
}

bool CImport::ConfirmNameConflict() {
  m_bRenameCourse = false;
  Bulk::Query course = Source().OpenQuery(QStringLiteral("select Name from Course"));
  course.next();
  const QString name = course.value(QStringLiteral("Name")).toString();
  const QString sameName = Sql::equalsIgnoringCase(Dest().dialect(), QStringLiteral("Name"));
  if (Dest().OpenQuery(QStringLiteral("select CourseID from Course where ") + sameName, QVariantList{name}).empty())
    return true;
  if (m_session.ui().Ask(Question::RenameConflictingCourse, name) != Answer::Ok) {
    m_strDeclined = promptFor(Question::RenameConflictingCourse, name).text;
    return false;
  }
  m_bRenameCourse = true;
  return true;
}

// Subjects, features and partitions, as a course import and a course
// update pair them; false when the person cancelled a step.
bool CImport::RunCourseMappingSteps() {
  m_nMappingSteps = m_session.bAutoMap ? 0 : MappingStepCount();
  if (!RunSubjectStep()) return false;
  m_session.mappingForm().intStep = 2;
  if (!ImportFeature()) return false;
  m_session.mappingForm().intStep = 3;
  return ImportFeaturePartition();
}

bool CImport::RunSubjectStep() {
  MappingModel& form = m_session.mappingForm();
  form.intStep = 1;
  if (m_session.bAutoMap) {
    form.AutoNameMap(1);
    form.FinishSubjectMap();
    return true;
  }
  return ShowMappingStep();
}

// A form the person left without finishing counts as cancelled.
bool CImport::ShowMappingStep() {
  MappingModel& form = m_session.mappingForm();
  form.nStepNumber = ++m_nShownSteps;
  form.nStepCount = std::max(m_nMappingSteps, form.nStepNumber);
  if (!form.isLoaded()) form.Load();
  if (MappingDialog* dialog = MappingDialog::of(m_session.ui())) dialog->ShowMappingDialog(form);
  if (form.isLoaded()) form.cancel();
  return !form.bCancel;
}

// The mapping steps a course file shown by hand goes through: the subjects;
// the user-defined features when both databases have some (otherwise they are
// created without asking); the partitions of each feature of type 0 that has
// partitions in the file.
int CImport::MappingStepCount() {
  const QString userFeatures = QStringLiteral("select * from Feature where FeatureNumber=0");
  int count = 1 + (HasRows(Source(), userFeatures) && HasRows(Dest(), userFeatures) ? 1 : 0);
  QSet<qint32> partitioned;
  for (Bulk::Query rows = Source().OpenQuery(QStringLiteral("select FeatureID from FeaturePartition")); rows.next();)
    partitioned.insert(rows.at(0).toInt());
  for (Bulk::Query rows = Source().OpenQuery(QStringLiteral("select * from Feature")); rows.next();) {
    const Bulk::Cell& type = rows.at(QStringLiteral("type"));
    if (!type.isNull() && type.toInt() == 0 && partitioned.contains(rows.at(QStringLiteral("FeatureID")).toInt()))
      ++count;
  }
  return count;
}

// ---------------------------------------------------------------- dry run

CImport::TableCounts CImport::CountSystemRows() {
  TableCounts counts;
  for (const QString& table : Schema::courseTableNames()) {
    Bulk::Query count = Dest().OpenQuery(QStringLiteral("select count(*) from ") + table);
    count.next();
    counts.insert(table, count.value(0).toLongLong());
  }
  return counts;
}

// The rows each table would gain, and how many of the file's subjects,
// features and partitions would be paired with existing ones or created.
QString CImport::DescribeDryRun(const TableCounts& before, const TableCounts& after) const {
  QStringList written;
  for (auto it = after.cbegin(); it != after.cend(); ++it)
    if (it.value() != before.value(it.key()))
      written << QStringLiteral("%1 %2").arg(TableLabel(it.key())).arg(it.value() - before.value(it.key()));
  const auto pairing = [&](const QString& what, const QString& table, const IdMap& map) {
    const qint64 created = after.value(table) - before.value(table);
    const qint64 mapped = map.size() - (map.contains(-1) ? 1 : 0);
    return QStringLiteral("%1：对应 %2 个，新建 %3 个").arg(what).arg(mapped - created).arg(created);
  };
  QStringList lines{QStringLiteral("预览，没有写入任何数据。"),
                    QStringLiteral("将写入的行：") + (written.isEmpty() ? QStringLiteral("无") : written.join(QStringLiteral("，"))),
                    pairing(QStringLiteral("专业"), QStringLiteral("Subject"), m_session.SubjectMap),
                    pairing(QStringLiteral("题目指标"), QStringLiteral("Feature"), m_session.FeatureMap),
                    pairing(QStringLiteral("题目指标分布"), QStringLiteral("FeaturePartition"), m_session.FeaturePartitionMap)};
  if (!SkippedSummary().isEmpty()) lines << SkippedSummary();
  return lines.join(QStringLiteral("\r\n"));
}

// ---------------------------------------------------------------- row copy

Bulk::Cell& CImport::TargetRow::operator[](const QString& name) {
  for (int i = 0; i < columns_.size(); ++i)
    if (columns_[i].compare(name, Qt::CaseInsensitive) == 0) return values[size_t(i)];
  throw DataError(QStringLiteral("CImport"), QStringLiteral("Item cannot be found in the collection corresponding "
                                                            "to the requested name or ordinal. (%1)").arg(name));
}

Bulk::Query CImport::ReadSource(const QString& table, const QString& order, std::unique_ptr<Bulk::RowSource> rows) {
  if (rows) return Bulk::Query(std::move(rows));
  return Source().TableRows(table, order);
}

qint32 CImport::CopyRows(const CopyStep& step, std::unique_ptr<Bulk::RowSource> rows) {
  Bulk::Query source = rows || !step.sourceTable.isEmpty() ? ReadSource(step.sourceTable, step.sourceOrder, std::move(rows))
                                                           : Source().OpenQuery(step.sourceQuery);
  if (!source.next()) return 0;
  QStringList columns = source.columns().mid(step.nStart);
  for (const QString& name : step.setColumns)
    if (!columns.contains(name, Qt::CaseInsensitive)) columns << name;
  const QString key = step.map || step.newKeys ? FirstColumnOf(Dest(), step.table) : QString();
  Bulk::Writer target = Dest().InsertInto(step.table, columns, key);
  TargetRow row(columns);
  const int copied = int(source.columns().size()) - step.nStart;
  qint32 newId = 0;
  do {
    m_session.checkCancel();
    if (step.include) {
      if (step.includeReadsTarget) target.flush();
      if (!step.include(source)) continue;
    }
    for (int p = 0; p < copied; ++p) row.values[size_t(p)] = source.at(step.nStart + p);
    for (size_t p = size_t(copied); p < row.values.size(); ++p) row.values[p] = Bulk::Cell();
    if (step.overrides) step.overrides(source, row);
    if (step.map) CheckExchangeId(source.at(0), *step.map, step.table);
    newId = target.add(row.values);
    if (step.map) step.map->add(source.at(0).toInt(), newId);
  } while (source.next());
  target.flush();
  return newId;
}

// A row's own ID must be a whole number the file uses once: the rows that
// point at it could not be told apart otherwise. Checked before the row is
// written, so the refusal names the table and the ID.
void CImport::CheckExchangeId(const Bulk::Cell& id, const IdMap& map, const QString& table) {
  const auto refuse = [&](const QString& what) {
    throw DataError(IdMap::DuplicateKey::number, QStringLiteral("CImport"),
                    QStringLiteral("文件中表 %1 %2。").arg(table, what));
  };
  if (id.isNull()) refuse(QStringLiteral("有一行没有编号"));
  if (id.kind != Bulk::Cell::Kind::Int) refuse(QStringLiteral("的编号 %1 不是整数").arg(id.toString()));
  if (map.contains(id.toInt())) refuse(QStringLiteral("的编号 %1 重复").arg(id.toInt()));
}

std::optional<Bulk::Cell> CImport::Translate(const IdMap& map, const Bulk::Cell& oldId) {
  if (oldId.isNull()) return Bulk::Cell();
  const std::optional<qint32> newId = map.value(oldId.toInt());
  if (!newId) return std::nullopt;
  return Bulk::Cell::integer(*newId);
}

void CImport::CountSkipped(const QString& table, int n) { m_skipped[table] += n; }

void CImport::CountUnusedTree(const QString& column) { m_unusedTrees[column] += 1; }

QString CImport::SkippedSummary() const {
  const auto counted = [](const QString& sentence, const QMap<QString, int>& counts) {
    QStringList parts;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    return counts.isEmpty() ? QStringList() : QStringList{sentence + parts.join(QStringLiteral("，"))};
  };
  return (counted(QStringLiteral("文件中引用缺失而未导入或置空的记录："), m_skipped) +
          counted(QStringLiteral("文件中的目录结构含有文档类型定义，未使用："), m_unusedTrees))
      .join(QStringLiteral("；"));
}
