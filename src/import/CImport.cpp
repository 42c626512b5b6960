#include "import/CImport.h"

#include <QStringList>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/ImportGlobals.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {
constexpr int kNoRowsMessage = 318;

// The hourglass for the table phase, the arrow again however it ends.
class BusyPointer {
 public:
  BusyPointer() { interaction().SetBusy(true); }
  ~BusyPointer() { interaction().SetBusy(false); }
  BusyPointer(const BusyPointer&) = delete;
  BusyPointer& operator=(const BusyPointer&) = delete;
};

bool HasRows(CDataAccess& dal, const QString& sql) {
  RecordsetPtr rs;
  dal.GetConnectedRecordset(sql, rs);
  return !rs->Eof();
}

bool Opens(CDataAccess& dal, const QString& sql) {
  RecordsetPtr rs;
  return dal.GetConnectedRecordset(sql, rs);
}
}  // namespace

CImport::CImport() = default;

CDataAccess& CImport::Source() { return importGlobals().ImportSourceDAL(); }
CDataAccess& CImport::Dest() { return importGlobals().ImportDestDAL(); }

// ---------------------------------------------------------------- opening

bool CImport::OpenExchangeFile(const QString& strFileName, CDataAccess& dal, bool bCourse) {
  bool bOk = false;
  try {
    dal.OpenExchangeFile(strFileName, ExchangeAccess::Read);
    bOk = CheckExchangeTables(dal, bCourse);
  } catch (const std::exception&) {
    interaction().MsgBox(QStringLiteral("连接数据库失败！"), Vb::OKOnly, QString());
    return false;
  }
  if (!bOk)
    interaction().MsgBox(Res::str(kNoRowsMessage), Vb::Exclamation, Res::str(Res::TransferTitle));
  return bOk;
}

bool CImport::CheckExchangeTables(CDataAccess& dal, bool bCourse) {
  const QString mainTable = bCourse ? QStringLiteral("Course") : QStringLiteral("Paper");
  if (!HasRows(dal, QStringLiteral("select * from ") + mainTable)) return false;
  const QStringList tables = bCourse ? QStringList{QStringLiteral("Subject"), QStringLiteral("Problem"),
                                                   QStringLiteral("ProblemGroup"),
                                                   QStringLiteral("ProblemsFeatures"),
                                                   QStringLiteral("ProblemsContents")}
                                     : QStringList{QStringLiteral("Subject"), QStringLiteral("PaperDesign"),
                                                   QStringLiteral("AnswerSheet")};
  bool bOk = true;
  for (const QString& table : tables)
    bOk = Opens(dal, QStringLiteral("select * from %1 where 1=0").arg(table)) && bOk;
  return bOk;
}

// ---------------------------------------------------------------- driver

bool CImport::ImportCourseData(const QString& strFileName) {
  m_skipped.clear();
  if (!OpenExchangeFile(strFileName, Source(), true)) return false;
  if (!ConfirmNameConflict()) return false;
  if (!RunSubjectStep()) return false;

  mappingForm().intStep = 2;
  if (!ImportFeature()) return false;
  mappingForm().intStep = 3;
  if (!ImportFeaturePartition()) return false;

  const BusyPointer busy;
  RunTablePhase([this] {
    RaiseProgress(0, Res::str(323));
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
  });
  RaiseProgress(100, Res::str(333));
  return true;
}

bool CImport::ImportPaperData(const QString& strFileName) {
  m_skipped.clear();
  if (!OpenExchangeFile(strFileName, Source(), false)) return false;
  if (!RunSubjectStep()) return false;

  const BusyPointer busy;
  RunTablePhase([this] {
    RaiseProgress(0, QStringLiteral("正在导入试卷模版..."));
    ImportPaperDesign();
    RaiseProgress(30, QStringLiteral("正在导入试卷数据..."));
    ImportPaper();
    RaiseProgress(60, QStringLiteral("正在导入学生答卷..."));
    ImportAnswerSheet();
  });
  RaiseProgress(100, QStringLiteral("导入成功！"));
  return true;
}

void CImport::RunTablePhase(const std::function<void()>& body) {
  CDataAccess& dest = Dest();
  dest.BeginTrans();
  try {
    body();
    dest.CommitTrans();
  } catch (...) {
    // The rollback's own failure must not hide the one that ended the import.
    try {
      if (dest.IsInTransaction()) dest.RollbackTrans();
    } catch (...) {
    }
    throw;
  }
}

void CImport::RaiseProgress(qint16 nBarValue, const QString& strMessage) {
  if (ImportProgress) ImportProgress(nBarValue, strMessage);
}

bool CImport::ConfirmNameConflict() {
  m_bRenameCourse = false;
  RecordsetPtr rs;
  Source().GetConnectedRecordset(QStringLiteral("select Name from Course"), rs);
  const QString name = rs->Value(QStringLiteral("Name")).toString();
  const QString sameName = Sql::equalsIgnoringCase(Dest().dialect(), QStringLiteral("Name"));
  Dest().GetConnectedRecordset(QStringLiteral("select CourseID from Course where ") + sameName, QVariantList{name}, rs);
  if (rs->Eof()) return true;
  const QString prompt = QStringLiteral("已经存在相同名称的课程") + name +
                         QStringLiteral("，请选择是否继续\r\n   选择[确定]更改名称后继续导入课程，\r\n"
                                        "   选择[取消]则不导入该课程。");
  if (interaction().MsgBox(prompt, Vb::OKCancel | Vb::Exclamation, QStringLiteral("请选择")) != Vb::OK)
    return false;
  m_bRenameCourse = true;
  return true;
}

bool CImport::RunSubjectStep() {
  importGlobals().SubjectMap.clear();
  MappingModel& form = mappingForm();
  form.intStep = 1;
  if (importGlobals().bAutoMap) {
    qint32 step = 1;
    form.AutoNameMap(step);
    form.FinishSubjectMap();
    return true;
  }
  return ShowMappingStep();
}

bool CImport::ShowMappingStep() {
  interaction().ShowMappingDialog(mappingForm());
  return !mappingForm().bCancel;
}

// ---------------------------------------------------------------- row copy

qint32 CImport::CopyRow(const Recordset& source, Recordset& target, int nStart, const Overrides& overrides,
                        IdMap* map) {
  target.AddNew();
  for (int p = nStart; p < source.FieldCount(); ++p) target.SetValue(source.FieldName(p), source.Value(p));
  if (overrides) overrides(source, target);
  target.Update();
  const qint32 newId = target.Value(0).toInt();
  if (map) map->add(source.Value(0).toInt(), newId);
  return newId;
}

void CImport::CopyRows(const CopyStep& step) {
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(step.sourceQuery, source);
  Dest().GetConnectedRecordset(step.targetQuery, target);
  for (int n = 0; !source->Eof() && n != step.nMaxRows; ++n) {
    CopyRow(*source, *target, step.nStart, step.overrides, step.map);
    source->MoveNext();
    if (step.bDoEvents) interaction().DoEvents();
  }
}

std::optional<QVariant> CImport::Translate(const IdMap& map, const QVariant& oldId) {
  if (oldId.isNull()) return QVariant();
  const std::optional<qint32> newId = map.value(oldId.toInt());
  if (!newId) return std::nullopt;
  return QVariant(*newId);
}

void CImport::CountSkipped(const QString& table, int n) { m_skipped[table] += n; }

QString CImport::SkippedSummary() const {
  if (m_skipped.isEmpty()) return QString();
  QStringList parts;
  for (auto it = m_skipped.cbegin(); it != m_skipped.cend(); ++it)
    parts << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
  return QStringLiteral("文件中引用缺失而未导入或置空的记录：") + parts.join(QStringLiteral("，"));
}
