// A demo course exported from one system database arrives in a second one
// that holds other subjects, features and partitions under other IDs. The two
// are compared table by table with every ID replaced by what it names.
#include <QDomDocument>
#include <QRegularExpression>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "export/CExport.h"
#include "import/ImportFixture.h"
#include "import/ImportXml.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

namespace {
QStringList Lines(CDataAccess& dal, const QString& sql) {
  QStringList out;
  RecordsetPtr rs;
  dal.GetConnectedRecordset(sql, rs);
  for (; !rs->Eof(); rs->MoveNext()) {
    QStringList cells;
    for (int i = 0; i < rs->FieldCount(); ++i) cells << rs->Value(i).toString();
    out << cells.join(QLatin1Char('|'));
  }
  out.sort();
  return out;
}

QHash<QString, QString> Names(CDataAccess& dal, const QString& sql) {
  QHash<QString, QString> names;
  RecordsetPtr rs;
  dal.GetConnectedRecordset(sql, rs);
  for (; !rs->Eof(); rs->MoveNext()) names.insert(rs->Value(0).toString(), rs->Value(1).toString());
  return names;
}

// An XML column with the IDs of tag replaced by the names they stand for;
// other IDs (the group's own) are left out.
QString NamedXml(const QString& xml, const QString& tag, const QHash<QString, QString>& names) {
  QDomDocument doc;
  if (!doc.setContent(xml)) return QStringLiteral("unreadable");
  QList<QDomElement> todo{doc.documentElement()};
  while (!todo.isEmpty()) {
    QDomElement e = todo.takeLast();
    if (e.tagName() == tag)
      e.setAttribute(QStringLiteral("ID"), names.value(e.attribute(QStringLiteral("ID")), QStringLiteral("?")));
    else
      e.removeAttribute(QStringLiteral("ID"));
    for (QDomElement c = e.firstChildElement(); !c.isNull(); c = c.nextSiblingElement()) todo << c;
  }
  return ElementXml(doc.documentElement());
}

// Lines only on one side, for a readable failure.
std::string Diff(const QStringList& arrived, const QStringList& original) {
  QStringList out;
  QStringList rest = original;
  for (const QString& line : arrived)
    if (!rest.removeOne(line)) out << QStringLiteral("+ ") + line;
  for (const QString& line : rest) out << QStringLiteral("- ") + line;
  return out.join(QLatin1Char('\n')).toStdString();
}

// Every table of one course, with the references replaced by names.
struct CourseImage {
  QStringList course, contents, tree, syllabus, subjects, partitions, problems, links, values, groups;
};

CourseImage ImageOf(CDataAccess& dal, int courseId) {
  const QString c = QString::number(courseId);
  const QString courseProblems = QStringLiteral(
      "(select distinct pc.ProblemID from ProblemsContents pc join Content ct on ct.ContentID=pc.ContentID "
      "where ct.CourseID=%1)").arg(c);
  CourseImage im;
  im.course = Lines(dal, QStringLiteral("select c.Name, c.Description, c.CourseCode, s.name from Course c "
                                        "join Subject s on s.SubjectID=c.KeySubjectID where c.CourseID=") + c);
  im.contents = Lines(dal, QStringLiteral("select c.Name, c.Description, coalesce(p.Name,'-'), c.LEVEL from Content c "
                                          "left join Content p on p.ContentID=c.PARENTCONTENTID where c.CourseID=") + c);
  const QHash<QString, QString> contentNames =
      Names(dal, QStringLiteral("select ContentID, Name from Content where CourseID=") + c);
  for (const QString& xml : Lines(dal, QStringLiteral("select ContentHierarchy from Course where CourseID=") + c))
    im.tree << NamedXml(xml, QStringLiteral("CONTENT"), contentNames);
  im.syllabus = Lines(dal, QStringLiteral("select ct.Name, s.name, y.DefaultWeight, y.Requirement from Syllabus y "
                                          "join Content ct on ct.ContentID=y.ContentID join Subject s on "
                                          "s.SubjectID=y.SubjectID where ct.CourseID=") + c);
  im.subjects = Lines(dal, QStringLiteral("select s.name from CoursesSubjects cs join Subject s on "
                                          "s.SubjectID=cs.SubjectID where cs.CourseID=") + c);
  im.partitions = Lines(dal, QStringLiteral("select f.name, fp.name, cfp.DefaultWeight from CoursesFeaturePartitions "
                                            "cfp join FeaturePartition fp on fp.FeaturePartitionID=cfp.FeaturePartitionID "
                                            "join Feature f on f.FeatureID=fp.FeatureID where f.type=0 and cfp.CourseID=") + c);
  im.problems = Lines(dal, QStringLiteral("select p.Body, p.Answer, p.Score, coalesce(g.Stem,'-'), "
                                          "case when p.ProblemCode like '________-____-____-____-____________' "
                                          "then '-' else coalesce(p.ProblemCode,'-') end from Problem p "
                                          "left join ProblemGroup g on g.ProblemGroupID=p.ProblemGroupID "
                                          "where p.ProblemID in ") + courseProblems);
  im.links = Lines(dal, QStringLiteral("select p.Body, ct.Name from ProblemsContents pc join Problem p on "
                                       "p.ProblemID=pc.ProblemID join Content ct on ct.ContentID=pc.ContentID "
                                       "where ct.CourseID=") + c);
  im.values = Lines(dal, QStringLiteral("select p.Body, f.name, s.name, case when f.type=0 then (select fp.name from "
                                        "FeaturePartition fp where fp.FeatureID=pf.FeatureID and fp.Minimum=pf.Value) "
                                        "else cast(pf.Value as varchar(20)) end from ProblemsFeatures pf join Problem p on "
                                        "p.ProblemID=pf.ProblemID join Feature f on f.FeatureID=pf.FeatureID join "
                                        "Subject s on s.SubjectID=pf.SubjectID where pf.ProblemID in ") + courseProblems);
  const QHash<QString, QString> bodies =
      Names(dal, QStringLiteral("select ProblemID, Body from Problem where ProblemID in ") + courseProblems);
  for (const QString& xml : Lines(dal, QStringLiteral("select ProblemHierarchy from ProblemGroup where ProblemGroupID "
                                                      "in (select ProblemGroupID from Problem where ProblemID in ") +
                                           courseProblems + ')'))
    im.groups << NamedXml(xml, QStringLiteral("PROBLEM"), bodies);
  im.groups.sort();
  return im;
}

// The receiving database's own reference data: two of the demo subjects, the
// problem types under other IDs and values, a difficulty scale and a
// cognition feature with fewer levels, and an answering-time feature of its own.
void SeedSecondSystem(CDataAccess& from, CDataAccess& to) {
  to.ExecQuery(QString(), QStringLiteral("insert into Subject values (-1,'公共基础',NULL),(50,'网络工程',NULL),"
                                         "(51,'数学',NULL)"));
  to.ExecQuery(QString(), QStringLiteral("insert into Feature values (60,'题型',1,0,1,7,1,NULL),(61,'难度',2,0,1,5,1,NULL),"
                                         "(62,'认知层次',0,0,1,4,1,NULL),(63,'答题时间',3,1,1,30,1,NULL),"
                                         "(64,'其他',9,0,NULL,NULL,NULL,NULL)"));
  RecordsetPtr types;
  from.GetConnectedRecordset(QStringLiteral("select fp.* from FeaturePartition fp join Feature f on "
                                            "f.FeatureID=fp.FeatureID where f.FeatureNumber=1"),
                             types);
  for (int id = 600; !types->Eof(); types->MoveNext(), ++id)
    to.ExecQuery(QString(), QStringLiteral("insert into FeaturePartition values (?,60,?,?,?,?,?,NULL)"),
                 QVariantList{id, types->Value(QStringLiteral("name")), types->Value(QStringLiteral("Minimum")).toInt() + 10,
                              types->Value(QStringLiteral("Maximum")).toInt() + 10,
                              types->Value(QStringLiteral("FeaturePartitionNumber")),
                              types->Value(QStringLiteral("ExtProperties"))});
  to.ExecQuery(QString(), QStringLiteral("insert into FeaturePartition values (610,61,'容易',21,21,0,NULL,NULL),"
                                         "(611,61,'中等',23,23,0,NULL,NULL),(612,61,'困难',25,25,0,NULL,NULL),"
                                         "(620,62,'识记',31,31,0,NULL,NULL),(621,62,'理解',32,32,0,NULL,NULL),"
                                         "(630,63,'短',1,1,0,NULL,NULL),(631,63,'长',2,30,0,NULL,NULL),"
                                         "(640,64,'x',1,1,0,NULL,NULL)"));
  to.ExecQuery(QString(), QStringLiteral("insert into Course (CourseID, Name) values (700,'已有课程')"));
  to.ExecQuery(QString(), QStringLiteral("insert into Content (ContentID, CourseID) values (7000,700)"));
  to.ExecQuery(QString(), QStringLiteral("insert into ProblemGroup (ProblemGroupID) values (7000)"));
  to.ExecQuery(QString(), QStringLiteral("insert into Problem (ProblemID) values (70000)"));
}
}  // namespace

class ExportedCourse : public ImportTest {
 protected:
  void SetUp() override {
    ImportTest::SetUp();
    env.exec(QStringLiteral("delete from Problem"));  // the fixture's rows are not the demo's
    env.exec(QStringLiteral("delete from ProblemGroup"));
    env.exec(QStringLiteral("delete from Content"));
    env.exec(QStringLiteral("delete from Course"));
    env.exec(QStringLiteral("delete from FeaturePartition"));
    env.exec(QStringLiteral("delete from Feature"));
    env.exec(QStringLiteral("delete from Subject"));
    auto first = env.dal();
    courseId = DemoData::create(*first, 60).bigCourseId;
    BeforeExport(*first);
    exchangeFile = env.path(QStringLiteral("数据结构.mdb"));
    CExport exporter(*ui);
    ASSERT_TRUE(exporter.ExportCourseData(exchangeFile, courseId).succeeded());
    original = ImageOf(*first, courseId);

    secondConnect = TestEnv::createSystemDb(env.path(QStringLiteral("second.db")));
    CDataAccess second{CDataAccess::Unconnected{}};
    second.OpenConnection(secondConnect);
    SeedSecondSystem(*first, second);
    env.useSystemDb(secondConnect);
    import.session().releaseConnections();
  }

  virtual void BeforeExport(CDataAccess&) {}

  void ExpectSameCourse() {
    const int imported = Count(QStringLiteral("select CourseID from Course where Name='数据结构'"));
    ASSERT_GT(imported, 700);
    auto dal = env.dal();
    const CourseImage arrived = ImageOf(*dal, imported);
    EXPECT_EQ(Diff(arrived.course, original.course), "") << "course";
    EXPECT_EQ(Diff(arrived.contents, original.contents), "") << "contents";
    EXPECT_EQ(Diff(arrived.tree, original.tree), "") << "tree";
    EXPECT_EQ(Diff(arrived.syllabus, original.syllabus), "") << "syllabus";
    EXPECT_EQ(Diff(arrived.subjects, original.subjects), "") << "subjects";
    EXPECT_EQ(Diff(arrived.partitions, original.partitions), "") << "partitions";
    EXPECT_EQ(Diff(arrived.problems, original.problems), "") << "problems";
    EXPECT_EQ(Diff(arrived.links, original.links), "") << "links";
    EXPECT_EQ(Diff(arrived.values, original.values), "") << "values";
    EXPECT_EQ(Diff(arrived.groups, original.groups), "") << "groups";
    EXPECT_FALSE(original.problems.isEmpty());
    EXPECT_FALSE(original.groups.isEmpty());
    // The answering time (type 1) brings the receiving system's own partitions, weight 0.
    EXPECT_EQ(Lines(*dal, QStringLiteral("select FeaturePartitionID, DefaultWeight from CoursesFeaturePartitions "
                                         "where FeaturePartitionID in (630,631) and CourseID=%1").arg(imported)),
              (QStringList{QStringLiteral("630|0"), QStringLiteral("631|0")}));
    // Problems without a code got a new one; the problem types kept their own values.
    EXPECT_GT(Count(QStringLiteral("select count(*) from Problem where ProblemCode like '________-____-____-____-____________'")), 0);
    EXPECT_EQ(Count(QStringLiteral("select count(*) from FeaturePartition where FeatureID=60")), 7);
    EXPECT_EQ(Count(QStringLiteral("select min(Value) from ProblemsFeatures where FeatureID=60")), 11);
    EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
  }

  int courseId = 0;
  QString exchangeFile;
  QString secondConnect;
  CourseImage original;
};

TEST_F(ExportedCourse, ArrivesCompleteWithMappingByHand) {
  // The administrator pairs by name, links the cognition feature and finishes each step.
  const auto byName = [this](MappingModel& form) {
    form.cmdNameLink_Click();
    if (!form.SourceList.empty()) ui->answers.push_back(Vb::Yes);
    form.Finish_Click();
  };
  ui->mappingSteps.push_back(byName);
  ui->mappingSteps.push_back([this](MappingModel& form) {
    for (int i = 0; i < form.SourceList.ListCount(); ++i)
      if (form.SourceList.List(i) == QStringLiteral("认知层次")) form.SourceList.ListIndex = i;
    for (int i = 0; i < form.DestList.ListCount(); ++i)
      if (form.DestList.List(i) == QStringLiteral("认知层次")) form.DestList.ListIndex = i;
    form.Link_Click();
    EXPECT_TRUE(form.SourceList.empty());
    form.Finish_Click();
  });
  for (int i = 0; i < 3; ++i) ui->mappingSteps.push_back(byName);

  ASSERT_TRUE(ImportCourse(exchangeFile));
  EXPECT_TRUE(ui->mappingSteps.empty());
  EXPECT_EQ(progress.back(), std::make_pair(100, Res::str(333)));
  ExpectSameCourse();
}

TEST_F(ExportedCourse, ArrivesCompleteWithAutomaticMapping) {
  import.session().bAutoMap = true;
  ASSERT_TRUE(ImportCourse(exchangeFile));
  EXPECT_TRUE(ui->shown.empty());
  ExpectSameCourse();
}

// Values and syllabus rows filed under subjects the course itself does not list.
class ExportedCourseWithOutsideSubjects : public ExportedCourse {
 protected:
  void BeforeExport(CDataAccess& dal) override {
    dal.ExecQuery(QString(), QStringLiteral("insert into Subject (name) values ('外系专业'),('选修专业')"));
    const QString subject = QStringLiteral("(select SubjectID from Subject where name='%1')");
    const QString contents = QStringLiteral("(select ContentID from Content where CourseID=%1)").arg(courseId);
    // Rows of one subject only, so that no row becomes the twin of another.
    const QString problems = QStringLiteral("(select ProblemID from ProblemsContents where ContentID in %1)").arg(contents);
    dal.ExecQuery(QString(), QStringLiteral("update ProblemsFeatures set SubjectID=%1 where ProblemID in %2 and SubjectID="
                                            "(select min(SubjectID) from ProblemsFeatures where ProblemID in %2)")
                                 .arg(subject.arg(QStringLiteral("外系专业")), problems));
    dal.ExecQuery(QString(), QStringLiteral("update Syllabus set SubjectID=%1 where ContentID in %2 and SubjectID="
                                            "(select min(SubjectID) from Syllabus where ContentID in %2)")
                                 .arg(subject.arg(QStringLiteral("选修专业")), contents));
  }
};

TEST_F(ExportedCourseWithOutsideSubjects, KeepsEveryValueAndSyllabusRow) {
  import.session().bAutoMap = true;
  ASSERT_TRUE(ImportCourse(exchangeFile));
  ExpectSameCourse();
  EXPECT_GT(Count(QStringLiteral("select count(*) from ProblemsFeatures pf join Subject s on s.SubjectID=pf.SubjectID "
                                 "where s.name='外系专业'")), 0);
}
