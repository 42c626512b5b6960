#include "export/CExport.h"

#include "data/jet/JetWriter.h"

#include "data/jet/JetExchange.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>

#include <sys/stat.h>
#include <unistd.h>
#include <QVector>

#include "core/AppPaths.h"
#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "data/Rows.h"
#include "resources/Strings.h"

namespace {

// An Access file that rows cannot be written into safely (indexes, encryption,
// another Access version, a lock file beside it): why, or empty. Other formats
// are checked when they are opened.
QString unwritableExchangeFile(const QString& strPath) {
  QFile file(strPath);
  if (!file.open(QIODevice::ReadOnly)) return {};
  if (!Jet::isJetFile(file.read(4096))) return {};
  file.close();
  return Jet::unwritableReason(strPath);
}
// Accepts an exchange file whatever its Course (or Paper) table holds; both
// export operations pass it.
constexpr bool AcceptAnyRows = true;

const QString& exportSource() {
  static const QString source = QStringLiteral("CExport");
  return source;
}

// Everything up to and including the last separator.
QString folderPart(const QString& path) { return path.left(path.lastIndexOf('/') + 1); }

bool isSameFile(const QString& a, const QString& b) {
  if (a == b) return true;
  const QString ca = QFileInfo(a).canonicalFilePath();
  return !ca.isEmpty() && ca == QFileInfo(b).canonicalFilePath();
}

// IDs go into statement text; only their integer form is ever pasted, and an
// empty value (NULL reference) is left out so the list stays valid SQL.
void appendId(QString& list, const QVariant& id) {
  if (!id.isNull()) list += ',' + QString::number(id.toLongLong());
}

QString wrapped(const QString& list) { return '(' + list + ')'; }

QString collectIds(CDataAccess& dal, const QString& sql, const QString& column, const QString& fixed) {
  QString list = fixed;
  Bulk::Query rows = dal.OpenQuery(sql);
  while (rows.next()) appendId(list, rows.value(column));
  return list;
}

// Also every subject a syllabus row of the course is filed under, so that
// the file holds what its rows point at: the import drops a row whose
// subject is missing. The subjects of feature values are gathered while
// those rows are exported.
QString withSubjectsOfSyllabus(CDataAccess& dal, const QString& courseId, const QString& list) {
  return collectIds(dal,
                    QStringLiteral("select distinct SubjectID from Syllabus where ContentID in "
                                   "(select ContentID from Content where CourseID=%1)").arg(courseId),
                    QStringLiteral("SubjectID"), list);
}

// Position in source of each destination column, matched by name; an
// exchange column the system table lacks raises here, naming it.
QVector<int> sourceColumnsOf(const QStringList& dest, const Bulk::Query& source) {
  QVector<int> columns;
  columns.reserve(dest.size());
  for (const QString& name : dest) columns << source.column(name);
  return columns;
}

// Why a destination cannot be written, in words the user can act on, with
// the path.
QString pathProblem(int error, const QString& path) {
  switch (error) {
    case EISDIR: return QStringLiteral("这是文件夹：%1").arg(path);
    case ENAMETOOLONG: return QStringLiteral("文件名太长：%1").arg(path);
    case ENOENT:
    case ENOTDIR: return QStringLiteral("文件夹不存在：%1").arg(QFileInfo(path).absolutePath());
    case EACCES:
    case EPERM:
    case EROFS: return QStringLiteral("没有写入这个文件夹的权限：%1").arg(QFileInfo(path).absolutePath());
    default:
      return withDetail(QStringLiteral("不能写入 %1").arg(path), QString::fromLocal8Bit(std::strerror(error)));
  }
}

// The checks a file system would make when the export file is put in place,
// made before anything is written: a folder of that name, a name longer
// than the folder takes, a folder that is missing or cannot be written.
void refuseUnusable(const QString& path) {
  const QFileInfo info(path);
  const QByteArray folder = QFile::encodeName(info.absolutePath());
  int error = 0;
  if (info.isDir())
    error = EISDIR;
  else if (const long nameMax = ::pathconf(folder.constData(), _PC_NAME_MAX);
           QFile::encodeName(info.fileName()).size() > (nameMax > 0 ? nameMax : NAME_MAX))
    error = ENAMETOOLONG;
  else if (!QFileInfo(info.absolutePath()).isDir())
    error = ENOENT;
  else if (::access(folder.constData(), W_OK | X_OK) != 0)
    error = errno;
  if (error != 0) throw DataError(error == ENOENT ? 76 : 75, exportSource(), pathProblem(error, path));
}

}  // namespace

// Where the rows are written: the destination itself when it is replaced (the
// file keeps its old content until the export commits), or for a new file a
// copy of the template beside it, renamed to the destination only when the
// export is complete. An unfinished copy is removed, so a failed or cancelled
// export leaves no file behind.
class ExportTarget {
 public:
  static std::unique_ptr<ExportTarget> existing(const QString& path) {
    refuseUnusable(path);
    return std::unique_ptr<ExportTarget>(new ExportTarget(path, path));
  }
  static std::unique_ptr<ExportTarget> fromTemplate(const QString& templatePath, const QString& path) {
    refuseUnusable(path);
    const QString folder = QFileInfo(path).absolutePath();
    QTemporaryFile copy(folder + QStringLiteral("/.corvina-export-XXXXXX.mdb"));
    copy.setAutoRemove(false);
    QFile source(templatePath);
    if (!copy.open() || !source.open(QIODevice::ReadOnly) || copy.write(source.readAll()) != source.size() ||
        !copy.flush()) {
      const QString why = copy.error() != QFile::NoError ? copy.errorString() : source.errorString();
      if (!copy.fileName().isEmpty()) copy.remove();
      throw DataError(75, exportSource(), withDetail(QStringLiteral("不能写入 %1").arg(path), why));
    }
    // A new file gets the mode any new file gets here: 0666 less the umask.
    ::fchmod(copy.handle(), Jet::newFileMode());
    copy.close();
    return std::unique_ptr<ExportTarget>(new ExportTarget(copy.fileName(), path));
  }
  ~ExportTarget() {
    if (!finished_ && working_ != destination_) QFile::remove(working_);
  }
  ExportTarget(const ExportTarget&) = delete;
  ExportTarget& operator=(const ExportTarget&) = delete;

  const QString& working() const { return working_; }
  void finish() {
    if (working_ != destination_ &&
        std::rename(QFile::encodeName(working_).constData(), QFile::encodeName(destination_).constData()) != 0)
      throw DataError(75, exportSource(), pathProblem(errno, destination_));
    finished_ = true;
  }

 private:
  ExportTarget(QString working, QString destination)
      : working_(std::move(working)), destination_(std::move(destination)) {}
  QString working_;
  QString destination_;
  bool finished_ = false;
};

CExport::CExport(Interaction& ui, std::shared_ptr<CancelFlag> cancel) : m_session(ui, std::move(cancel)) {}

CExport::~CExport() = default;

Answer CExport::transferBox(const QString& prompt, MessageStyle style) {
  return m_session.ui().MsgBox(prompt, style, Res::str(Res::TransferTitle));
}

// ---------------------------------------------------------------------------
// Export operations

TransferResult CExport::ExportCourseData(QString& strDestFile, qint32 varnCourseID) {
  if (varnCourseID != -1) nCourseID = varnCourseID;
  return Export(strDestFile, true, &CExport::CourseStages);
}

TransferResult CExport::ExportPaper(QString& strPaperName, qint32 varnPaperID) {
  if (varnPaperID != -1) nPaperID = varnPaperID;
  return Export(strPaperName, false, &CExport::PaperStages);
}

TransferResult CExport::Export(QString& strDestFile, bool bCourse, Stages stages) {
  TransferResult result = TransferResult::ended(TransferResult::Status::Failed, strDestFile);
  try {
    m_session.checkCancel();
    const std::unique_ptr<ExportTarget> target = PrepareExportFile(strDestFile);
    result.file = strDestFile;
    // One object serves one export: a second call finds no connection left.
    if (!m_used) DestDAL = std::make_unique<CDataAccess>(CDataAccess::Unconnected{});
    m_used = true;
    if (!target || !OpenExportFile(target->working(), DestDAL, AcceptAnyRows, bCourse))
      return TransferResult::ended(TransferResult::Status::Declined, strDestFile, QStringLiteral("未导出"), true);
    SourceDAL = std::make_unique<CDataAccess>();
    WriteAtomically(stages);
    target->finish();
    if (ExportProgress) ExportProgress(100, Res::str(347));
    result.status = TransferResult::Status::Succeeded;
  } catch (const TransferCancelled&) {
    result.status = TransferResult::Status::Cancelled;
    result.reason = QStringLiteral("已取消");
  } catch (const std::exception& e) {
    result.reason = failureText(e);
  }
  if (!result.succeeded()) {
    try {
      ReleaseConnections();
    } catch (...) {  // the failure that stopped the export is the one to report
    }
  }
  return result;
}

void CExport::CourseStages() {
  Progress(0, Res::str(334));
  ClearExportFile();
  CollectSubjectIDs();
  // The subjects are written last, once the feature values have named theirs:
  // the large table is read once.
  Progress(10, Res::str(335));
  Progress(15, Res::str(336));
  ExportCourse();
  Progress(20, Res::str(337));
  ExportCoursesSubjects();
  Progress(25, Res::str(338));
  ExportContent();
  Progress(30, Res::str(339));
  ExportSyllabus();
  CollectFeaturePartitionIDs();
  CollectFeatureIDs();
  Progress(35, Res::str(340));
  ExportFeature();
  Progress(40, Res::str(341));
  ExportFeaturePartition();
  Progress(45, Res::str(342));
  ExportCoursesFeaturePartitions();
  SetProblemIDs();
  Progress(50, Res::str(343));
  ExportProblemGroup();
  Progress(60, Res::str(344));
  ExportProblem();
  Progress(70, Res::str(345));
  ExportProblemsContents();
  Progress(80, Res::str(346));
  ExportProblemsFeatures();
  ExportSubject();
}

void CExport::PaperStages() {
  Progress(0, Res::str(334));
  ClearExportFile();
  qint32 nPaperDesignID = 0;
  {
    Bulk::Query design = SourceDAL->OpenQuery(
        QStringLiteral("Select PaperDesign.SubjectID SubjectID,PaperDesign.PaperDesignID PaperDesignID "
                       "from PaperDesign,Paper where PaperDesign.PaperDesignID=Paper.PaperDesignID "
                       "and Paper.PaperID=") + QString::number(nPaperID));
    if (design.next()) {
      QString list = QStringLiteral("-1");
      appendId(list, design.value(QStringLiteral("SubjectID")));
      m_strSubjectIDs = wrapped(list);
      nPaperDesignID = design.value(QStringLiteral("PaperDesignID")).toInt();
    }
  }
  Progress(20, Res::str(335));
  ExportSubject();
  ExportPaperRows(nPaperDesignID);
}

void CExport::ExportPaperRows(qint32 nPaperDesignID) {
  const QString pid = QString::number(nPaperID);
  Progress(60, QStringLiteral("导出试卷模板..."));
  ExportTable(QStringLiteral("select * from PaperDesign where PaperDesignID=") + QString::number(nPaperDesignID),
              QStringLiteral("PaperDesign"));
  Progress(80, QStringLiteral("导出试卷..."));
  ExportTable(QStringLiteral("Select * from Paper where PaperID=") + pid,
              QStringLiteral("Paper"));
  Progress(100, QStringLiteral("导出学生答卷..."));
  ExportTable(QStringLiteral("select * from AnswerSheet where PaperID=") + pid,
              QStringLiteral("AnswerSheet"));
}

void CExport::WriteAtomically(Stages stages) {
  {
    Transaction transaction(*DestDAL);
    (this->*stages)();
    m_session.checkCancel();
    transaction.commit();
  }
  ReleaseConnections();
}

// The object is used up afterwards. The exchange connection is closed
// explicitly: a backend that keeps a working copy writes the file back here,
// and a failure to do so must reach the caller.
void CExport::ReleaseConnections() {
  SourceDAL.reset();
  const std::unique_ptr<CDataAccess> dest = std::move(DestDAL);
  if (dest) dest->CloseConnection();
}

void CExport::Progress(qint16 nBarValue, const QString& strMessage) {
  m_session.checkCancel();
  if (ExportProgress) ExportProgress(nBarValue, strMessage);
}

// ---------------------------------------------------------------------------
// Preparing the exchange file

std::unique_ptr<ExportTarget> CExport::PrepareExportFile(QString& strDestFile) {
  const QString strTemplate = AppPaths::templateFile();
  if (!QFileInfo(strTemplate).isFile()) {
    transferBox(Res::str(322) + strTemplate, {MessageKind::Warning});
    return nullptr;
  }
  const QString strFolder = folderPart(strDestFile);
  bool bOverwrite = false;
  while (QFileInfo(strDestFile).isFile() && !bOverwrite) {
    const Answer answer = m_session.ui().Ask(Question::ReplaceExchangeFile, strDestFile);
    if (answer == Answer::Yes) {
      bOverwrite = true;
      continue;
    }
    if (answer != Answer::No) return nullptr;
    QString strName = m_session.ui().AskText(TextQuestion::NewExchangeFileName).value_or(QString());
    strName.remove(QStringLiteral(".mdb"));
    if (strName.isEmpty()) return nullptr;
    strDestFile = QDir(strFolder).absolutePath() + '/' + strName + QStringLiteral(".mdb");
  }
  if (!bOverwrite) return ExportTarget::fromTemplate(strTemplate, strDestFile);
  // The template itself is never emptied, however its path was spelled.
  if (isSameFile(strDestFile, strTemplate)) {
    transferBox(Res::str(321), {MessageKind::Warning});
    return nullptr;
  }
  if (m_session.ui().Ask(Question::EmptyExchangeFile, strDestFile) != Answer::Yes) return nullptr;
  return ExportTarget::existing(strDestFile);
}

bool CExport::OpenExportFile(const QString& strDestFile, std::unique_ptr<CDataAccess>& dal, bool bAcceptAnyRows,
                             bool bCourse) {
  // Tables the file must have.
  static const QStringList courseTables{QStringLiteral("Subject"), QStringLiteral("Problem"),
                                        QStringLiteral("ProblemGroup"), QStringLiteral("ProblemsFeatures"),
                                        QStringLiteral("ProblemsContents")};
  static const QStringList paperTables{QStringLiteral("Subject"), QStringLiteral("PaperDesign"),
                                       QStringLiteral("AnswerSheet")};
  const QString strUnwritable = unwritableExchangeFile(strDestFile);
  if (!strUnwritable.isEmpty()) {
    transferBox(QStringLiteral("该Access文件不能写入：") + strDestFile + QStringLiteral("\r\n") + strUnwritable,
                {MessageKind::Warning});
    return false;
  }
  bool bResult = true;
  try {
    if (!dal)
      throw DataError(91, exportSource(), QStringLiteral("Object variable or With block variable not set"));
    dal->OpenExchangeFile(strDestFile, ExchangeAccess::Write);
    const bool empty =
        dal->OpenQuery(bCourse ? QStringLiteral("select * from Course") : QStringLiteral("select * from Paper")).empty();
    if (empty && !bAcceptAnyRows) bResult = false;
    for (const QString& table : bCourse ? courseTables : paperTables)
      if (bResult) dal->ColumnsOf(table);
  } catch (const DataError& e) {
    m_session.ui().MsgBox(QStringLiteral("连接数据库失败！\r\n") + e.description() + QStringLiteral("\r\n") + strDestFile,
                          {}, QString());
    return false;
  }
  if (!bResult) transferBox(Res::str(318), {MessageKind::Warning});
  return bResult;
}

void CExport::ClearExportFile() {
  static const char* const tables[] = {
      "Syllabus", "ProblemsContents", "ProblemsFeatures", "Problem", "ProblemGroup",
      "CoursesFeaturePartitions", "CoursesSubjects", "FeaturePartition", "Feature", "Content",
      "Course", "AnswerSheet", "Paper", "PaperDesign", "Subject"};
  for (const char* table : tables)
    DestDAL->ExecQuery(QStringLiteral("DELETE FROM ") + QLatin1String(table));
}

// ---------------------------------------------------------------------------
// Collectors

void CExport::CollectSubjectIDs() {
  const QString id = QString::number(nCourseID);
  QString list = collectIds(*SourceDAL, QStringLiteral("select * from CoursesSubjects where CourseID=") + id,
                            QStringLiteral("SubjectID"), QStringLiteral("-1"));
  {
    Bulk::Query course = SourceDAL->OpenQuery(QStringLiteral("select * from Course where CourseID=") + id);
    if (course.next()) appendId(list, course.value(QStringLiteral("KeySubjectID")));
  }
  m_strSubjectIDs = wrapped(withSubjectsOfSyllabus(*SourceDAL, id, list));
}

void CExport::CollectFeaturePartitionIDs() {
  m_strFeaturePartitionIDs = wrapped(collectIds(
      *SourceDAL, QStringLiteral("select * from CoursesFeaturePartitions where CourseID=") + QString::number(nCourseID),
      QStringLiteral("FeaturePartitionID"), QStringLiteral("0")));
}

void CExport::CollectFeatureIDs() {
  m_strFeatureIDs = wrapped(collectIds(
      *SourceDAL, QStringLiteral("select * from FeaturePartition where FeaturePartitionID in ") + m_strFeaturePartitionIDs,
      QStringLiteral("FeatureID"), QStringLiteral("0")));
}

void CExport::SetProblemIDs() {
  m_strProblemIDs =
      QStringLiteral("(select distinct problemid from ProblemsContents where contentid in (select contentid from "
                     "content where courseid=") +
      QString::number(nCourseID) + QStringLiteral("))");
}

// ---------------------------------------------------------------------------
// Table copiers

bool CExport::ExportTable(const QString& strSourceSQL, const QString& strTable, const RowCopied& onRow) {
  Bulk::Query source = SourceDAL->OpenQuery(strSourceSQL);
  if (!source.next()) return true;
  const QStringList destColumns = DestDAL->ColumnsOf(strTable);
  const QVector<int> columns = sourceColumnsOf(destColumns, source);
  // Nothing reads the exported rows back: they may go straight into the file.
  Bulk::Writer dest = DestDAL->InsertInto(strTable, destColumns, QString(), Bulk::ReadBack::Never);
  Bulk::Row row(size_t(columns.size()));
  do {
    m_session.checkCancel();
    for (int i = 0; i < columns.size(); ++i) row[size_t(i)] = source.at(columns[i]);
    dest.add(row);
    if (onRow) onRow(source);
  } while (source.next());
  dest.flush();
  return true;
}

void CExport::ExportSubject() {
  ExportTable(QStringLiteral("select * from Subject where SubjectID in ") + m_strSubjectIDs,
              QStringLiteral("Subject"));
}

void CExport::ExportCourse() {
  ExportTable(QStringLiteral("select * from course where CourseID=") + QString::number(nCourseID),
              QStringLiteral("course"));
}

void CExport::ExportCoursesSubjects() {
  ExportTable(QStringLiteral("select * from CoursesSubjects where CourseID=") + QString::number(nCourseID),
              QStringLiteral("CoursesSubjects"));
}

void CExport::ExportContent() {
  QString list = QStringLiteral("0");
  ExportTable(QStringLiteral("select * from Content where CourseID=") + QString::number(nCourseID),
              QStringLiteral("Content"), [&list](const Bulk::Query& row) {
                appendId(list, row.at(row.column(QStringLiteral("ContentID"))).toVariant());
              });
  m_strContentIDs = wrapped(list);
}

void CExport::ExportSyllabus() {
  ExportTable(QStringLiteral("select * from Syllabus where ContentID in ") + m_strContentIDs,
              QStringLiteral("Syllabus"));
}

void CExport::ExportFeature() {
  ExportTable(QStringLiteral("select * from Feature where FeatureID in ") + m_strFeatureIDs,
              QStringLiteral("Feature"));
}

void CExport::ExportFeaturePartition() {
  ExportTable(QStringLiteral("select * from FeaturePartition where FeaturePartitionID in ") + m_strFeaturePartitionIDs,
              QStringLiteral("FeaturePartition"));
}

void CExport::ExportCoursesFeaturePartitions() {
  ExportTable(QStringLiteral("select * from CoursesFeaturePartitions where CourseID=") + QString::number(nCourseID),
              QStringLiteral("CoursesFeaturePartitions"));
}

void CExport::ExportProblemGroup() {
  // The unary plus lets SQLite take the groups from the ProblemGroupID index
  // alone instead of looking up every problem's row, memo texts and all.
  ExportTable(QStringLiteral("select * from ProblemGroup where ProblemGroupID in (select ProblemGroupID from Problem "
                             "where +ProblemID in ") + m_strProblemIDs + ')',
              QStringLiteral("ProblemGroup"));
}

void CExport::ExportProblem() {
  ExportTable(QStringLiteral("select * from Problem where ProblemID in") + m_strProblemIDs,
              QStringLiteral("Problem"));
}

void CExport::ExportProblemsContents() {
  ExportTable(QStringLiteral("select * from ProblemsContents where ContentID in ") + m_strContentIDs,
              QStringLiteral("ProblemsContents"));
}

void CExport::ExportProblemsFeatures() {
  // The unary plus keeps SQLite off the FeatureID index: a course's few
  // features hold most of the table's rows, scattered over it, while the
  // rows of one problem lie together.
  std::set<qint64> subjects;
  std::optional<int> subjectAt;
  ExportTable(QStringLiteral("select * from ProblemsFeatures where +featureID in ") + m_strFeatureIDs +
                  QStringLiteral(" and ProblemID in ") + m_strProblemIDs,
              QStringLiteral("ProblemsFeatures"), [&](const Bulk::Query& row) {
                if (!subjectAt) subjectAt = row.column(QStringLiteral("SubjectID"));
                const Bulk::Cell& subject = row.at(*subjectAt);
                if (!subject.isNull()) subjects.insert(subject.toInt());
              });
  QString list = m_strSubjectIDs.mid(1, m_strSubjectIDs.size() - 2);
  for (const qint64 id : subjects) appendId(list, id);
  m_strSubjectIDs = wrapped(list);
}
