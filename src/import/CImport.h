#pragma once
#include <QMap>
#include <QString>
#include <QVariant>

#include <functional>
#include <optional>

#include "core/OrderedMap.h"
#include "core/Transfer.h"
#include "core/UpdatePreview.h"
#include "data/CDataAccess.h"
#include "data/Connection.h"
#include "data/Rows.h"
#include "import/HierarchyXml.h"
#include "mapping/ImportSession.h"

class CDataAccess;

// Reads one exchange file and writes its course (or its papers) into the system
// database under new identifiers, translating every reference through the ID
// maps that the mapping steps fill. One object serves one transfer action
// (one or more files) and owns its session: connections, maps, mapping model.
//
// Everything an import writes, the items the mapping steps create included,
// is one transaction on the system database: a failure, a refusal or a cancel
// leaves the system database as it was.
class CImport {
 public:
  explicit CImport(Interaction& ui, std::shared_ptr<CancelFlag> cancel = nullptr);

  ProgressHandler ImportProgress;
  ImportSession& session() { return m_session; }

  // Never throw: how the import ended, and why, is in the result. Succeeded
  // when every step ran; Declined when the file failed its checks, the user
  // declined the name conflict or cancelled a mapping step; Cancelled when
  // the session was asked to stop; Failed with the underlying error.
  TransferResult ImportCourseData(const QString& strFileName);
  TransferResult ImportPaperData(const QString& strFileName);
  // Updates the system course of the file's course name in place: matched
  // problems and contents keep their IDs, new ones are added, none is
  // deleted. Asks ApplyCourseUpdate with the preview before writing;
  // Declined (declinedAt set) when the answer was Cancel or when the system
  // has no course of that name.
  TransferResult UpdateCourseData(const QString& strFileName);
  // What the last UpdateCourseData found would change.
  const UpdatePreview& LastUpdatePreview() const { return m_preview; }

  // What the last ImportCourseData/ImportPaperData left out, by table name:
  // link or value rows whose exchange reference the file's maps do not hold
  // (the row is not written), references written as NULL instead of a wrong
  // ID ("Course", "Problem", "PaperDesign", "Paper" count those rows),
  // "ProblemsFeatures.Value" for values of a paired feature that have no value
  // pair (written as NULL), "ContentHierarchy" = 1 when the course's content
  // tree could not place the contents (Null, empty, malformed, past the XML
  // limits, naming a content twice or one the file does not hold), and
  // "ProblemHierarchy" for problem-group trees that did not read.
  // Empty when nothing was left out. Trees refused for declaring a document
  // type are counted apart, by column (stored Null; the contents are placed
  // by their parent references).
  const QMap<QString, int>& SkippedRows() const { return m_skipped; }
  const QMap<QString, int>& UnusedTrees() const { return m_unusedTrees; }
  // The same as one line for the user ("" when nothing was left out).
  QString SkippedSummary() const;
  // After a dry run that went through: what the import would have written
  // and created, for the person ("" otherwise).
  const QString& DryRunReport() const { return m_strDryRun; }
  // After a course import that went through (a dry run too): the course as
  // stored, its name with the date a conflict added, and how many problems
  // and contents came with it.
  struct ImportedCourse {
    QString name;
    int problems = 0;
    int contents = 0;
  };
  const ImportedCourse& Imported() const { return m_imported; }

 private:
  // The row a copy step writes: the source's columns from nStart on, then
  // the further columns the overrides set, by name.
  class TargetRow {
   public:
    explicit TargetRow(QStringList columns) : columns_(std::move(columns)), values(size_t(columns_.size())) {}
    const QStringList& columns() const { return columns_; }
    Bulk::Cell& operator[](const QString& name);  // raises for a column the row lacks

   private:
    QStringList columns_;

   public:
    Bulk::Row values;
  };
  using Overrides = std::function<void(const Bulk::Query& source, TargetRow& target)>;

  // One step of the row-copy pattern.
  struct CopyStep {
    QString sourceQuery;
    QString table;               // the target table
    int nStart = 0;              // first source column copied by name
    IdMap* map = nullptr;        // old first column -> new first column
    Overrides overrides;         // columns set after the positional copy
    QStringList setColumns = {};  // further target columns the overrides set
    bool newKeys = false;        // the new first column is wanted without a map
    // Rows it turns down are not copied; when it reads the target table,
    // rows already copied are written out before each call.
    std::function<bool(const Bulk::Query& source)> include = {};
    bool includeReadsTarget = false;
    // Instead of sourceQuery: the whole of a table of the file, in rising
    // order of sourceOrder (the large tables, see StreamedTables).
    QString sourceTable = {};
    QString sourceOrder = {};
  };

  // The steps of one file; Succeeded when the file was imported, otherwise
  // how the steps stopped.
  using Steps = std::function<TransferResult(const QString& file)>;
  TransferResult Run(const QString& file, const Steps& steps);
  TransferResult CourseSteps(const QString& file);
  TransferResult PaperSteps(const QString& file);
  TransferResult UpdateSteps(const QString& file);
  friend class CourseUpdate;
  std::optional<TransferResult> OpenExchangeFile(const QString& strFileName, bool bCourse);
  bool CheckExchangeTables(CDataAccess& dal, bool bCourse);
  bool ConfirmNameConflict();
  bool RunCourseMappingSteps();
  bool RunSubjectStep();
  bool ShowMappingStep();  // false when the user cancelled
  void RaiseProgress(qint16 nBarValue, const QString& strMessage);
  Transaction::ImportLock ImportTurn();

  // The row-copy pattern: copies every source row into a new target row from
  // nStart on, applies the overrides, writes it and records old -> new.
  // Returns the new first column of the last row (0 when none).
  // rows: the source rows when they are at hand already (sourceQuery unread).
  qint32 CopyRows(const CopyStep& step, std::unique_ptr<Bulk::RowSource> rows = nullptr);
  static void CheckExchangeId(const Bulk::Cell& id, const IdMap& map, const QString& table);

  // Translation of a reference read from the file: nullopt when the map does
  // not hold it. A Null reference translates to Null.
  static std::optional<Bulk::Cell> Translate(const IdMap& map, const Bulk::Cell& oldId);
  void CountSkipped(const QString& table, int n = 1);
  void CountUnusedTree(const QString& column);

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
  CopyStep ContentStep();  // the contents' copy step, which an update filters
  void ImportSyllabus();
  void ImportCoursesSubjects();
  void UpdateContentHierarchy();
  void UpdateContentParents(const std::vector<ContentPlace>& places);

  // Problems.
  void ImportProblemGroup();
  void ImportProblem();
  CopyStep ProblemStep();  // the problems' copy step, which an update filters
  // Only the rows of the file problems the filter wants, when there is one.
  using ProblemFilter = std::function<bool(qint32 oldProblemId)>;
  void ImportProblemsContents(const ProblemFilter& wanted = {}, std::unique_ptr<Bulk::RowSource> rows = nullptr);
  void ImportProblemsFeatures(const ProblemFilter& wanted = {}, std::unique_ptr<Bulk::RowSource> rows = nullptr);
  // The rows of a streamed table: given ones, else the file's.
  Bulk::Query ReadSource(const QString& table, const QString& order, std::unique_ptr<Bulk::RowSource> rows);
  // The large tables the steps above read whole, once: an Access file need
  // not hold their rows in its working copy.
  static QVector<StreamedTable> StreamedTables();
  Bulk::Cell TranslateFeatureValue(const Bulk::Cell& oldFeature, const Bulk::Cell& value);
  void UpdateProblemHierarchy();

  // Papers.
  void ImportPaperDesign();
  void ImportPaper();
  void ImportAnswerSheet();

  CDataAccess& Source();
  CDataAccess& Dest();

  // The progress text of the first stage.
  static constexpr int kImportingCourse = 323;

  ImportSession m_session;
  QString m_strDeclined;  // the question the person declined
  QString m_strDryRun;
  ImportedCourse m_imported;
  // The mapping steps a file shown by hand goes through, and those shown so far.
  int m_nMappingSteps = 0;
  int m_nShownSteps = 0;
  int MappingStepCount();
  using TableCounts = QMap<QString, qint64>;
  TableCounts CountSystemRows();
  QString DescribeDryRun(const TableCounts& before, const TableCounts& after) const;
  qint32 m_nCourseID = 0;
  bool m_bRenameCourse = false;
  IdMap m_ContentMap;
  IdMap m_ProblemGroupMap;
  IdMap m_ProblemMap;
  IdMap m_PaperDesignMap;
  IdMap m_PaperMap;
  QMap<QString, int> m_skipped;
  QMap<QString, int> m_unusedTrees;
  UpdatePreview m_preview;
};
