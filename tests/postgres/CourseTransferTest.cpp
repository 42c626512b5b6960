// A demo course travels from a SQLite system database to one on the PostgreSQL
// server and back to a second SQLite one, through exchange files. Every table
// of the course is compared with each ID replaced by what it names, so a lost
// row or a reference pointing at the wrong row shows as a difference.
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

std::vector<QStringList> rowsOf(CDataAccess& dal, const QString& sql) {
  std::vector<QStringList> rows;
  RecordsetPtr rs;
  dal.GetConnectedRecordset(sql, rs);
  for (; !rs->Eof(); rs->MoveNext()) {
    rows.emplace_back();
    for (int i = 0; i < rs->FieldCount(); ++i) {
      const QVariant v = rs->Value(i);
      const int type = v.metaType().id();
      rows.back() << (v.isNull() ? "NULL" : type == QMetaType::QDateTime ? v.toDateTime().toString("yyyy-MM-dd HH:mm:ss")
                                        : type == QMetaType::Double    ? QString::number(v.toDouble()) : v.toString());
    }
  }
  return rows;
}

// The ID attributes of the elements named tag replaced by names, others hidden;
// an element without content written one way.
QString namedXml(const QString& xml, const QString& tag, const QHash<QString, QString>& names) {
  static const QRegularExpression element(QStringLiteral("<(\\w+)([^>]*?)\\bID=\"(-?\\d+)\""));
  static const QRegularExpression emptyElement(QStringLiteral("<(\\w+)([^>]*[^/])></\\1>"));
  QString out;
  qsizetype at = 0;
  for (auto it = element.globalMatch(xml); it.hasNext();) {
    const auto m = it.next();
    const QString name = m.captured(1) == tag ? names.value(m.captured(3), "?unknown") : "*";
    out += xml.mid(at, m.capturedStart() - at) + QStringLiteral("<%1%2ID=\"%3\"").arg(m.captured(1), m.captured(2), name);
    at = m.capturedEnd();
  }
  return (out += xml.mid(at)).replace(emptyElement, QStringLiteral("<\\1\\2/>"));
}

// One course as sorted lines per table. A column is read as its kind: '.' as it
// is; s/f/p/c/b/g the subject, feature, partition, content, problem or group it
// names; X/Y an XML tree of contents/problems; k a problem code.
QMap<QString, QStringList> imageOf(CDataAccess& dal, const QString& courseName) {
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select CourseID from Course where Name = ?", {courseName}, rs);
  const QString c = rs->Value(0).toString();
  QHash<QChar, QHash<QString, QString>> names;
  const std::pair<char, const char*> named[] = {
      {'s', "select SubjectID, name from Subject"}, {'f', "select FeatureID, name from Feature"},
      {'b', "select ProblemID, Body from Problem"}, {'g', "select ProblemGroupID, Stem from ProblemGroup"},
      {'p', "select fp.FeaturePartitionID, f.name, fp.name from FeaturePartition fp join Feature f on "
            "f.FeatureID = fp.FeatureID"}};
  for (const auto& [kind, sql] : named)
    for (const QStringList& r : rowsOf(dal, sql)) names[kind][r[0]] = r.mid(1).join('/');
  QHash<QString, QStringList> parentAndName;
  for (const QStringList& r : rowsOf(dal, "select ContentID, PARENTCONTENTID, Name from Content"))
    parentAndName[r[0]] = r.mid(1);
  std::function<QString(const QString&)> path = [&](const QString& id) {
    return parentAndName.contains(id) ? path(parentAndName[id][0]) + '/' + parentAndName[id][1] : QString();
  };
  for (auto it = parentAndName.begin(); it != parentAndName.end(); ++it) names['c'][it.key()] = path(it.key());
  static const QRegularExpression newCode(QStringLiteral("^(NULL|[0-9A-F]{8}-([0-9A-F]{4}-){3}[0-9A-F]{12})?$"),
                                          QRegularExpression::CaseInsensitiveOption);

  const QString problems = "(select pc.ProblemID from ProblemsContents pc join Content ct on ct.ContentID = "
                           "pc.ContentID where ct.CourseID = " + c + ")";
  // A range feature brings the receiving system's partitions with weight 0: compare which, not the weights.
  const QString ranged = "case when f.type = 1 then NULL else %1 end";
  const struct { const char* table; QString sql; const char* kinds; } tables[] = {
      {"Content", "select ContentID, LEVEL, Description, Lastupdated from Content where CourseID = " + c, "c..."},
      {"Problem", "select Body, Answer, Score, Lastupdated, ProblemCode, ProblemGroupID from Problem where ProblemID in " +
                      problems, "....kg"},
      {"ProblemGroup", "select ProblemHierarchy, Stem, Lastupdated from ProblemGroup where ProblemGroupID in (select "
                       "ProblemGroupID from Problem where ProblemID in " + problems + ")", "Y.."},
      {"Course", "select KeySubjectID, Name, Description, CourseCode, ContentHierarchy, Lastupdated from Course where "
                 "CourseID = " + c, "s...X."},
      {"CoursesSubjects", "select SubjectID from CoursesSubjects where CourseID = " + c, "s"},
      {"Syllabus", "select y.ContentID, y.SubjectID, y.DefaultWeight, y.Requirement, y.Lastupdated from Syllabus y join "
                   "Content ct on ct.ContentID = y.ContentID where ct.CourseID = " + c, "cs..."},
      {"CoursesFeaturePartitions", "select cfp.FeaturePartitionID, " + ranged.arg("cfp.DefaultWeight") + ", " +
           ranged.arg("cfp.Lastupdated") + " from CoursesFeaturePartitions cfp join FeaturePartition fp on "
           "fp.FeaturePartitionID = cfp.FeaturePartitionID join Feature f on f.FeatureID = fp.FeatureID where "
           "cfp.CourseID = " + c, "p.."},
      {"ProblemsContents", "select ProblemID, ContentID, Lastupdated from ProblemsContents where ProblemID in " + problems,
       "bc."},
      {"ProblemsFeatures", "select pf.ProblemID, pf.FeatureID, pf.SubjectID, case when f.type = 0 then (select fp.name "
           "from FeaturePartition fp where fp.FeatureID = pf.FeatureID and fp.Minimum = pf.Value) end, case when "
           "f.type = 0 then NULL else pf.Value end, pf.Lastupdated from ProblemsFeatures pf join Feature f on "
           "f.FeatureID = pf.FeatureID where pf.ProblemID in " + problems, "bfs..."},
      {"Feature+FeaturePartition", "select f.name, f.FeatureNumber, f.type, f.minimum, f.maximum, f.valueincrement, "
           "fp.name, fp.Minimum, fp.Maximum, fp.FeaturePartitionNumber, fp.ExtProperties from FeaturePartition fp join "
           "Feature f on f.FeatureID = fp.FeatureID where fp.FeaturePartitionID in (select FeaturePartitionID from "
           "CoursesFeaturePartitions where CourseID = " + c + ")", "..........."}};
  QMap<QString, QStringList> image;
  for (const auto& t : tables) {
    for (QStringList r : rowsOf(dal, t.sql)) {
      for (int i = 0; i < r.size(); ++i) {
        const char kind = t.kinds[i];
        if (kind == 'X' || kind == 'Y') r[i] = namedXml(r[i], kind == 'X' ? "CONTENT" : "PROBLEM", names[kind == 'X' ? 'c' : 'b']);
        else if (kind == 'k') r[i] = newCode.match(r[i]).hasMatch() ? "new code" : r[i];  // made on import
        else if (kind != '.') r[i] = names[kind].value(r[i], "?");
      }
      image[t.table] << r.join('|');
    }
    image[t.table].sort();
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
      RecordsetPtr source, target;
      from->GetConnectedRecordset("select * from " + table, source);
      to->GetConnectedRecordset("select * from " + table + " where 1=0", target);
      for (; !source->Eof(); source->MoveNext(), target->Update()) {
        target->AddNew();
        for (int i = 0; i < source->FieldCount(); ++i) target->SetValue(source->FieldName(i), source->Value(i));
      }
    }
  }
  const QString legs[][3] = {{first, env.path("outbound.mdb"), server}, {server, env.path("inbound.mdb"), last}};
  for (const auto& leg : legs) {
    RecordsetPtr course;
    const auto source = open(leg[0]);
    source->GetConnectedRecordset("select CourseID from Course where Name = ?", {DemoData::BigCourseName}, course);
    env.useSystemDb(leg[0]);
    QString file = leg[1];
    ASSERT_TRUE(CExport(*ui).ExportCourseData(file, course->Value(0).toInt()).succeeded());
    env.useSystemDb(leg[2]);
    CImport import(*ui);
    import.session().bAutoMap = true;
    ASSERT_TRUE(import.ImportCourseData(file).succeeded());
    EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
  }

  const auto original = imageOf(*from, DemoData::BigCourseName);
  ASSERT_EQ(original.value("Problem").size(), 80);
  for (const char* table : {"ProblemGroup", "ProblemsFeatures", "Syllabus"}) EXPECT_FALSE(original.value(table).isEmpty());
  for (const QString& where : {server, last}) {
    const auto copy = imageOf(*open(where), DemoData::BigCourseName);
    EXPECT_EQ(copy.keys(), original.keys());
    for (const QString& table : original.keys()) {
      QStringList lost, gained;  // what tells the difference
      for (const QString& line : original[table]) if (!copy.value(table).contains(line)) lost << line;
      for (const QString& line : copy.value(table)) if (!original[table].contains(line)) gained << line;
      EXPECT_TRUE(copy.value(table) == original[table]) << table.toStdString() << " in " << where.toStdString()
          << "\nlost: " << lost.join('\n').left(1500).toStdString() << "\ngained: " << gained.join('\n').left(1500).toStdString();
    }
  }
}

}  // namespace
