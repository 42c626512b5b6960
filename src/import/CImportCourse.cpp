// The course row, its contents with their tree, the syllabus and the course's subjects.
#include <QDate>
#include <QHash>
#include <QSet>

#include <utility>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CImport.h"
#include "mapping/ImportSession.h"
#include "import/HierarchyXml.h"

namespace {
// Exchange content ID -> the exchange parent ID the file gives it.
QHash<qint32, qint32> ExchangeContentParents(CDataAccess& source) {
  QHash<qint32, qint32> parents;
  Bulk::Query rows = source.OpenQuery(QStringLiteral("select * from Content"));
  while (rows.next()) parents.insert(rows.at(0).toInt(), rows.at(QStringLiteral("PARENTCONTENTID")).toInt());
  return parents;
}
}  // namespace

void CImport::ImportCourse() {
  const ImportSession& g = m_session;
  const QString suffix = QStringLiteral("[") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                         QStringLiteral("]");
  const auto overrides = [&](const Bulk::Query& source, TargetRow& target) {
    if (m_bRenameCourse)
      target[QStringLiteral("Name")] =
          Bulk::Cell::text(source.at(source.column(QStringLiteral("Name"))).toString() + suffix);
    const std::optional<Bulk::Cell> key =
        Translate(g.SubjectMap, source.at(source.column(QStringLiteral("keysubjectid"))));
    if (!key) CountSkipped(QStringLiteral("Course"));
    target[QStringLiteral("keysubjectid")] = key.value_or(Bulk::Cell());
    if (target[QStringLiteral("CourseCode")].isNull())
      target[QStringLiteral("CourseCode")] = target[QStringLiteral("Name")];
  };
  // The file holds one course; the first row is the one imported.
  CopyStep step{QStringLiteral("select * from Course"), QStringLiteral("Course"), 2, nullptr, overrides,
                {QStringLiteral("keysubjectid")}, true};
  bool first = true;
  step.include = [&first](const Bulk::Query&) { return std::exchange(first, false); };
  if (const qint32 id = CopyRows(step)) m_nCourseID = id;
}

void CImport::ImportContent() {
  m_ContentMap.clear();
  CopyRows(ContentStep());
}

CImport::CopyStep CImport::ContentStep() {
  const Bulk::Cell course = Bulk::Cell::integer(m_nCourseID);
  return {QStringLiteral("select * from Content"), QStringLiteral("Content"), 2, &m_ContentMap,
          [course](const Bulk::Query&, TargetRow& target) { target[QStringLiteral("CourseID")] = course; },
          {QStringLiteral("CourseID")}};
}

// The contents are this import's own, so a pair it has not written is not
// in the system database either: pairs are told apart here, not by asking
// the server for each row.
void CImport::ImportSyllabus() {
  const ImportSession& g = m_session;
  const QStringList copied{QStringLiteral("DefaultWeight"), QStringLiteral("Requirement"), QStringLiteral("Lastupdated")};
  Bulk::Writer target = Dest().InsertInto(QStringLiteral("Syllabus"),
                                          QStringList{QStringLiteral("ContentID"), QStringLiteral("SubjectID")} + copied);
  QSet<std::pair<qint32, qint32>> written;
  Bulk::Query source = Source().OpenQuery(QStringLiteral("select * from Syllabus"));
  while (source.next()) {
    const std::optional<qint32> c = m_ContentMap.value(source.at(0).toInt());
    const std::optional<qint32> s = g.SubjectMap.value(source.at(1).toInt());
    if (!c || !s) {
      CountSkipped(QStringLiteral("Syllabus"));
    } else if (!written.contains({*c, *s})) {
      written.insert({*c, *s});
      Bulk::Row row{Bulk::Cell::integer(*c), Bulk::Cell::integer(*s)};
      for (const QString& column : copied) row.push_back(source.at(column));
      target.add(row);
    }
    m_session.checkCancel();
  }
  target.flush();
}

void CImport::ImportCoursesSubjects() {
  const ImportSession& g = m_session;
  Bulk::Writer target = Dest().InsertInto(QStringLiteral("CoursesSubjects"),
                                          {QStringLiteral("CourseID"), QStringLiteral("SubjectID")});
  Bulk::Query source = Source().OpenQuery(QStringLiteral("select * from CoursesSubjects"));
  while (source.next()) {
    const std::optional<qint32> s = g.SubjectMap.value(source.at(QStringLiteral("SubjectID")).toInt());
    if (!s) {
      CountSkipped(QStringLiteral("CoursesSubjects"));
      continue;
    }
    target.add({Bulk::Cell::integer(m_nCourseID), Bulk::Cell::integer(*s)});
  }
  target.flush();
}

// The tree places the contents it names; the others, and all of them when
// the tree cannot be used, keep the file's parent when it is a content of
// this file, else go to the top level. A tree that cannot be used is still
// stored with new IDs only, and reported.
void CImport::UpdateContentHierarchy() {
  QVariant hierarchy;
  {
    Bulk::Query course = Dest().OpenQuery(QStringLiteral("select * from Course where CourseID=%1").arg(m_nCourseID));
    if (!course.next()) return;
    hierarchy = course.value(QStringLiteral("ContentHierarchy"));
  }
  const ContentTreeResult tree = TranslateContentTree(hierarchy, m_ContentMap);
  if (tree.documentType)
    CountUnusedTree(QStringLiteral("ContentHierarchy"));
  else if (!tree.usable)
    CountSkipped(QStringLiteral("ContentHierarchy"));
  if (tree.stored)
    Dest().ExecQuery(QStringLiteral("update Course set CONTENTHIERARCHY=? where CourseID=?"),
                     QVariantList{*tree.stored, m_nCourseID});
  UpdateContentParents(PlaceContents(m_ContentMap, tree.parents, ExchangeContentParents(Source())));
}

// A few hundred contents to a statement: the statements do not grow with the
// course (each is a round trip to a server).
void CImport::UpdateContentParents(const std::vector<ContentPlace>& places) {
  constexpr size_t perStatement = 150;  // 5 parameters each, within SQLite's oldest limit of 999
  for (size_t from = 0; from < places.size(); from += perStatement) {
    const size_t rows = std::min(perStatement, places.size() - from);
    QVariantList parents, levels, ids;
    for (size_t r = from; r < from + rows; ++r) {
      parents << places[r].id << places[r].parent;
      levels << places[r].id << places[r].level;
      ids << places[r].id;
    }
    // Typed, so that no server takes the values for text.
    const QString parentCases = QStringLiteral(" when ? then cast(? as integer)").repeated(qsizetype(rows));
    const QString levelCases = QStringLiteral(" when ? then cast(? as smallint)").repeated(qsizetype(rows));
    Dest().ExecQuery(QStringLiteral("update CONTENT set PARENTCONTENTID=case CONTENTID%1 end,LEVEL=case CONTENTID%2 end "
                                    "where CONTENTID in (%3)")
                         .arg(parentCases, levelCases, QStringLiteral("?,").repeated(qsizetype(rows)).chopped(1)),
                     parents + levels + ids);
  }
}
