#pragma once
#include <QMap>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

#include "core/OrderedMap.h"
#include "data/Recordset.h"

class CDataAccess;

// Reads one exchange file and writes its course (or its papers) into the system
// database under new identifiers, translating every reference through the ID
// maps that the mapping steps fill. One object serves one transfer action.
//
// The table phase of one file runs in a single transaction on the system
// database: a failure rolls it back and is passed on, so no half-imported
// course stays behind. Subjects, features and partitions created by the
// mapping steps are committed as they are made (they are valid on their own).
class CImport {
 public:
  CImport();

  // Raised before each stage: a percentage 0..100 and the stage's text.
  std::function<void(qint16 nBarValue, const QString& strMessage)> ImportProgress;

  // True when every step ran; False when the file failed its checks, the user
  // declined the name conflict or cancelled a mapping step. Other failures are
  // thrown (DataError and friends) after the table phase has been rolled back.
  bool ImportCourseData(const QString& strFileName);
  bool ImportPaperData(const QString& strFileName);

  // What the last ImportCourseData/ImportPaperData left out, by table name:
  // link or value rows whose exchange reference the file's maps do not hold
  // (the row is not written), references written as NULL instead of a wrong
  // ID ("Course", "Problem", "PaperDesign", "Paper" count those rows),
  // "ProblemsFeatures.Value" for values of a paired feature that have no value
  // pair (written as NULL), "ContentHierarchy" = 1 when the course's content
  // tree could not place the contents (Null, empty, malformed, past the XML
  // limits, naming a content twice or one the file does not hold), and
  // "ProblemHierarchy" for problem-group trees that did not read.
  // Empty when nothing was left out.
  const QMap<QString, int>& SkippedRows() const { return m_skipped; }
  // The same as one line for the user ("" when nothing was left out).
  QString SkippedSummary() const;

 private:
  using Overrides = std::function<void(const Recordset& source, Recordset& target)>;

  // One step of the row-copy pattern.
  struct CopyStep {
    QString sourceQuery;
    QString targetQuery;
    int nStart = 0;              // first source column copied by name
    IdMap* map = nullptr;        // old first column -> new first column
    Overrides overrides;         // columns set after the positional copy
    bool bDoEvents = false;      // let the window repaint after each row
    int nMaxRows = -1;           // -1: every source row
  };

  bool OpenExchangeFile(const QString& strFileName, CDataAccess& dal, bool bCourse);
  bool CheckExchangeTables(CDataAccess& dal, bool bCourse);
  bool ConfirmNameConflict();
  bool RunSubjectStep();
  bool ShowMappingStep();  // false when the user cancelled
  void RaiseProgress(qint16 nBarValue, const QString& strMessage);
  // Runs body inside one transaction on the system database.
  void RunTablePhase(const std::function<void()>& body);

  // The row-copy pattern: copies the current source row into a new target row
  // from nStart on, applies the overrides, writes it and records old -> new.
  qint32 CopyRow(const Recordset& source, Recordset& target, int nStart, const Overrides& overrides,
                 IdMap* map);
  void CopyRows(const CopyStep& step);

  // Translation of a reference read from the file: nullopt when the map does
  // not hold it. A Null reference translates to Null.
  static std::optional<QVariant> Translate(const IdMap& map, const QVariant& oldId);
  void CountSkipped(const QString& table, int n = 1);

  // Features and partitions.
  bool ImportFeature();
  bool ImportUserFeatures();
  bool ImportFeaturePartition();
  bool PairFeaturePartitions(qint32 oldF, qint32 newF);
  IdMap PairNumberedPartitions(qint32 oldF, qint32 newF, bool bProblemType);
  void ImportCoursesFeaturePartitions();
  QList<qint32> TypeOneFeatures();

  // Course, contents, syllabus.
  void ImportCourse();
  void ImportContent();
  void ImportSyllabus();
  void ImportCoursesSubjects();
  void UpdateContentHierarchy();
  void UpdateContentParent(qint32 nContentID, qint32 nParentID, qint16 nLevel);

  // Problems.
  void ImportProblemGroup();
  void ImportProblem();
  void ImportProblemsContents();
  void ImportProblemsFeatures();
  QVariant TranslateFeatureValue(const QVariant& oldFeature, const QVariant& value);
  void UpdateProblemHierarchy();

  // Papers.
  void ImportPaperDesign();
  void ImportPaper();
  void ImportAnswerSheet();

  CDataAccess& Source();
  CDataAccess& Dest();

  qint32 m_nCourseID = 0;
  bool m_bRenameCourse = false;
  IdMap m_ContentMap;
  IdMap m_ProblemGroupMap;
  IdMap m_ProblemMap;
  IdMap m_PaperDesignMap;
  IdMap m_PaperMap;
  QMap<QString, int> m_skipped;
};
