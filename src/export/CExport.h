#pragma once
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

#include "core/Transfer.h"

class CDataAccess;
class ExportTarget;
namespace Bulk {
class Query;
}

// Writes one course, or one paper, of the system database into an exchange
// file made from the template. One object serves one export and is its
// session: it opens its two connections when the export starts (in the
// thread that runs it) and lets go of them at the end.
//
// The exchange file is written in one transaction and replaces the
// destination only when complete: a failure or a cancel part-way leaves an
// existing file byte for byte as it was and no new file behind.
class CExport {
 public:
  explicit CExport(Interaction& ui, std::shared_ptr<CancelFlag> cancel = nullptr);
  ~CExport();
  CExport(const CExport&) = delete;
  CExport& operator=(const CExport&) = delete;

  ProgressHandler ExportProgress;

  qint32 nCourseID = 0;
  qint32 nPaperID = 0;
  std::unique_ptr<CDataAccess> SourceDAL;  // reads the system database
  std::unique_ptr<CDataAccess> DestDAL;    // writes the exchange file

  // strDestFile: full path of an .mdb file in an existing folder; a new name
  // chosen by the user replaces it. Never throws: Declined when the person
  // stopped it or the file could not be prepared or opened (they were told),
  // Cancelled, Failed with the underlying error, or Succeeded with the path
  // written in the result's file.
  TransferResult ExportCourseData(QString& strDestFile, qint32 varnCourseID = -1);
  TransferResult ExportPaper(QString& strPaperName, qint32 varnPaperID = -1);

 private:
  using RowCopied = std::function<void(const Bulk::Query& source)>;
  using Stages = void (CExport::*)();

  TransferResult Export(QString& strDestFile, bool bCourse, Stages stages);
  std::unique_ptr<ExportTarget> PrepareExportFile(QString& strDestFile);
  bool OpenExportFile(const QString& strDestFile, std::unique_ptr<CDataAccess>& dal, bool bAcceptAnyRows,
                      bool bCourse);
  void ClearExportFile();

  void CollectSubjectIDs();
  void CollectFeaturePartitionIDs();
  void CollectFeatureIDs();
  void SetProblemIDs();

  void ExportSubject();
  void ExportCourse();
  void ExportCoursesSubjects();
  void ExportContent();
  void ExportSyllabus();
  void ExportFeature();
  void ExportFeaturePartition();
  void ExportCoursesFeaturePartitions();
  void ExportProblemGroup();
  void ExportProblem();
  void ExportProblemsContents();
  void ExportProblemsFeatures();
  void ExportPaperRows(qint32 nPaperDesignID);

  // The one row copier: every column of the destination table receives the
  // source column of the same name.
  bool ExportTable(const QString& strSourceSQL, const QString& strTable, const RowCopied& onRow = {});

  void CourseStages();
  void PaperStages();
  // Runs stages inside one transaction on DestDAL, then lets go of both
  // connections; any failure rolls the exchange file back and is rethrown.
  void WriteAtomically(Stages stages);
  void ReleaseConnections();
  void Progress(qint16 nBarValue, const QString& strMessage);
  Answer transferBox(const QString& prompt, MessageStyle style);

  TransferSession m_session;
  bool m_used = false;
  QString m_strSubjectIDs;
  QString m_strContentIDs;
  QString m_strFeatureIDs;
  QString m_strFeaturePartitionIDs;
  QString m_strProblemIDs;
};
