#pragma once
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

class CDataAccess;
class Recordset;

// Writes one course, or one paper, of the system database into an exchange
// file made from the template. One object serves one export: it is created
// with two connections to the system database, runs once and is left with
// none (a second call ends with the connection message).
//
// The exchange file is written in one transaction: a failure part-way leaves
// it as it was before (the template copy, or the old content of an
// overwritten file) and reaches the caller as a DataError.
class CExport {
 public:
  CExport();  // DestDAL, then SourceDAL, both on the system database; throws DataError
  ~CExport();
  CExport(const CExport&) = delete;
  CExport& operator=(const CExport&) = delete;

  // Raised before each stage: bar 0..100 and the stage's text.
  std::function<void(qint16 nBarValue, const QString& strMessage)> ExportProgress;

  qint32 nCourseID = 0;
  qint32 nPaperID = 0;
  std::unique_ptr<CDataAccess> SourceDAL;  // reads the system database
  std::unique_ptr<CDataAccess> DestDAL;    // writes the exchange file

  // strDestFile: full path of an .mdb file in an existing folder; a new name
  // chosen by the user replaces it. Stops quietly after a message when the
  // file cannot be prepared or opened; other failures throw DataError.
  void ExportCourseData(QString& strDestFile, qint32 varnCourseID = -1);
  // strPaperName: the destination path, as strDestFile above. Returns the path
  // written, or the empty text when the export stopped in preparation.
  QString ExportPaper(QString& strPaperName, qint32 varnPaperID = -1);

 private:
  using RowCopied = std::function<void(const Recordset& source)>;

  bool PrepareExportFile(QString& strDestFile);
  bool OpenExportFile(const QString& strDestFile, std::unique_ptr<CDataAccess>& dal, int nAnswer,
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

  // The one row copier: every column of the destination receives the source
  // column of the same name.
  bool ExportTable(const QString& strSourceSQL, const QString& strDestSQL, const RowCopied& onRow = {});

  void CourseStages();
  void PaperStages();
  // Runs stages inside one transaction on DestDAL, then lets go of both
  // connections; any failure rolls the exchange file back and is rethrown.
  void WriteAtomically(void (CExport::*stages)());
  void ReleaseConnections();
  void Progress(qint16 nBarValue, const QString& strMessage);

  QString m_strSubjectIDs;
  QString m_strContentIDs;
  QString m_strFeatureIDs;
  QString m_strFeaturePartitionIDs;
  QString m_strProblemIDs;
};
