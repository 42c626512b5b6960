// A demo course travels from a SQLite system database to one on the PostgreSQL
// server and back to a second SQLite one, through exchange files. Every table
// of the course is compared with each ID replaced by what it names, so a lost
// row or a reference pointing at the wrong row shows as a difference.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "core/Interaction.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "mapping/MappingModel.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

namespace {

QString cell(const QVariant& v) {
  if (v.isNull()) return QStringLiteral("NULL");
  if (v.metaType().id() == QMetaType::QDateTime) return v.toDateTime().toString("yyyy-MM-dd HH:mm:ss");
  if (v.metaType().id() == QMetaType::Double) return QString::number(v.toDouble());
  return v.toString();
}

// The rows of a query; the first column is the row's own ID.
using Rows = QHash<QString, QVariantList>;
Rows rowsOf(CDataAccess& dal, const QString& sql) {
  Rows rows;
  RecordsetPtr rs;
  dal.GetConnectedRecordset(sql, rs);
  for (; !rs->Eof(); rs->MoveNext()) {
    QVariantList values;
    for (int i = 0; i < rs->FieldCount(); ++i) values << rs->Value(i);
    rows.insert(cell(values.first()), values);
  }
  return rows;
}

// The ID attributes of the elements named tag replaced by names; others hidden.
QString namedXml(const QVariant& xml, const QString& tag, const QHash<QString, QString>& names) {
  static const QRegularExpression element(QStringLiteral("<(\\w+)([^>]*?)\\bID=\"(-?\\d+)\""));
  QString text = xml.toString();
  QString out;
  qsizetype at = 0;
  for (auto it = element.globalMatch(text); it.hasNext();) {
    const auto m = it.next();
    out += text.mid(at, m.capturedStart() - at);
    const QString name = m.captured(1) == tag ? names.value(m.captured(3), QStringLiteral("?unknown")) : "*";
    out += QStringLiteral("<%1%2ID=\"%3\"").arg(m.captured(1), m.captured(2), name);
    at = m.capturedEnd();
  }
  out += text.mid(at);
  // An element without content is the same written either way.
  static const QRegularExpression emptyElement(QStringLiteral("<(\\w+)([^>]*[^/])></\\1>"));
  return out.replace(emptyElement, QStringLiteral("<\\1\\2/>"));
}

// One course as text lines, table by table, with references by name.
QMap<QString, QStringList> imageOf(CDataAccess& dal, const QString& courseName) {
  QMap<QString, QStringList> image;
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select CourseID from Course where Name = ?", {courseName}, rs);
  if (rs->Eof()) return image;
  const QString c = cell(rs->Value(0));

  QHash<QString, QString> subject, feature, partition, content, problem;
  for (const QVariantList& r : rowsOf(dal, "select SubjectID, name from Subject")) subject[cell(r[0])] = cell(r[1]);
  for (const QVariantList& r : rowsOf(dal, "select FeatureID, name from Feature")) feature[cell(r[0])] = cell(r[1]);
  for (const QVariantList& r : rowsOf(dal, "select FeaturePartitionID, FeatureID, name from FeaturePartition"))
    partition[cell(r[0])] = feature.value(cell(r[1])) + '/' + cell(r[2]);

  const Rows contents =
      rowsOf(dal, "select ContentID, PARENTCONTENTID, Name, LEVEL, Description, Lastupdated from Content "
                  "where CourseID = " + c);
  std::function<QString(const QString&)> path = [&](const QString& id) -> QString {
    if (!contents.contains(id)) return QString();
    return path(cell(contents[id][1])) + '/' + cell(contents[id][2]);
  };
  for (auto it = contents.begin(); it != contents.end(); ++it) content[it.key()] = path(it.key());
  for (const QVariantList& r : contents)
    image["Content"] << QStringList{content[cell(r[0])], cell(r[3]), cell(r[4]), cell(r[5])}.join('|');

  const QString courseProblems = QStringLiteral(
      "(select pc.ProblemID from ProblemsContents pc join Content ct on ct.ContentID = pc.ContentID "
      "where ct.CourseID = %1)").arg(c);
  const Rows problems = rowsOf(dal, "select ProblemID, ProblemGroupID, ProblemCode, Body, Answer, Score, Lastupdated "
                                    "from Problem where ProblemID in " + courseProblems);
  for (const QVariantList& r : problems) problem[cell(r[0])] = cell(r[3]);
  const Rows groups = rowsOf(dal, "select ProblemGroupID, ProblemHierarchy, Stem, Lastupdated from ProblemGroup "
                                  "where ProblemGroupID in (select ProblemGroupID from Problem where ProblemID in " +
                                      courseProblems + ")");
  QHash<QString, QString> group;
  for (const QVariantList& r : groups) {
    group[cell(r[0])] = cell(r[2]);
    image["ProblemGroup"] << QStringList{namedXml(r[1], "PROBLEM", problem), cell(r[2]), cell(r[3])}.join('|');
  }
  static const QRegularExpression guid(QStringLiteral("^[0-9A-F]{8}-([0-9A-F]{4}-){3}[0-9A-F]{12}$"),
                                       QRegularExpression::CaseInsensitiveOption);
  for (const QVariantList& r : problems) {
    // A problem without a code gets a new one on import.
    const bool newCode = r[2].toString().isEmpty() || guid.match(cell(r[2])).hasMatch();
    const QString code = newCode ? QStringLiteral("new code") : cell(r[2]);
    image["Problem"] << QStringList{cell(r[3]), cell(r[4]), cell(r[5]), cell(r[6]), code,
                                    group.value(cell(r[1]), "no group")}.join('|');
  }

  for (const QVariantList& r : rowsOf(dal, "select CourseID, KeySubjectID, Name, Description, CourseCode, "
                                           "ContentHierarchy, Lastupdated from Course where CourseID = " + c))
    image["Course"] << QStringList{subject[cell(r[1])], cell(r[2]), cell(r[3]), cell(r[4]),
                                   namedXml(r[5], "CONTENT", content), cell(r[6])}.join('|');
  const auto lines = [&](const QString& table, const QString& sql, const std::function<QStringList(const QVariantList&)>& f) {
    RecordsetPtr all;
    dal.GetConnectedRecordset(sql, all);
    for (; !all->Eof(); all->MoveNext()) {
      QVariantList r;
      for (int i = 0; i < all->FieldCount(); ++i) r << all->Value(i);
      image[table] << f(r).join('|');
    }
  };
  lines("CoursesSubjects", "select SubjectID from CoursesSubjects where CourseID = " + c,
        [&](const QVariantList& r) { return QStringList{subject.value(cell(r[0]), "?")}; });
  lines("Syllabus", "select y.ContentID, y.SubjectID, y.DefaultWeight, y.Requirement, y.Lastupdated from Syllabus y "
                    "join Content ct on ct.ContentID = y.ContentID where ct.CourseID = " + c,
        [&](const QVariantList& r) {
          return QStringList{content[cell(r[0])], subject.value(cell(r[1]), "?"), cell(r[2]), cell(r[3]), cell(r[4])};
        });
  // A range feature brings the receiving system's partitions with weight 0: compare which, not the weights.
  lines("CoursesFeaturePartitions",
        "select cfp.FeaturePartitionID, case when f.type = 1 then NULL else cfp.DefaultWeight end, "
        "case when f.type = 1 then NULL else cfp.Lastupdated end from CoursesFeaturePartitions cfp join "
        "FeaturePartition fp on fp.FeaturePartitionID = cfp.FeaturePartitionID join Feature f on "
        "f.FeatureID = fp.FeatureID where cfp.CourseID = " + c,
        [&](const QVariantList& r) { return QStringList{partition.value(cell(r[0]), "?"), cell(r[1]), cell(r[2])}; });
  lines("ProblemsContents", "select ProblemID, ContentID, Lastupdated from ProblemsContents where ProblemID in " +
                                courseProblems,
        [&](const QVariantList& r) { return QStringList{problem[cell(r[0])], content.value(cell(r[1]), "?"), cell(r[2])}; });
  lines("ProblemsFeatures",
        "select pf.ProblemID, pf.FeatureID, pf.SubjectID, case when f.type = 0 then (select fp.name from "
        "FeaturePartition fp where fp.FeatureID = pf.FeatureID and fp.Minimum = pf.Value) end, pf.Value, "
        "pf.Lastupdated from ProblemsFeatures pf join Feature f on f.FeatureID = pf.FeatureID where pf.ProblemID in " +
            courseProblems,
        [&](const QVariantList& r) {
          return QStringList{problem[cell(r[0])], feature.value(cell(r[1]), "?"), subject.value(cell(r[2]), "?"),
                             r[3].isNull() ? cell(r[4]) : cell(r[3]), cell(r[5])};
        });
  lines("Feature+FeaturePartition",
        "select f.name, f.FeatureNumber, f.type, f.minimum, f.maximum, f.valueincrement, fp.name, fp.Minimum, "
        "fp.Maximum, fp.FeaturePartitionNumber, fp.ExtProperties from FeaturePartition fp join Feature f on "
        "f.FeatureID = fp.FeatureID where fp.FeaturePartitionID in (select FeaturePartitionID from "
        "CoursesFeaturePartitions where CourseID = " + c + ")",
        [&](const QVariantList& r) {
          QStringList out;
          for (const QVariant& v : r) out << cell(v);
          return out;
        });
  for (QStringList& l : image) l.sort();
  return image;
}

// A working system database has its subjects, features and partitions before
// any course arrives: the receiving ones get those of the first, IDs included.
void copyReferenceData(CDataAccess& from, CDataAccess& to) {
  for (const char* table : {"Subject", "Feature", "FeaturePartition"}) {
    RecordsetPtr source;
    from.GetConnectedRecordset(QStringLiteral("select * from %1").arg(QLatin1String(table)), source);
    RecordsetPtr target;
    to.GetConnectedRecordset(QStringLiteral("select * from %1 where 1=0").arg(QLatin1String(table)), target);
    for (; !source->Eof(); source->MoveNext()) {
      target->AddNew();
      for (int i = 0; i < source->FieldCount(); ++i) target->SetValue(source->FieldName(i), source->Value(i));
      target->Update();
    }
  }
}

class CourseTransferOnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestEnv::onPostgres()) GTEST_SKIP() << "runs in the pg.* set, against the PostgreSQL test server";
  }

  void exportCourse(const QString& systemDb, QString file) {
    env.useSystemDb(systemDb);
    CDataAccess dal;
    RecordsetPtr rs;
    dal.GetConnectedRecordset("select CourseID from Course where Name = ?", {DemoData::BigCourseName}, rs);
    ASSERT_FALSE(rs->Eof());
    CExport exporter(interaction());
    ASSERT_TRUE(exporter.ExportCourseData(file, rs->Value(0).toInt()).succeeded());
  }

  void importCourse(const QString& systemDb, const QString& file) {
    env.useSystemDb(systemDb);
    CImport import(interaction());
    import.session().bAutoMap = true;
    ASSERT_TRUE(import.ImportCourseData(file).succeeded());
    EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
  }

  QMap<QString, QStringList> image(const QString& systemDb) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(systemDb);
    return imageOf(dal, DemoData::BigCourseName);
  }

  TestEnv env;  // its system database is the one on the server
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
};

TEST_F(CourseTransferOnServer, SqliteToPostgresAndBackKeepsEveryRowAndReference) {
  const QString first = TestEnv::createSqliteSystemDb(env.path("first.db"));
  {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection(first);
    DemoData::create(dal, 80);
  }
  const QString server = env.systemConnect();
  const QString last = TestEnv::createSqliteSystemDb(env.path("last.db"));
  for (const QString& receiving : {server, last}) {
    CDataAccess from{CDataAccess::Unconnected{}};
    from.OpenConnection(first);
    CDataAccess to{CDataAccess::Unconnected{}};
    to.OpenConnection(receiving);
    copyReferenceData(from, to);
  }

  exportCourse(first, env.path("outbound.mdb"));
  importCourse(server, env.path("outbound.mdb"));
  exportCourse(server, env.path("inbound.mdb"));
  importCourse(last, env.path("inbound.mdb"));

  const auto original = image(first);
  const auto onServer = image(server);
  const auto back = image(last);
  ASSERT_EQ(original.value("Problem").size(), 80);
  EXPECT_FALSE(original.value("ProblemGroup").isEmpty());
  EXPECT_FALSE(original.value("ProblemsFeatures").isEmpty());
  EXPECT_FALSE(original.value("Syllabus").isEmpty());
  const auto text = [](const QMap<QString, QStringList>& image, const QString& table) {
    return image.value(table).join('\n').toStdString();
  };
  for (const QString& table : original.keys()) {
    EXPECT_EQ(text(onServer, table), text(original, table)) << "on the server: " << table.toStdString();
    EXPECT_EQ(text(back, table), text(original, table)) << "back on SQLite: " << table.toStdString();
  }
  EXPECT_EQ(onServer.keys(), original.keys());
  EXPECT_EQ(back.keys(), original.keys());
}

}  // namespace
