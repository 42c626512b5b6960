#include "import/CourseUpdate.h"

#include <QSet>

#include <bit>
#include <deque>

#include "core/BoundedXml.h"
#include "core/Interaction.h"
#include "data/BulkUpdate.h"
#include "data/CDataAccess.h"
#include "data/DateValue.h"
#include "data/Schema.h"
#include "import/CImport.h"
#include "import/HierarchyXml.h"
#include "import/ImportGuards.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {
using Type = Schema::ColumnType;

// The problem columns an update compares; a change bit each, then the group
// and the two kinds of link rows.
struct Compared {
  const char* name;
  Type type;
};
constexpr Compared kComparedColumns[] = {
    {"Body", Type::Memo}, {"Answer", Type::Memo}, {"Score", Type::Real}, {"Lastupdated", Type::Date}};
constexpr int kColumnCount = int(std::size(kComparedColumns));
constexpr quint32 kGroupChanged = 1u << kColumnCount;
constexpr quint32 kLinksChanged = kGroupChanged << 1;
constexpr quint32 kFeaturesChanged = kGroupChanged << 2;

// Path steps are joined by a character no name holds; shown with '/'.
constexpr QChar kPathStep(u'\x1F');
constexpr int kTextShown = 30;

size_t Mix(quint64 x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return size_t(x ^ (x >> 31));
}

// Numbers and dates by value, so that 3 and 3.0, or a date with and without
// its time of day, are the same; text by its bytes; Null apart from all.
size_t DigestOf(const Bulk::Cell& c, Type type) {
  using K = Bulk::Cell::Kind;
  if (c.isNull()) return Mix(0);
  if (type == Type::Date && c.kind == K::Text) {
    if (const std::optional<Dates::Stamp> d = Dates::parse(QString::fromUtf8(c.bytes).trimmed()))
      return Mix(quint64(((((d->year * 13 + d->month) * 32 + d->day) * 24 + d->hour) * 60 + d->minute) * 60 + d->second) *
                     1000 + quint64(d->msec) + 1);
  } else if (type != Type::Text && type != Type::Memo && type != Type::Date) {
    bool ok = c.kind != K::Text;
    double d = c.kind == K::Int ? double(c.i) : c.kind == K::Real ? c.d : c.bytes.trimmed().toDouble(&ok);
    if (ok) return Mix(std::bit_cast<quint64>(d == 0 ? 0.0 : d) ^ 0x5bd1e995);
  }
  return c.kind == K::Text || c.kind == K::Blob ? Mix(qHash(c.bytes, 3)) : Mix(qHash(c.toString(), 5));
}

size_t FeatureDigest(qint32 feature, qint32 subject, size_t value) {
  return Mix((quint64(quint32(feature)) << 32) | quint32(subject)) ^ Mix(value);
}

// The beginning of a text as the preview shows it; a character cut at the
// end of the bytes kept falls beyond what is shown.
constexpr int kHeadBytes = 4 * kTextShown;
QByteArray Head(const Bulk::Cell& text) {
  return (text.kind == Bulk::Cell::Kind::Text ? text.bytes : text.toString().toUtf8()).left(kHeadBytes);
}
QString Shown(const QByteArray& head) { return QString::fromUtf8(head).simplified().left(kTextShown); }

QString ChangeNames(quint32 changed) {
  QStringList names;
  for (int i = 0; i < kColumnCount; ++i)
    if (changed & (1u << i)) names << QLatin1String(kComparedColumns[i].name);
  if (changed & kGroupChanged) names << QStringLiteral("ProblemGroupID");
  if (changed & kLinksChanged) names << QStringLiteral("ProblemsContents");
  if (changed & kFeaturesChanged) names << QStringLiteral("ProblemsFeatures");
  return names.join(QStringLiteral(", "));
}

using Kind = UpdatePreview::Kind;
}  // namespace

CourseUpdate::CourseUpdate(CImport& import, qint32 courseId, const QString& courseName)
    : im_(import), courseId_(courseId), preview_(import.m_preview),
      courseCondition_(QStringLiteral("CourseID=%1").arg(courseId)) {
  preview_ = UpdatePreview();
  preview_.course = courseName;
  preview_.courseId = courseId;
}

// The import's reading of a large table: an Access file serves exactly that
// one from the file.
Bulk::Query CourseUpdate::FileTable(const QString& table) {
  for (const StreamedTable& read : CImport::StreamedTables())
    if (read.table == table) return im_.Source().TableRows(read.table, read.orderColumn);
  return im_.Source().TableRows(table);
}

const UpdatePreview& CourseUpdate::Plan() {
  PlanContents();
  im_.m_session.checkCancel();
  PlanProblems();
  return preview_;
}

// ---------------------------------------------------------------- contents

std::vector<CourseUpdate::Content> CourseUpdate::ReadContents(bool fromFile, QVariant* tree) {
  CDataAccess& dal = fromFile ? im_.Source() : im_.Dest();
  const QString where = fromFile ? QString() : QStringLiteral(" where ") + courseCondition_;
  {
    Bulk::Query course = dal.OpenQuery(QStringLiteral("select ContentHierarchy from Course") + where);
    *tree = course.next() ? course.at(0).toVariant() : QVariant();
  }
  std::vector<Content> contents;
  Bulk::Query rows = dal.OpenQuery(
                    QStringLiteral("select ContentID, PARENTCONTENTID, Name, Description, Lastupdated from Content") +
                        where + QStringLiteral(" order by ContentID"));
  while (rows.next())
    contents.push_back({rows.at(0).toInt(), rows.at(1).toInt(), rows.at(2).toString(),
                        DigestOf(rows.at(3), Type::Memo), DigestOf(rows.at(4), Type::Date)});
  return contents;
}

// Each content's names from the root, placed as an import places them: by
// the tree where it can be used, else by the parent column.
QHash<qint32, QString> CourseUpdate::Paths(const std::vector<Content>& contents, const QVariant& tree) {
  IdMap ids;
  QHash<qint32, qint32> columnParents;
  QHash<qint32, QString> names;
  for (const Content& c : contents) {
    if (ids.contains(c.id)) continue;
    ids.add(c.id, c.id);
    columnParents.insert(c.id, c.parent);
    names.insert(c.id, c.name);
  }
  const ContentTreeResult placed = TranslateContentTree(tree, ids);
  QHash<qint32, qint32> parents;
  for (const ContentPlace& p : PlaceContents(ids, placed.usable ? placed.parents : QHash<qint32, qint32>(), columnParents))
    parents.insert(p.id, p.parent);
  QHash<qint32, QString> paths;
  for (const auto& entry : ids) {
    QStringList chain;
    for (qint32 at = entry.first; at != 0 && chain.size() <= kMaxXmlDepth; at = parents.value(at))
      chain.prepend(names.value(at));
    paths.insert(entry.first, chain.join(kPathStep));
  }
  return paths;
}

void CourseUpdate::PlanContents() {
  QVariant systemTree;
  QVariant fileTree;
  const std::vector<Content> system = ReadContents(false, &systemTree);
  fileContents_ = ReadContents(true, &fileTree);
  const QHash<qint32, QString> systemPaths = Paths(system, systemTree);
  const QHash<qint32, QString> filePaths = Paths(fileContents_, fileTree);
  const auto shown = [](QString path) { return path.replace(kPathStep, QLatin1Char('/')); };

  QHash<QString, std::deque<size_t>> byPath;  // the course's contents of each path, in ID order
  for (size_t i = 0; i < system.size(); ++i) byPath[systemPaths.value(system[i].id)].push_back(i);
  QSet<qint32> paired;
  for (const Content& f : fileContents_) {
    if (contentPairs_.contains(f.id)) continue;  // an ID the file uses twice is refused when written
    std::deque<size_t>& same = byPath[filePaths.value(f.id)];
    const UpdatePreview::Row row{shown(filePaths.value(f.id)), f.name, {}};
    if (same.empty()) {
      UpdatePreview::note(preview_.contentGroup(Kind::Added), row);
      continue;
    }
    const Content& s = system[same.front()];
    same.pop_front();
    contentPairs_.add(f.id, s.id);
    paired.insert(s.id);
    QStringList columns;
    if (f.description != s.description) columns << QStringLiteral("Description");
    if (f.updated != s.updated) columns << QStringLiteral("Lastupdated");
    if (columns.isEmpty()) {
      UpdatePreview::note(preview_.contentGroup(Kind::Unchanged), row);
    } else {
      changedContents_.push_back(f.id);
      UpdatePreview::note(preview_.contentGroup(Kind::Changed), {row.key, row.text, columns.join(QStringLiteral(", "))});
    }
  }
  for (const Content& s : system) {
    if (paired.contains(s.id)) continue;
    UpdatePreview::note(preview_.contentGroup(Kind::OnlyInSystem), {shown(systemPaths.value(s.id)), s.name, {}});
  }
}

// ---------------------------------------------------------------- problems

// The course's problems are those linked to its contents.
QString CourseUpdate::CourseProblems() const {
  return QStringLiteral("select pc.ProblemID from ProblemsContents pc inner join Content c on c.ContentID=pc.ContentID "
                        "where c.") + courseCondition_;
}

void CourseUpdate::ReadSystemProblems() {
  CDataAccess& dest = im_.Dest();
  {
    Bulk::Query rows = dest.OpenQuery(QStringLiteral("select ProblemID, ProblemGroupID, ProblemCode, Body, Answer, Score, "
                                           "Lastupdated from Problem where ProblemID in (%1) order by ProblemID")
                                .arg(CourseProblems()));
    while (rows.next()) {
      SystemProblem p;
      p.id = rows.at(0).toInt();
      p.group = std::max(0, rows.at(1).toInt());
      p.code = rows.at(2).toString();
      for (int i = 0; i < kColumnCount; ++i) p.columns[size_t(i)] = DigestOf(rows.at(3 + i), kComparedColumns[i].type);
      const int index = int(systemProblems_.size());
      if (!rows.at(2).isNull() && !systemByCode_.contains(p.code)) systemByCode_.insert(p.code, index);
      systemById_.insert(p.id, index);
      systemProblems_.push_back(std::move(p));
      im_.m_session.checkCancel();
    }
  }
  {
    Bulk::Query links = dest.OpenQuery(QStringLiteral("select pc.ProblemID, pc.ContentID from ProblemsContents pc inner join "
                                            "Content c on c.ContentID=pc.ContentID where c.") + courseCondition_);
    while (links.next())
      if (const auto it = systemById_.constFind(links.at(0).toInt()); it != systemById_.cend())
        systemProblems_[size_t(*it)].links += Mix(quint64(links.at(1).toInt()));
  }
  Bulk::Query features = dest.OpenQuery(QStringLiteral("select ProblemID, FeatureID, SubjectID, Value from ProblemsFeatures "
                                             "where ProblemID in (%1)").arg(CourseProblems()));
  while (features.next())
    if (const auto it = systemById_.constFind(features.at(0).toInt()); it != systemById_.cend())
      systemProblems_[size_t(*it)].features +=
          FeatureDigest(features.at(1).toInt(), features.at(2).toInt(), DigestOf(features.at(3), Type::Int));
}

// Keeps a row of the file for writing, up to a limit past which the table is
// read again instead.
void CourseUpdate::Keep(Kept& kept, const Bulk::Query& rows) {
  if (kept.columns.isEmpty()) kept.columns = rows.columns();
  if (!kept.complete) return;
  if (kept.rows.size() == kMaxKeptRows) {
    kept.complete = false;
    kept.rows.clear();
    return;
  }
  kept.rows.push_back(rows.row());
}

std::unique_ptr<Bulk::RowSource> CourseUpdate::Rows(Kept& kept) {
  auto rows = std::make_unique<Bulk::RowsInMemory>(kept.columns);
  for (Bulk::Row& row : kept.rows) rows->add(std::move(row));
  kept.rows.clear();
  return rows;
}

void CourseUpdate::ReadFileProblems() {
  Bulk::Query rows = FileTable(QStringLiteral("Problem"));
  const int groupAt = rows.column(QStringLiteral("ProblemGroupID"));
  const int codeAt = rows.column(QStringLiteral("ProblemCode"));
  int columnAt[kColumnCount];
  for (int i = 0; i < kColumnCount; ++i) columnAt[i] = rows.column(QLatin1String(kComparedColumns[i].name));
  while (rows.next()) {
    FileProblem p;
    p.id = rows.at(0).toInt();
    p.group = std::max(0, rows.at(groupAt).toInt());
    p.head = Head(rows.at(columnAt[0]));
    const Bulk::Cell& code = rows.at(codeAt);
    if (code.isNull()) {
      ++preview_.uncodedProblems;
    } else {
      p.code = code.toString();
      const auto it = systemByCode_.constFind(p.code);
      if (it != systemByCode_.cend() && !systemProblems_[size_t(*it)].paired) {
        SystemProblem& s = systemProblems_[size_t(*it)];
        s.paired = true;
        p.paired = *it;
        for (int i = 0; i < kColumnCount; ++i)
          if (DigestOf(rows.at(columnAt[i]), kComparedColumns[i].type) != s.columns[size_t(i)]) p.changed |= 1u << i;
      }
    }
    if (p.paired < 0 || p.changed) Keep(keptProblems_, rows);
    if (!fileById_.contains(p.id)) fileById_.insert(p.id, int(fileProblems_.size()));
    fileProblems_.push_back(std::move(p));
    im_.m_session.checkCancel();
  }
}

// The links of paired problems, with the contents the file's pair with;
// those of new problems kept for writing.
void CourseUpdate::ReadFileLinks() {
  QSet<qint32> fileContents;
  for (const Content& c : fileContents_) fileContents.insert(c.id);
  Bulk::Query rows = FileTable(QStringLiteral("ProblemsContents"));
  const int problemAt = rows.column(QStringLiteral("ProblemID"));
  const int contentAt = rows.column(QStringLiteral("ContentID"));
  while (rows.next()) {
    const auto it = fileById_.constFind(rows.at(problemAt).toInt());
    if (it == fileById_.cend()) continue;
    FileProblem& p = fileProblems_[size_t(*it)];
    if (p.paired < 0) {
      Keep(keptLinks_, rows);
      continue;
    }
    const qint32 content = rows.at(contentAt).toInt();
    if (const std::optional<qint32> system = contentPairs_.value(content))
      p.links += Mix(quint64(*system));
    else if (fileContents.contains(content))
      p.linksNewContent = true;  // a content the update adds
  }
}

// The values of paired problems, translated as the import translates them;
// those of new problems kept for writing.
void CourseUpdate::ReadFileFeatures() {
  const QMap<QString, int> skipped = im_.m_skipped;  // counted when written, not twice
  const ImportSession& g = im_.m_session;
  Bulk::Query rows = FileTable(QStringLiteral("ProblemsFeatures"));
  const int problemAt = rows.column(QStringLiteral("ProblemID"));
  const int subjectAt = rows.column(QStringLiteral("SubjectID"));
  const int valueAt = rows.column(QStringLiteral("Value"));
  while (rows.next()) {
    const auto it = fileById_.constFind(rows.at(problemAt).toInt());
    if (it == fileById_.cend()) continue;
    if (fileProblems_[size_t(*it)].paired < 0) {
      Keep(keptFeatures_, rows);
      continue;
    }
    const std::optional<Bulk::Cell> feature = CImport::Translate(g.FeatureMap, rows.at(1));
    const std::optional<Bulk::Cell> subject = CImport::Translate(g.SubjectMap, rows.at(subjectAt));
    if (!feature || !subject) continue;
    const Bulk::Cell value = im_.TranslateFeatureValue(rows.at(1), rows.at(valueAt));
    fileProblems_[size_t(*it)].features += FeatureDigest(feature->toInt(), subject->toInt(), DigestOf(value, Type::Int));
  }
  im_.m_skipped = skipped;
}

// A file group is the course's group of its first paired problem; a group
// of the course serves one file group only.
void CourseUpdate::PairGroups() {
  QSet<qint32> claimed;
  for (const FileProblem& p : fileProblems_) {
    if (p.paired < 0 || p.group == 0 || groupPairs_.contains(p.group)) continue;
    const qint32 system = systemProblems_[size_t(p.paired)].group;
    if (system == 0 || claimed.contains(system)) continue;
    groupPairs_.add(p.group, system);
    claimed.insert(system);
  }
}

void CourseUpdate::PlanProblems() {
  ReadSystemProblems();
  ReadFileProblems();
  ReadFileLinks();
  ReadFileFeatures();
  PairGroups();
  for (FileProblem& p : fileProblems_) {
    const UpdatePreview::Row row{p.code.isEmpty() ? QStringLiteral("（无编码）") : p.code, Shown(p.head), {}};
    if (p.paired < 0) {
      UpdatePreview::note(preview_.problemGroup(Kind::Added), row);
      continue;
    }
    const SystemProblem& s = systemProblems_[size_t(p.paired)];
    const qint32 group = p.group ? groupPairs_.value(p.group).value_or(-1) : 0;  // -1: a group the update adds
    if (group != s.group) p.changed |= kGroupChanged;
    if (p.links != s.links || p.linksNewContent) p.changed |= kLinksChanged;
    if (p.features != s.features) p.changed |= kFeaturesChanged;
    if (p.changed)
      UpdatePreview::note(preview_.problemGroup(Kind::Changed), {row.key, row.text, ChangeNames(p.changed)});
    else
      UpdatePreview::note(preview_.problemGroup(Kind::Unchanged), row);
  }
  // The first of the problems only the course has, with the beginning of their bodies.
  QHash<qint32, QString> shown;
  std::vector<qint32> first;
  for (const SystemProblem& s : systemProblems_)
    if (!s.paired && first.size() < size_t(UpdatePreview::kFirstRows)) first.push_back(s.id);
  if (!first.empty()) {
    QStringList ids;
    for (const qint32 id : first) ids << QString::number(id);
    Bulk::Query rows = im_.Dest().OpenQuery(
                      QStringLiteral("select ProblemID, Body from Problem where ProblemID in (%1)").arg(ids.join(',')));
    while (rows.next()) shown.insert(rows.at(0).toInt(), Shown(Head(rows.at(1))));
  }
  for (const SystemProblem& s : systemProblems_)
    if (!s.paired) UpdatePreview::note(preview_.problemGroup(Kind::OnlyInSystem), {s.code, shown.value(s.id), {}});
}

// ---------------------------------------------------------------- writing

void CourseUpdate::Progress(qint16 value, int resource) { im_.RaiseProgress(value, Res::str(resource)); }

void CourseUpdate::Apply() {
  Progress(0, 323);
  UpdateCourseRow();
  Progress(10, 324);
  ReplaceCourseRows(QStringLiteral("CoursesFeaturePartitions"), courseCondition_);
  im_.ImportCoursesFeaturePartitions();
  Progress(20, 325);
  WriteContents();
  Progress(30, 326);
  WriteGroups();
  Progress(40, 327);
  WriteProblems();
  Progress(50, 328);
  ReplaceLinks();
  Progress(70, 330);
  ReplaceCourseRows(QStringLiteral("Syllabus"),
                    QStringLiteral("ContentID in (select ContentID from Content where %1)").arg(courseCondition_));
  im_.ImportSyllabus();
  Progress(80, 331);
  im_.UpdateContentHierarchy();
  MergeContentTree();
  Progress(90, 332);
  ReplaceCourseRows(QStringLiteral("CoursesSubjects"), courseCondition_);
  im_.ImportCoursesSubjects();
  im_.UpdateProblemHierarchy();
}

// Rows that belong to the course and become the file's: the import's step
// writes them again.
void CourseUpdate::ReplaceCourseRows(const QString& table, const QString& condition) {
  im_.Dest().ExecQuery(QStringLiteral("delete from %1 where %2").arg(table, condition));
}

// The course keeps its ID and name and takes the file's other columns; its
// tree holds the file's IDs until UpdateContentHierarchy translates it.
void CourseUpdate::UpdateCourseRow() {
  Bulk::Query file = im_.Source().OpenQuery(QStringLiteral("select * from Course"));
  if (!file.next()) return;
  const std::optional<Bulk::Cell> key =
      CImport::Translate(im_.m_session.SubjectMap, file.at(file.column(QStringLiteral("KeySubjectID"))));
  if (!key) im_.CountSkipped(QStringLiteral("Course"));
  Bulk::Cell code = file.at(file.column(QStringLiteral("CourseCode")));
  if (code.isNull()) code = Bulk::Cell::text(preview_.course);
  const QStringList columns{QStringLiteral("KeySubjectID"), QStringLiteral("Description"), QStringLiteral("CourseCode"),
                            QStringLiteral("ContentHierarchy"), QStringLiteral("Lastupdated")};
  const Bulk::Row row{Bulk::Cell::integer(courseId_), key.value_or(Bulk::Cell()),
                      file.at(file.column(QStringLiteral("Description"))), code,
                      file.at(file.column(QStringLiteral("ContentHierarchy"))),
                      file.at(file.column(QStringLiteral("Lastupdated")))};
  im_.Dest().UpdateRows(QStringLiteral("Course"), QStringLiteral("CourseID"), columns, {row});
}

void CourseUpdate::WriteContents() {
  if (!changedContents_.empty()) {
    QSet<qint32> changed(changedContents_.cbegin(), changedContents_.cend());
    std::vector<Bulk::Row> rows;
    Bulk::Query file = im_.Source().OpenQuery(
                      QStringLiteral("select ContentID, Name, Description, Lastupdated from Content"));
    while (file.next())
      if (changed.remove(file.at(0).toInt()))
        rows.push_back({Bulk::Cell::integer(*contentPairs_.value(file.at(0).toInt())), file.at(1), file.at(2), file.at(3)});
    im_.Dest().UpdateRows(QStringLiteral("Content"), QStringLiteral("ContentID"),
                     {QStringLiteral("Name"), QStringLiteral("Description"), QStringLiteral("Lastupdated")}, rows);
  }
  im_.m_ContentMap = contentPairs_;
  CImport::CopyStep step = im_.ContentStep();
  step.include = [this](const Bulk::Query& source) { return !contentPairs_.contains(source.at(0).toInt()); };
  im_.CopyRows(step);
}

// Groups of paired problems take the file's stem; the others are added.
void CourseUpdate::WriteGroups() {
  im_.m_ProblemGroupMap = groupPairs_;
  std::vector<Bulk::Row> updates;
  QSet<qint32> updated;
  std::optional<std::pair<int, int>> at;  // Stem, Lastupdated
  CImport::CopyStep step{QStringLiteral("select * from ProblemGroup"), QStringLiteral("ProblemGroup"), 1,
                         &im_.m_ProblemGroupMap, {}};
  step.include = [&](const Bulk::Query& source) {
    const qint32 id = source.at(0).toInt();
    const std::optional<qint32> system = groupPairs_.value(id);
    if (!system) return true;
    if (!at) at = {source.column(QStringLiteral("Stem")), source.column(QStringLiteral("Lastupdated"))};
    if (!updated.contains(id)) updates.push_back({Bulk::Cell::integer(*system), source.at(at->first), source.at(at->second)});
    updated.insert(id);
    return false;
  };
  im_.CopyRows(step);
  im_.Dest().UpdateRows(QStringLiteral("ProblemGroup"), QStringLiteral("ProblemGroupID"),
                   {QStringLiteral("Stem"), QStringLiteral("Lastupdated")}, updates);
}

// New problems through the import's own step; those with changed columns
// updated together. Both come from the rows the plan kept, or from a second
// reading of the file when there were too many to keep.
void CourseUpdate::WriteProblems() {
  im_.m_ProblemMap.clear();
  for (const FileProblem& p : fileProblems_)
    if (p.paired >= 0 && !im_.m_ProblemMap.contains(p.id))
      im_.m_ProblemMap.add(p.id, systemProblems_[size_t(p.paired)].id);
  std::vector<Bulk::Row> updates;
  std::vector<Bulk::Row> groupUpdates;  // problems whose group alone changes
  QSet<qint32> updated;
  std::optional<std::vector<int>> at;  // ProblemGroupID, then the compared columns
  const quint32 columnBits = kGroupChanged - 1;
  const auto groupOf = [this](const FileProblem& p, const Bulk::Cell& raw) {
    if (!p.group) return raw;
    const std::optional<Bulk::Cell> group = CImport::Translate(im_.m_ProblemGroupMap, Bulk::Cell::integer(p.group));
    if (!group) im_.CountSkipped(QStringLiteral("Problem"));
    return group.value_or(Bulk::Cell());
  };
  for (const FileProblem& p : fileProblems_)
    if (p.paired >= 0 && (p.changed & kGroupChanged) && !(p.changed & columnBits))
      groupUpdates.push_back({Bulk::Cell::integer(systemProblems_[size_t(p.paired)].id), groupOf(p, Bulk::Cell::integer(0))});
  CImport::CopyStep step = im_.ProblemStep();
  step.include = [&](const Bulk::Query& source) {
    const auto it = fileById_.constFind(source.at(0).toInt());
    if (it == fileById_.cend()) return true;
    const FileProblem& p = fileProblems_[size_t(*it)];
    if (p.paired < 0) return true;
    if (!(p.changed & columnBits) || updated.contains(p.id)) return false;
    updated.insert(p.id);
    if (!at) {
      at = std::vector<int>{source.column(QStringLiteral("ProblemGroupID"))};
      for (const Compared& c : kComparedColumns) at->push_back(source.column(QLatin1String(c.name)));
    }
    Bulk::Row row{Bulk::Cell::integer(systemProblems_[size_t(p.paired)].id), groupOf(p, source.at((*at)[0]))};
    for (size_t i = 1; i < at->size(); ++i) row.push_back(source.at((*at)[i]));
    updates.push_back(std::move(row));
    return false;
  };
  if (keptProblems_.complete)
    im_.CopyRows(step, Rows(keptProblems_));
  else
    im_.CopyRows(step);
  QStringList columns{QStringLiteral("ProblemGroupID")};
  for (const Compared& c : kComparedColumns) columns << QLatin1String(c.name);
  CDataAccess& dest = im_.Dest();
  dest.UpdateRows(QStringLiteral("Problem"), QStringLiteral("ProblemID"), columns, updates);
  dest.UpdateRows(QStringLiteral("Problem"), QStringLiteral("ProblemID"), {QStringLiteral("ProblemGroupID")},
                   groupUpdates);
}

// Problems whose links or values changed lose theirs (links to the course's
// contents only); they and the new problems get the file's. The new
// problems' rows come from the plan; the file is read again only for paired
// problems whose links or values changed.
void CourseUpdate::ReplaceLinks() {
  CDataAccess& dest = im_.Dest();
  const auto write = [&](quint32 bit, const QString& table, const QString& condition, Kept& kept,
                         void (CImport::*step)(const CImport::ProblemFilter&, std::unique_ptr<Bulk::RowSource>)) {
    std::vector<qint32> changed;
    for (const FileProblem& p : fileProblems_)
      if (p.paired >= 0 && (p.changed & bit)) changed.push_back(systemProblems_[size_t(p.paired)].id);
    Bulk::deleteKeys(dest, table, QStringLiteral("ProblemID"), changed, condition);
    const CImport::ProblemFilter written = [this, bit](qint32 oldId) {
      const auto it = fileById_.constFind(oldId);
      if (it == fileById_.cend()) return false;
      const FileProblem& p = fileProblems_[size_t(*it)];
      return p.paired < 0 || (p.changed & bit);
    };
    if (changed.empty() && kept.complete)
      (im_.*step)(written, Rows(kept));
    else
      (im_.*step)(written, nullptr);
  };
  write(kLinksChanged, QStringLiteral("ProblemsContents"),
        QStringLiteral("ContentID in (select ContentID from Content where %1)").arg(courseCondition_), keptLinks_,
        &CImport::ImportProblemsContents);
  Progress(60, 329);
  write(kFeaturesChanged, QStringLiteral("ProblemsFeatures"), QString(), keptFeatures_, &CImport::ImportProblemsFeatures);
}

// The stored tree names every content of the course: those the file's tree
// did not name (the ones the file no longer has among them) are put under
// their parent when it is there, else at the top, and placed by it.
void CourseUpdate::MergeContentTree() {
  CDataAccess& dest = im_.Dest();
  QVariant tree;
  {
    Bulk::Query course = dest.OpenQuery(QStringLiteral("select ContentHierarchy from Course where ") + courseCondition_);
    if (course.next()) tree = course.at(0).toVariant();
  }
  IdMap ids;
  QHash<qint32, qint32> parents;
  QHash<qint32, qint16> levels;
  std::vector<std::pair<qint32, qint32>> contents;
  {
    Bulk::Query rows = dest.OpenQuery(QStringLiteral("select ContentID, PARENTCONTENTID, LEVEL from Content where %1 order by ContentID")
                                .arg(courseCondition_));
    while (rows.next()) {
      const qint32 id = rows.at(0).toInt();
      if (ids.contains(id)) continue;
      ids.add(id, id);
      parents.insert(id, rows.at(1).toInt());
      levels.insert(id, qint16(rows.at(2).toInt()));
      contents.emplace_back(id, rows.at(1).toInt());
    }
  }
  const std::optional<QString> merged = tree.isNull() ? std::nullopt : AddContents(tree.toString(), contents);
  if (!merged) return;  // no tree to keep them in: they keep their places
  if (*merged != tree.toString())
    dest.UpdateColumn(QStringLiteral("Course"), QStringLiteral("CourseID"), QStringLiteral("ContentHierarchy"),
                      {{courseId_, *merged}});
  const ContentTreeResult placed = TranslateContentTree(*merged, ids);
  std::vector<ContentPlace> moved;
  for (const ContentPlace& place : PlaceContents(ids, placed.usable ? placed.parents : QHash<qint32, qint32>(), parents))
    if (place.parent != parents.value(place.id) || place.level != levels.value(place.id)) moved.push_back(place);
  im_.UpdateContentParents(moved);
}

// ---------------------------------------------------------------- driver

namespace {
// The system courses of the file's course name, compared as the name
// conflict compares it.
std::vector<std::pair<qint32, QString>> CoursesNamed(CDataAccess& dest, const QString& name) {
  Bulk::Query rows = dest.OpenQuery(QStringLiteral("select CourseID, Name from Course where ") +
                                        Sql::equalsIgnoringCase(dest.dialect(), QStringLiteral("Name")),
                                    QVariantList{name});
  std::vector<std::pair<qint32, QString>> courses;
  while (rows.next()) courses.emplace_back(rows.at(0).toInt(), rows.at(1).toString());
  return courses;
}
}  // namespace

TransferResult CImport::UpdateCourseData(const QString& strFileName) {
  return Run(strFileName, [this](const QString& file) { return UpdateSteps(file); });
}

TransferResult CImport::UpdateSteps(const QString& file) {
  m_preview = UpdatePreview();
  if (auto refused = OpenExchangeFile(file, true)) return *refused;
  Transaction transaction(Dest(), ImportTurn());
  QString name;
  {
    Bulk::Query course = Source().OpenQuery(QStringLiteral("select Name from Course"));
    if (course.next()) name = course.at(0).toString();
  }
  const std::vector<std::pair<qint32, QString>> courses = CoursesNamed(Dest(), name);
  if (courses.size() != 1) {
    const QString text = courses.empty()
                             ? QStringLiteral("系统数据库中没有名称为%1的课程，不能更新。\r\n请用导入把它作为新课程导入。").arg(name)
                             : QStringLiteral("系统数据库中有%1门名称为%2的课程，不能确定更新哪一门。").arg(courses.size()).arg(name);
    m_session.ui().MsgBox(text, {MessageKind::Warning}, Res::str(Res::TransferTitle));
    return TransferResult::ended(TransferResult::Status::Declined, file, text, true);
  }
  m_nCourseID = courses.front().first;
  m_bRenameCourse = false;
  const TransferResult notUpdated =
      TransferResult::ended(TransferResult::Status::Declined, file, QStringLiteral("未更新"), false);
  if (!RunCourseMappingSteps()) return notUpdated;

  CourseUpdate update(*this, m_nCourseID, courses.front().second);
  update.Plan();
  m_session.checkCancel();
  if (m_session.ui().ConfirmCourseUpdate(m_preview) != Answer::Ok) {
    TransferResult declined = notUpdated;
    declined.declinedAt = Question::ApplyCourseUpdate;
    return declined;
  }
  if (m_session.bDryRun) return TransferResult::ended(TransferResult::Status::Succeeded, file);  // rolled back
  const BusyPointer busy(m_session.ui());
  update.Apply();
  m_session.checkCancel();
  transaction.commit();
  RaiseProgress(100, QStringLiteral("课程更新完成！"));
  return TransferResult::ended(TransferResult::Status::Succeeded, file);
}
