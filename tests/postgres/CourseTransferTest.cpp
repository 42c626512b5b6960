// A demo course travels from SQLite to the PostgreSQL server and back to another SQLite database, through exchange
// files. Every table of the course is compared with each ID read as what it names: a lost row or a reference to
// the wrong row shows as a difference.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QRegularExpression>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

namespace {

// One course as sorted lines per table, every reference read as what it names.
// An XML tree keeps its shape without its IDs: the rows it names are compared as rows.
QMap<QString, QStringList> imageOf(CDataAccess& dal) {
  QString c;
  {
    Bulk::Query course = dal.OpenQuery("select CourseID from Course where Name = ?", {DemoData::BigCourseName});
    if (course.next()) c = course.value(0).toString();
  }
  const QString problems = "(select pc.ProblemID from ProblemsContents pc join Content ct on ct.ContentID = pc.ContentID "
                           "where ct.CourseID = " + c + ")";
  // A range feature brings the receiving system's partitions with weight 0: compare which, not the weights.
  const QString ranged = "case when f.type = 1 then NULL else %1 end";
  const QString tables[][2] = {
      {"Content", "select ct.Name, up.Name, ct.LEVEL, ct.Description, ct.Lastupdated from Content ct left join Content up "
                  "on up.ContentID = ct.PARENTCONTENTID where ct.CourseID = " + c},
      // A problem without a code (or with a made-up one) gets a new one on import.
      {"Problem", "select p.Body, p.Answer, p.Score, p.Lastupdated, case when p.ProblemCode like '%-%-%-%-%' or "
                  "p.ProblemCode = '' then NULL else p.ProblemCode end, g.Stem from Problem p left join ProblemGroup g on "
                  "g.ProblemGroupID = p.ProblemGroupID where p.ProblemID in " + problems},
      {"ProblemGroup", "select ProblemHierarchy, Stem, Lastupdated from ProblemGroup where ProblemGroupID in (select "
                       "ProblemGroupID from Problem where ProblemID in " + problems + ")"},
      {"Course", "select s.name, c.Name, c.Description, c.CourseCode, c.ContentHierarchy, c.Lastupdated from Course c "
                 "left join Subject s on s.SubjectID = c.KeySubjectID where c.CourseID = " + c},
      {"CoursesSubjects", "select s.name from CoursesSubjects cs left join Subject s on s.SubjectID = cs.SubjectID where "
                          "cs.CourseID = " + c},
      {"Syllabus", "select ct.Name, s.name, y.DefaultWeight, y.Requirement, y.Lastupdated from Syllabus y join Content ct "
                   "on ct.ContentID = y.ContentID left join Subject s on s.SubjectID = y.SubjectID where ct.CourseID = " + c},
      {"CoursesFeaturePartitions", "select f.name, fp.name, " + ranged.arg("cfp.DefaultWeight") + ", " +
           ranged.arg("cfp.Lastupdated") + " from CoursesFeaturePartitions cfp join FeaturePartition fp on "
           "fp.FeaturePartitionID = cfp.FeaturePartitionID join Feature f on f.FeatureID = fp.FeatureID where "
           "cfp.CourseID = " + c},
      {"ProblemsContents", "select p.Body, ct.Name, pc.Lastupdated from ProblemsContents pc join Problem p on p.ProblemID = "
                           "pc.ProblemID join Content ct on ct.ContentID = pc.ContentID where ct.CourseID = " + c},
      {"ProblemsFeatures", "select p.Body, f.name, s.name, case when f.type = 0 then (select fp.name from FeaturePartition "
           "fp where fp.FeatureID = pf.FeatureID and fp.Minimum = pf.Value) end, case when f.type = 0 then NULL else "
           "pf.Value end, pf.Lastupdated from ProblemsFeatures pf join Problem p on p.ProblemID = pf.ProblemID join "
           "Feature f on f.FeatureID = pf.FeatureID left join Subject s on s.SubjectID = pf.SubjectID where pf.ProblemID "
           "in " + problems}};
  static const QRegularExpression id(QStringLiteral(" ID=\"-?\\d+\"")), empty(QStringLiteral("<(\\w+)([^>]*)></\\1>"));
  QMap<QString, QStringList> image;
  for (const auto& [table, sql] : tables) {
    Bulk::Query rows = dal.OpenQuery(sql);
    while (rows.next()) {
      QStringList row;
      for (int i = 0; i < rows.columnCount(); ++i) {
        const QVariant v = rows.value(i);
        const int type = v.metaType().id();
        row << (v.isNull() ? "NULL" : type == QMetaType::QDateTime ? v.toDateTime().toString("yyyy-MM-dd HH:mm:ss")
                                    : type == QMetaType::Double    ? QString::number(v.toDouble())
                                                                   : v.toString().remove(id).replace(empty, "<\\1\\2/>"));
      }
      image[table] << row.join('|');
    }
    image[table].sort();
  }
  return image;
}

TEST(CourseTransferOnServer, SqliteToPostgresAndBackKeepsEveryRowAndReference) {
  if (!TestEnv::onPostgres()) GTEST_SKIP() << "runs in the pg.* set, against the PostgreSQL test server";
  TestEnv env;  // its system database is the one on the server
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  const QString first = TestEnv::createSqliteSystemDb(env.path("first.db"));
  const QString server = env.systemConnect();
  const QString last = TestEnv::createSqliteSystemDb(env.path("last.db"));
  const auto open = [](const QString& connect) {
    auto dal = std::make_unique<CDataAccess>(CDataAccess::Unconnected{});
    dal->OpenConnection(connect);
    return dal;
  };
  const auto from = open(first);
  DemoData::create(*from, 80);
  // A working system has its subjects, features and partitions before any course
  // arrives: the receiving ones get those of the first, IDs included.
  for (const QString& receiving : {server, last}) {
    const auto to = open(receiving);
    for (const QString table : {"Subject", "Feature", "FeaturePartition"}) {
      Bulk::Query source = from->OpenQuery("select * from " + table);
      Bulk::Writer target = to->InsertInto(table, source.columns(), {}, Bulk::ReadBack::AtOnce);
      while (source.next()) target.add(source.row());
    }
  }
  const QString legs[][3] = {{first, env.path("outbound.mdb"), server}, {server, env.path("inbound.mdb"), last}};
  for (const auto& leg : legs) {
    const auto source = open(leg[0]);
    Bulk::Query course = source->OpenQuery("select CourseID from Course where Name = ?", {DemoData::BigCourseName});
    ASSERT_TRUE(course.next());
    const int courseId = course.at(0).toInt();
    env.useSystemDb(leg[0]);
    QString file = leg[1];
    ASSERT_TRUE(CExport(*ui).ExportCourseData(file, courseId).succeeded());
    env.useSystemDb(leg[2]);
    CImport import(*ui);
    import.session().bAutoMap = true;
    ASSERT_TRUE(import.ImportCourseData(file).succeeded());
    EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
  }

  const auto original = imageOf(*from);
  ASSERT_EQ(original["Problem"].size() * !original["ProblemGroup"].isEmpty() * !original["Syllabus"].isEmpty(), 80);
  for (const QString& where : {server, last}) {
    const auto copy = imageOf(*open(where));
    EXPECT_EQ(copy.keys(), original.keys());
    for (const QString& table : original.keys())
      EXPECT_EQ(copy.value(table).join('\n').toStdString(), original[table].join('\n').toStdString())
          << table.toStdString() << " in " << where.toStdString();
  }
}

}  // namespace
