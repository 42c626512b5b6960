// A course updated in place from a revised export of itself: exactly the
// changes of the file arrive, every problem and content that stays keeps its
// ID, and nothing is written before the person has seen the preview and said
// yes.
#include <QFile>

#include <array>

#include "data/CDataAccess.h"
#include "export/CExport.h"
#include "import/ImportFixture.h"
#include "resources/Strings.h"

namespace {
// Three more coded problems for the demo course (file IDs).
const QStringList kMoreProblems{
    "insert into Problem values (54,0,'P-54','b54','a54',4,NULL),(55,0,'P-55','b55','a55',5,NULL),"
    "(56,0,'P-56','b56','a56',6,NULL)",
    "insert into ProblemsContents values (54,32,NULL),(55,32,NULL),(56,33,NULL)",
    "insert into ProblemsFeatures values (54,11,1,2,NULL)"};

// The revision, made in the exported file (system IDs): three problems
// changed, two added (one without a code), one removed, a content renamed
// and one added.
const QStringList kRevision{
    "update Problem set Body='b53 修订' where ProblemCode='P-53'",
    "update Problem set Score=9 where ProblemCode='P-54'",
    "update ProblemsContents set ContentID=(select ContentID from Content where Name='第一小节') "
    "where ProblemID=(select ProblemID from Problem where ProblemCode='P-55')",
    "delete from ProblemsContents where ProblemID=(select ProblemID from Problem where ProblemCode='P-56')",
    "delete from Problem where ProblemCode='P-56'",
    "update Content set Name='第二章（修订）' where Name='第二章'",
    "insert into Content select 9101, CourseID, ContentID, 1, '第二节', 'c5', NULL from Content where Name='第一章'",
    "insert into Problem values (9001,0,'P-60','b60','a60',1,NULL),(9002,0,NULL,'b61','a61',1,NULL)",
    "insert into ProblemsContents select 9001, ContentID, NULL from Content where Name='第一章'",
    "insert into ProblemsContents values (9002,9101,NULL)"};
}  // namespace

class UpdateCourse : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    import.session().bAutoMap = true;
    ASSERT_TRUE(ImportCourse(DemoFile("first.mdb", kMoreProblems)));
    course = Count("select max(CourseID) from Course");
    ASSERT_TRUE(CExport(*ui).ExportCourseData(exported, course).succeeded());
    revised = Revised("revised.mdb", kRevision);
  }

  // A copy of the export with the statements run on it.
  QString Revised(const QString& name, const QStringList& statements) const {
    const QString file = env.path(name);
    QFile::remove(file);
    QFile::copy(exported, file);
    Edit(file, statements);
    return file;
  }

  void Edit(const QString& file, const QStringList& statements) const {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenExchangeFile(file, ExchangeAccess::Write);
    for (const QString& sql : statements) dal.ExecQuery(sql);
    dal.CloseConnection();
  }

  // The course's problems by code and contents by name, with their IDs.
  QMap<QString, QString> Ids() const {
    QMap<QString, QString> ids;
    auto dal = env.dal();
    Bulk::Query rows = dal->OpenQuery(QStringLiteral("select ProblemCode, ProblemID from Problem where ProblemID in (select "
                                              "ProblemID from ProblemsContents pc join Content c on c.ContentID="
                                              "pc.ContentID where c.CourseID=%1) union select Name, ContentID from "
                                              "Content where CourseID=%1").arg(course));
    while (rows.next()) ids.insert(rows.at(0).toString(), rows.at(1).toString());
    return ids;
  }

  // The rows of a query as one list.
  static QString List(const QString& sql) { return "select group_concat(r) from (" + sql + ") t"; }

  int course = 0;
  QString exported = env.path("exported.mdb");
  QString revised;
};

// Exactly the revision arrives; what stays keeps its ID; a paper built on a
// changed problem still points at it; the preview said so first.
TEST_F(UpdateCourse, ExactlyTheFilesChangesArriveAndKeptRowsKeepTheirIds) {
  const QMap<QString, QString> before = Ids();
  const QString p53 = before.value("P-53");
  env.exec("insert into Paper values (800,NULL,'期末','<P><PROBLEM ID=\"" + p53 + "\"/></P>',NULL)");
  const int problems = Count("select count(*) from Problem");
  ui->answers.push_back(Answer::Ok);
  ASSERT_TRUE(import.UpdateCourseData(revised).succeeded());
  EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
  EXPECT_EQ(progress.back().first, 100);

  // What stayed kept its ID; the new rows are exactly the file's new ones.
  const QMap<QString, QString> after = Ids();
  QStringList added;
  for (auto it = after.cbegin(); it != after.cend(); ++it)
    if (!before.contains(it.key())) added << (it.key().size() == 36 ? QStringLiteral("new code") : it.key());
    else EXPECT_EQ(it.value(), before.value(it.key())) << it.key().toStdString();
  EXPECT_EQ(before.size() + 4, after.size());
  added.sort();
  EXPECT_EQ(added, QStringList({"P-60", "new code", "第二章（修订）", "第二节"}));
  EXPECT_EQ(Count("select count(*) from Problem"), problems + 2);

  QMap<QString, QString> id = after;
  id["course"] = QString::number(course);
  for (auto [sql, expected] : std::initializer_list<std::pair<QString, QString>>{
           // The changed problems, the one the file no longer has untouched.
           {"select Body || ':' || cast(Score as integer) from Problem where ProblemID={P-53}", "b53 修订:3"},
           {"select Body || ':' || cast(Score as integer) from Problem where ProblemID={P-54}", "b54:9"},
           {List("select ProblemID || '>' || ContentID as r from ProblemsContents where ProblemID in "
                 "({P-53},{P-54},{P-55},{P-56},{P-60}) order by ProblemID"),
            "{P-53}>{第二章（修订）},{P-54}>{第一节},{P-55}>{第一小节},{P-56}>{第一小节},{P-60}>{第一章}"},
           {List("select ProblemID || ':' || FeatureID || ':' || Value as r from ProblemsFeatures where ProblemID in "
                 "({P-51},{P-54}) order by ProblemID"), "{P-51}:20:1,{P-54}:21:2"},
           // The paper still names the changed problem, whose row it finds.
           {"select Body from Paper where PaperID=800", "<P><PROBLEM ID=\"{P-53}\"/></P>"},
           {"select count(*) from ProblemGroup", "2"},
           // The new content sits under its chapter; the one the file no longer has stays at the top.
           {List("select Name || ':' || PARENTCONTENTID || '/' || LEVEL as r from Content where CourseID={course} "
                 "order by ContentID"),
            "第一章:0/0,第一节:{第一章}/1,第一小节:{第一节}/2,第二章:0/0,第二章（修订）:0/0,第二节:{第一章}/1"},
           {"select count(*) from Content c join Course k on k.CourseID=c.CourseID where k.CourseID={course} and "
            "k.ContentHierarchy like '%ID=\"' || c.ContentID || '\"%'", "6"},
           // The syllabus is the file's: the renamed chapter's row went with it.
           {List("select c.Name || ':' || s.SubjectID as r from Syllabus s join Content c on c.ContentID=s.ContentID "
                 "where c.CourseID={course} order by c.ContentID"), "第一章:7,第二章（修订）:3"},
       }) {
    for (auto it = id.cbegin(); it != id.cend(); ++it) {
      sql.replace('{' + it.key() + '}', it.value());
      expected.replace('{' + it.key() + '}', it.value());
    }
    EXPECT_EQ(Scalar(sql).toString().toStdString(), expected.toStdString()) << sql.toStdString();
  }

  // The preview that was asked: counts and the changed problems' columns.
  const UpdatePreview& preview = import.LastUpdatePreview();
  using K = UpdatePreview::Kind;
  const std::pair<K, std::pair<int, int>> counts[] = {
      {K::Added, {2, 2}}, {K::Changed, {3, 0}}, {K::Unchanged, {2, 3}}, {K::OnlyInSystem, {1, 1}}};
  for (const auto& [kind, expected] : counts) {
    EXPECT_EQ(preview.problems[size_t(kind)].count, expected.first) << UpdatePreview::kindName(kind).toStdString();
    EXPECT_EQ(preview.contents[size_t(kind)].count, expected.second) << UpdatePreview::kindName(kind).toStdString();
  }
  EXPECT_EQ(preview.uncodedProblems, 1);
  QStringList changed;
  for (const UpdatePreview::Row& r : preview.problems[size_t(K::Changed)].first) changed << r.key + ' ' + r.columns;
  EXPECT_EQ(changed, QStringList({"P-53 Body, ProblemsContents", "P-54 Score", "P-55 ProblemsContents"}));
  EXPECT_TRUE(ui->lastPrompt().contains(promptFor(Question::ApplyCourseUpdate, preview.course).text));
}

// Updates one after another, each from the export with other changes:
// groups follow their problems, a code pairs only within the course, and a
// file that changes nothing leaves every row as it was.
TEST_F(UpdateCourse, GroupsFollowTheirProblemsAndCodesPairOnlyWithinTheCourse) {
  env.exec("update Problem set ProblemCode='P-99' where ProblemID=500");  // a problem of no course
  const QString p51 = Ids().value("P-51");
  const struct {
    const char* what;
    QStringList changes;
    std::array<int, 4> problems;  // added, changed, unchanged, only in the system course
    QString sql, expected;
  } rows[] = {
      {"an unchanged file", {}, {0, 0, 6, 0}, "select count(*) from ProblemGroup", "2"},
      {"a new group of a new problem, the paired group's stem revised",
       {"insert into ProblemGroup values (9500,'<G><PROBLEM ID=\"9003\"/></G>','新题干',NULL)",
        "insert into Problem values (9003,9500,'P-70','b70',NULL,1,NULL)",
        "insert into ProblemsContents select 9003, ContentID, NULL from Content where Name='第一章'",
        "update ProblemGroup set Stem='共同题干（修订）' where ProblemGroupID=(select ProblemGroupID from Problem "
        "where ProblemCode='P-51')"},
       {1, 0, 6, 0},
       List("select g.Stem || ':' || case when g.ProblemHierarchy like '%\"' || p.ProblemID || '\"%' then 'named' "
            "else g.ProblemHierarchy end as r from Problem p join ProblemGroup g on g.ProblemGroupID=p.ProblemGroupID "
            "where p.ProblemCode in ('P-51','P-70') order by p.ProblemID"),
       "共同题干（修订）:named,新题干:named"},
      {"a code only a problem outside the course has",
       {"insert into Problem values (9004,0,'P-99','b99',NULL,1,NULL)",
        "insert into ProblemsContents select 9004, ContentID, NULL from Content where Name='第二章'"},
       {1, 0, 6, 1},
       List("select coalesce(Body, '-') as r from Problem where ProblemCode='P-99' order by ProblemID"), "-,b99"},
      {"a chapter whose date alone changed", {"update Content set Lastupdated='2030-01-02 03:04:05' where Name='第一章'"},
       {0, 0, 6, 2}, "select count(*) from Content where Lastupdated > '2029-12-31'", "1"},
      {"a kept problem linked to a section the update adds",
       {"insert into Content select 9102, CourseID, ContentID, 1, '第三节', 'c6', NULL from Content where Name='第一章'",
        "insert into ProblemsContents select ProblemID, 9102, NULL from Problem where ProblemCode='P-53'"},
       {0, 1, 5, 2}, List("select c.Name as r from ProblemsContents pc join Content c on c.ContentID=pc.ContentID "
                          "join Problem p on p.ProblemID=pc.ProblemID where p.ProblemCode='P-53' and c.Name='第三节'"), "第三节"},
      {"a group split in two",
       {"insert into ProblemGroup values (9501,NULL,'拆出的题干',NULL)",
        "update Problem set ProblemGroupID=9501 where Body='b52'"},  // P-53 also changes: its new link is not in this file
       {0, 2, 4, 2},
       List("select coalesce(g.Stem, '-') as r from Problem p join ProblemGroup g on g.ProblemGroupID=p.ProblemGroupID "
            "where p.Body in ('b51','b52') order by p.Body"),
       "共同题干,拆出的题干"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const QStringList before = Snapshot();
    ui->answers.push_back(Answer::Ok);
    ASSERT_TRUE(import.UpdateCourseData(Revised("row.mdb", row.changes)).succeeded());
    const UpdatePreview& preview = import.LastUpdatePreview();
    for (size_t kind = 0; kind < row.problems.size(); ++kind) EXPECT_EQ(preview.problems[kind].count, row.problems[kind]) << kind;
    EXPECT_EQ(Scalar(row.sql).toString(), row.expected);
    EXPECT_EQ(Ids().value("P-51"), p51);
    if (row.changes.isEmpty()) {
      EXPECT_EQ(Snapshot(), before);
    }
  }
}

// An Access file of the course, whose large tables are read from the file
// itself, pairs every problem and content and changes no row.
TEST_F(UpdateCourse, AnAccessFileOfTheSameCourseChangesNothing) {
  QFile::remove(env.path("Template.mdb"));
  ASSERT_TRUE(QFile::copy(TestEnv::builtJetTemplate(), env.path("Template.mdb")));
  QString access = env.path("access.mdb");
  ASSERT_TRUE(CExport(*ui).ExportCourseData(access, course).succeeded());
  const QStringList before = Snapshot().replaceInStrings(" 00:00:00", "");
  ui->answers.push_back(Answer::Ok);
  ASSERT_TRUE(import.UpdateCourseData(access).succeeded());
  EXPECT_EQ(import.LastUpdatePreview().problems[size_t(UpdatePreview::Kind::Unchanged)].count, 6);
  EXPECT_EQ(import.LastUpdatePreview().contents[size_t(UpdatePreview::Kind::Unchanged)].count, 4);
  // The same values; a date at midnight as the Access file and the server each spell it.
  EXPECT_EQ(Snapshot().replaceInStrings(" 00:00:00", ""), before);
}

// Whatever keeps the update from being written leaves the system database
// exactly as it was.
TEST_F(UpdateCourse, NothingIsWrittenUnlessThePreviewIsAccepted) {
  const QString elsewhere = env.path("elsewhere.mdb");
  QFile::copy(revised, elsewhere);
  Edit(elsewhere, {"update Course set Name='别的课程'"});
  struct Row {
    const char* what;
    QString file;
    std::optional<Answer> answer;  // to the preview; none: no preview is shown
    bool dryRun;
    int cancelAt;  // progress value at which the person cancels; -1 never
    TransferResult::Status status;
  };
  const Row rows[] = {
      {"preview declined", revised, Answer::Cancel, false, -1, TransferResult::Status::Declined},
      {"dry run", revised, Answer::Ok, true, -1, TransferResult::Status::Succeeded},
      {"cancelled while writing", revised, Answer::Ok, false, 50, TransferResult::Status::Cancelled},
      {"no course of that name", elsewhere, std::nullopt, false, -1, TransferResult::Status::Declined},
  };
  const QStringList before = Snapshot();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto cancel = std::make_shared<CancelFlag>();
    CImport update(*ui, cancel);
    update.session().bAutoMap = true;
    update.session().bDryRun = row.dryRun;
    update.ImportProgress = [&](qint16 value, const QString&) {
      if (value == row.cancelAt) cancel->request();
    };
    ui->shown.clear();
    if (row.answer) ui->answers.push_back(*row.answer);
    const TransferResult result = update.UpdateCourseData(row.file);
    update.session().releaseConnections();
    EXPECT_EQ(result.status, row.status);
    EXPECT_TRUE(ui->answers.empty());
    EXPECT_EQ(Snapshot(), before);
    if (!row.answer) {
      EXPECT_EQ(ui->prompts(), QStringList{result.reason});
      EXPECT_TRUE(result.reason.contains("别的课程"));
    }
  }
}
