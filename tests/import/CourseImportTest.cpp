// A whole course travels from an exchange file into a system database that
// already holds other subjects, features and partitions under other IDs.
#include <QDate>
#include <QRegularExpression>

#include "import/ImportFixture.h"
#include "data/CDataAccess.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

class CourseImport : public ImportTest {
 protected:
  // New ID of a row found by its name.
  int ContentId(const QString& name) const {
    return Count(QStringLiteral("select ContentID from Content where Name='%1'").arg(name));
  }
  int ProblemId(const QString& body) const {
    return Count(QStringLiteral("select ProblemID from Problem where Body='%1'").arg(body));
  }
};

TEST_F(CourseImport, ManualMappingBringsEveryRowAcrossWithTranslatedReferences) {
  ScriptDemoMapping();
  ASSERT_TRUE(ImportCourse(DemoFile(QStringLiteral("course.mdb"))));
  EXPECT_TRUE(ui->mappingSteps.empty());
  EXPECT_TRUE(import.SkippedRows().isEmpty()) << import.SkippedSummary().toStdString();
  // The bar only moves forward, under the busy pointer, and ends on the success message.
  for (size_t i = 1; i < progress.size(); ++i) EXPECT_LT(progress[i - 1].first, progress[i].first);
  EXPECT_EQ(progress.back(), std::make_pair(100, Res::str(333)));
  EXPECT_EQ(ui->busyOn, 1);

  // The course, its key subject and its code taken from its name.
  const int course = Count(QStringLiteral("select CourseID from Course where Name='高等数学'"));
  EXPECT_GT(course, 500);
  EXPECT_EQ(Count(QStringLiteral("select KeySubjectID from Course where CourseID=%1").arg(course)), 7);
  EXPECT_EQ(Scalar(QStringLiteral("select CourseCode from Course where CourseID=%1").arg(course)).toString(),
            QStringLiteral("高等数学"));
  EXPECT_EQ(Scalar(QStringLiteral("select Description from Course where CourseID=%1").arg(course)).toString(),
            QStringLiteral("微积分"));

  // Contents: new IDs, the course's ID, parent and level from the tree.
  const int c1 = ContentId(QStringLiteral("第一章")), c2 = ContentId(QStringLiteral("第一节")),
            c3 = ContentId(QStringLiteral("第一小节")), c4 = ContentId(QStringLiteral("第二章"));
  EXPECT_GT(c1, 500);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Content where CourseID=%1").arg(course)), 4);
  const auto parentAndLevel = [&](int id) {
    return Scalar(QStringLiteral("select PARENTCONTENTID || '/' || LEVEL from Content where ContentID=%1").arg(id))
        .toString();
  };
  EXPECT_EQ(parentAndLevel(c1), QStringLiteral("0/0"));
  EXPECT_EQ(parentAndLevel(c2), QStringLiteral("%1/1").arg(c1));
  EXPECT_EQ(parentAndLevel(c3), QStringLiteral("%1/2").arg(c2));
  EXPECT_EQ(parentAndLevel(c4), QStringLiteral("0/0"));
  EXPECT_EQ(Scalar(QStringLiteral("select ContentHierarchy from Course where CourseID=%1").arg(course)).toString(),
            QStringLiteral("<ROOT><CONTENT ID=\"%1\"><CONTENT ID=\"%2\"><CONTENT ID=\"%3\"/></CONTENT></CONTENT>"
                           "<CONTENT ID=\"%4\"/></ROOT>")
                .arg(c1)
                .arg(c2)
                .arg(c3)
                .arg(c4));

  // Syllabus and the course's subjects through the subject map.
  EXPECT_EQ(Scalar(QStringLiteral("select SubjectID || '/' || DefaultWeight || '/' || Requirement from Syllabus "
                                  "where ContentID=%1")
                       .arg(c1))
                .toString(),
            QStringLiteral("7/0.5/掌握"));
  EXPECT_EQ(Count(QStringLiteral("select SubjectID from Syllabus where ContentID=%1").arg(c4)), 3);
  EXPECT_EQ(Scalar(QStringLiteral("select group_concat(SubjectID) from (select SubjectID from CoursesSubjects "
                                  "where CourseID=%1 order by SubjectID) t")
                       .arg(course))
                .toString(),
            QStringLiteral("3,7"));

  // Course partitions: paired ones with their weights, the type-1 feature in bulk with weight 0.
  EXPECT_EQ(Scalar(QStringLiteral("select group_concat(FeaturePartitionID || ':' || DefaultWeight) from (select * "
                                  "from CoursesFeaturePartitions where CourseID=%1 order by FeaturePartitionID) t")
                       .arg(course))
                .toString(),
            // A weight of 0 reads "0.0" from SQLite, "0" from PostgreSQL.
            TestEnv::onPostgres() ? QStringLiteral("200:0.3,201:0.2,210:0,211:0,212:0,220:0.1")
                                  : QStringLiteral("200:0.3,201:0.2,210:0.0,211:0.0,212:0.0,220:0.1"));

  // Features: number 5 paired with the system's, number 7 created once.
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Feature where FeatureNumber=5")), 1);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Feature where FeatureNumber=7 and name='时长'")), 1);

  // Problems in ascending old ID, with groups, codes and links.
  const int p51 = ProblemId(QStringLiteral("b51")), p52 = ProblemId(QStringLiteral("b52")),
            p53 = ProblemId(QStringLiteral("b53"));
  EXPECT_GT(p51, 500);
  EXPECT_LT(p51, p52);
  EXPECT_LT(p52, p53);
  const int group = Count(QStringLiteral("select max(ProblemGroupID) from ProblemGroup"));
  EXPECT_GT(group, 500);
  EXPECT_EQ(Count(QStringLiteral("select ProblemGroupID from Problem where ProblemID=%1").arg(p51)), group);
  EXPECT_EQ(Count(QStringLiteral("select ProblemGroupID from Problem where ProblemID=%1").arg(p52)), group);
  EXPECT_TRUE(Scalar(QStringLiteral("select ProblemGroupID from Problem where ProblemID=%1").arg(p53)).isNull());
  EXPECT_EQ(Scalar(QStringLiteral("select ProblemCode from Problem where ProblemID=%1").arg(p51)).toString(),
            QStringLiteral("P-51"));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"))
                  .match(Scalar(QStringLiteral("select ProblemCode from Problem where ProblemID=%1").arg(p52)).toString())
                  .hasMatch());
  EXPECT_EQ(Scalar(QStringLiteral("select ProblemHierarchy from ProblemGroup where ProblemGroupID=%1").arg(group))
                .toString(),
            QStringLiteral("<GROUP><PROBLEM ID=\"%1\"/><PROBLEM ID=\"%2\"/><PROBLEM ID=\"999\"/></GROUP>")
                .arg(p51)
                .arg(p52));
  EXPECT_EQ(Scalar(QStringLiteral("select group_concat(ProblemID || ':' || ContentID) from (select * from "
                                  "ProblemsContents order by ProblemID) t"))
                .toString(),
            QStringLiteral("%1:%2,%3:%4,%5:%6").arg(p51).arg(c1).arg(p52).arg(c3).arg(p53).arg(c4));

  // Feature values through the value maps; a type-1 value unchanged.
  const int timeFeature = Count(QStringLiteral("select FeatureID from Feature where FeatureNumber=7"));
  EXPECT_GT(timeFeature, 500);
  EXPECT_EQ(Scalar(QStringLiteral("select group_concat(r) from (select ProblemID || ':' || FeatureID || ':' || "
                                  "SubjectID || ':' || Value as r from ProblemsFeatures order by ProblemID, FeatureID) t"))
                .toString(),
            QStringLiteral("%1:20:7:1,%2:20:7:12,%2:22:3:6,%3:21:7:3").arg(p51).arg(p52).arg(p53));
}

TEST_F(CourseImport, SystemWithoutUserFeaturesGetsThemCreatedWithoutDialog) {
  env.exec(QStringLiteral("delete from FeaturePartition where FeatureID=22"));
  env.exec(QStringLiteral("delete from Feature where FeatureID=22"));
  ScriptDemoMapping();
  ui->mappingSteps.erase(ui->mappingSteps.begin() + 1);  // no feature dialog
  ui->mappingSteps.back() = [](MappingModel& form) {
    EXPECT_EQ(form.SourceFeatureID, 12);
    EXPECT_GT(form.DestFeatureID, 500);  // the copy just made
    form.Unload();                       // partitions left unpaired
  };

  ASSERT_TRUE(ImportCourse(DemoFile(QStringLiteral("course.mdb"))));
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Feature where FeatureNumber=0 and name='自定义'")), 1);
  QStringList kinds;
  for (const auto& s : ui->shown) kinds << s.kind + s.prompt;
  EXPECT_EQ(kinds, (QStringList{QStringLiteral("mapping1"), QStringLiteral("mapping3"), QStringLiteral("mapping3")}));
  // The course's weight of an unpaired partition has nowhere to go; its values stay as they were.
  EXPECT_EQ(import.SkippedRows(), (QMap<QString, int>{{QStringLiteral("CoursesFeaturePartitions"), 1}}));
  EXPECT_EQ(Count(QStringLiteral("select Value from ProblemsFeatures where FeatureID=(select FeatureID from Feature "
                                 "where FeatureNumber=0 and name='自定义')")),
            2);
}

TEST_F(CourseImport, NumberedPartitionPairsOnlyWithinThePairedFeature) {
  // The system reuses number 1 under another feature, with the same problem-type
  // properties; its own problem-type feature has no partition numbered 1.
  env.exec(QStringLiteral("update FeaturePartition set FeaturePartitionNumber=1, ExtProperties=(select ExtProperties "
                          "from FeaturePartition where FeaturePartitionID=200) where FeaturePartitionID=500"));
  env.exec(QStringLiteral("update FeaturePartition set FeaturePartitionNumber=0 where FeaturePartitionID=200"));
  ScriptDemoMapping();
  ui->mappingSteps[2] = [](MappingModel& form) {
    EXPECT_EQ(form.DestFeatureID, 20);
    EXPECT_TRUE(form.tmpPartitionMap.empty());
    form.cmdCancel_Click();
  };
  ui->mappingSteps.pop_back();
  EXPECT_FALSE(ImportCourse(DemoFile(QStringLiteral("course.mdb"))));
  EXPECT_TRUE(ui->mappingSteps.empty());
}

TEST_F(CourseImport, FeatureWithoutATypeGetsNoPartitionsPaired) {
  // 难度 is a range feature in the system; the file's 难度 shares its number.
  const struct {
    const char* type;
    int systemPartitions;
  } rows[] = {{"NULL", 3}, {"0", 5}};  // type 0: both of the file's partitions join it
  for (const auto& row : rows) {
    SCOPED_TRACE(row.type);
    import.session().bAutoMap = true;
    ASSERT_TRUE(ImportCourse(DemoFile(QStringLiteral("course.mdb"),
                                      {QStringLiteral("update Feature set type=%1 where FeatureID=11").arg(QLatin1String(row.type))},
                                      QStringLiteral("课程%1").arg(QLatin1String(row.type)))));
    EXPECT_EQ(Count(QStringLiteral("select count(*) from FeaturePartition where FeatureID=21")), row.systemPartitions);
  }
}

// A dry run goes through every step, writes nothing, and reports exactly the
// rows and items the real import then writes.
TEST_F(CourseImport, DryRunReportsWhatTheImportThenWrites) {
  const QString file = DemoFile(QStringLiteral("course.mdb"));
  import.session().bAutoMap = true;
  import.session().bDryRun = true;
  const QStringList before = Snapshot();
  ASSERT_TRUE(import.ImportCourseData(file).succeeded());
  EXPECT_EQ(Snapshot(), before);
  const QString report = import.DryRunReport();
  EXPECT_TRUE(report.startsWith(QStringLiteral("预览，没有写入任何数据。"))) << report.toStdString();

  import.session().bDryRun = false;
  ASSERT_TRUE(ImportCourse(file));
  EXPECT_TRUE(import.DryRunReport().isEmpty());
  for (const QString& table : {QStringLiteral("Course"), QStringLiteral("Content"), QStringLiteral("Problem"),
                               QStringLiteral("ProblemsFeatures"), QStringLiteral("Syllabus")}) {
    const int written = Count(QStringLiteral("select count(*) from ") + table) -
                        static_cast<int>(before.filter(QRegularExpression(QStringLiteral("^") + table + QStringLiteral(":"))).size());
    EXPECT_TRUE(report.contains(QStringLiteral("%1 %2").arg(table).arg(written))) << table.toStdString() << report.toStdString();
  }
  // Three features paired, the file's 时长 created.
  for (const QString& line : {QStringLiteral("专业：对应 2 个，新建 0 个"), QStringLiteral("题目指标：对应 3 个，新建 1 个")})
    EXPECT_TRUE(report.contains(line)) << report.toStdString();
}

// A course whose name the system already holds (case aside) is imported under
// a dated name after OK, or not at all after Cancel; either way the user is
// asked, automatic mapping or not. Reference data is paired, never created twice.
TEST_F(CourseImport, NameConflictAsksAndRenamesWithTheDate) {
  const QString tail = QStringLiteral(
      "，请选择是否继续\r\n   选择[确定]更改名称后继续导入课程，\r\n   选择[取消]则不导入该课程。");
  const QString day = QDate::currentDate().toString(QStringLiteral("[yyyyMMdd]"));
  const QString quoted = QStringLiteral("O'Neil's \"数学\"; drop table Course --");
  const struct {
    QString stored, imported;  // stored empty: an earlier import of the same file
    int answer;                // 0: nobody is asked
    bool autoMap;
  } rows[] = {{QString(), QStringLiteral("高等数学"), Vb::OK, false},
              {QStringLiteral("Algebra"), QStringLiteral("algebra"), Vb::OK, false},
              {QStringLiteral("GEOMETRY"), QStringLiteral("Geometry"), Vb::Cancel, true},
              {quoted, quoted, Vb::OK, true},
              {QStringLiteral("Logic"), QStringLiteral("Logic II"), 0, false}};
  int round = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.imported.toStdString());
    const QString file = DemoFile(QStringLiteral("conflict%1.mdb").arg(++round), {}, row.imported);
    if (row.stored.isNull()) {
      ScriptDemoMapping();
      ASSERT_TRUE(ImportCourse(file));
    } else {
      env.dal()->ExecQuery(QString(), QStringLiteral("insert into Course (Name) values (?)"), QVariantList{row.stored});
    }
    const QStringList before = Snapshot();
    ui->shown.clear();
    import.session().bAutoMap = row.autoMap;
    if (row.answer) ui->answers.push_back(row.answer);
    if (row.answer != Vb::Cancel && !row.autoMap) ScriptDemoMapping();
    EXPECT_EQ(ImportCourse(file), row.answer != Vb::Cancel);
    EXPECT_EQ(ui->prompts().value(0) == QStringLiteral("已经存在相同名称的课程") + row.imported + tail, row.answer != 0);
    const QString name = row.imported + (row.answer == Vb::OK ? day : QString());
    if (row.answer == Vb::Cancel) {
      EXPECT_EQ(ui->shown.size(), 1u);
      EXPECT_EQ(Snapshot(), before);
    } else {  // the course under its new name, with contents of its own
      RecordsetPtr rs;
      env.dal()->GetConnectedRecordset(QStringLiteral("select count(*) from Content c join Course k on "
                                                      "k.CourseID=c.CourseID where k.Name=? and k.CourseCode=?"),
                                       QVariantList{name, name}, rs);
      EXPECT_EQ(rs->Value(0).toInt(), 4);
    }
  }
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Problem where Body like 'b5_'")), 15);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from ProblemsFeatures")), 20);
  EXPECT_EQ(Count(QStringLiteral("select count(*) from Feature where FeatureNumber=7")), 1);
}
