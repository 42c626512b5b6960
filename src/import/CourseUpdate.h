#pragma once
#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <memory>
#include <vector>

#include "core/OrderedMap.h"
#include "core/UpdatePreview.h"
#include "data/Rows.h"

class CImport;

// A course updated in place from a newer exchange file of the same course.
// Problems pair by their code, contents by their path of names from the
// root; what pairs keeps its ID, what is new is added as an import adds it,
// what only the system holds stays. The course, the file and their links are
// each read once, set by set, into maps of the keys and digests of the
// compared columns; the writing goes through the import's own steps, filtered
// to the rows that are new, and updates the changed rows in bulk.
class CourseUpdate {
 public:
  CourseUpdate(CImport& import, qint32 courseId, const QString& courseName);

  // Reads the course and the file and works out what would change.
  const UpdatePreview& Plan();
  // Writes it (progress 0 to 90 as an import reports it).
  void Apply();

 private:
  // A digest of one value as both databases give it (numbers and dates
  // compared by value, not by their form).
  using Digest = size_t;

  struct Content {
    qint32 id = 0;
    qint32 parent = 0;
    QString name;
    Digest description = 0;
    Digest updated = 0;
  };
  struct SystemProblem {
    qint32 id = 0;
    qint32 group = 0;  // 0 when in no group
    std::array<Digest, 4> columns{};  // those of kComparedColumns
    Digest links = 0;
    Digest features = 0;
    QString code;
    bool paired = false;
  };
  struct FileProblem {
    qint32 id = 0;
    int paired = -1;  // index into systemProblems_, -1 when added
    qint32 group = 0;  // the file's group reference, 0 when none
    quint32 changed = 0;  // bits of kComparedColumns, then group, links, features
    Digest links = 0;
    Digest features = 0;
    bool linksNewContent = false;
    QString code;
    QByteArray head;  // the beginning of the body
  };
  // Rows of the file kept from the plan's reading for writing, so that a
  // large table is read once: those of the new problems, and the problem
  // rows whose columns change.
  struct Kept {
    QStringList columns;
    std::vector<Bulk::Row> rows;
    bool complete = true;  // false: too many to keep, the file is read again
  };
  static constexpr size_t kMaxKeptRows = 50000;
  static void Keep(Kept& kept, const Bulk::Query& rows);
  static std::unique_ptr<Bulk::RowSource> Rows(Kept& kept);

  // A large table of the file, read whole as the import reads it.
  Bulk::Query FileTable(const QString& table);

  // Contents.
  std::vector<Content> ReadContents(bool fromFile, QVariant* tree);
  static QHash<qint32, QString> Paths(const std::vector<Content>& contents, const QVariant& tree);
  void PlanContents();
  // Problems.
  QString CourseProblems() const;  // the IDs of the course's problems, as a subquery
  void ReadSystemProblems();
  void ReadFileProblems();
  void ReadFileLinks();
  void ReadFileFeatures();
  void PairGroups();
  void PlanProblems();

  // Writing.
  void UpdateCourseRow();
  void WriteContents();
  void WriteGroups();
  void WriteProblems();
  void ReplaceLinks();
  void MergeContentTree();
  void ReplaceCourseRows(const QString& table, const QString& condition);
  void Progress(qint16 value, int resource);

  CImport& im_;
  qint32 courseId_;
  UpdatePreview& preview_;
  QString courseCondition_;  // "CourseID=<id>"

  std::vector<Content> fileContents_;
  IdMap contentPairs_;                    // file ContentID -> system ContentID, paired ones
  std::vector<qint32> changedContents_;   // file IDs of paired contents whose columns change

  std::vector<SystemProblem> systemProblems_;
  QHash<QString, int> systemByCode_;
  QHash<qint32, int> systemById_;
  std::vector<FileProblem> fileProblems_;
  QHash<qint32, int> fileById_;
  IdMap groupPairs_;  // file ProblemGroupID -> system ProblemGroupID
  Kept keptProblems_;
  Kept keptLinks_;
  Kept keptFeatures_;
};
