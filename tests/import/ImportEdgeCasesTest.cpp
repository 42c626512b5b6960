// Files the import refuses, failures and cancels part-way, and references the
// file does not hold. Whatever stops an import, the system database is left
// exactly as it was. Papers travel with their designs and answer sheets.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <sys/stat.h>

#include "data/CDataAccess.h"  // IsInTransaction
#include "import/ImportFixture.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"

class RefusedFile : public ImportTest {};

// Another program's committed changes still in the write-ahead log beside a
// SQLite-format file, as it leaves them when it has the file open or stops
// without closing it: the pair is copied while the program has it open.
void LeftOpenByAnotherProgram(const QString& source, const QString& copy) {
  {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other program");
    db.setDatabaseName(source);
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    for (const char* sql : {"pragma journal_mode=wal", "pragma wal_autocheckpoint=0", "update Course set Name='改过的名字'"})
      ASSERT_TRUE(q.exec(sql)) << sql;
    ASSERT_TRUE(QFile::copy(source, copy) && QFile::copy(source + "-wal", copy + "-wal"));
  }
  QSqlDatabase::removeDatabase("other program");
}

// Files imported one after another by the same import: each bad one is
// refused with the reason and the path, writes nothing, leaves the file (and
// a log beside it) as it was and never hangs (a fifo); the good files before
// and after arrive completely. Values an Access file cannot hold are refused
// naming file, table, row and column, on every backend alike.
TEST_F(RefusedFile, EachBadFileSaysWhyAndTheOthersArrive) {
  const QString dir = env.path("odd");
  ASSERT_TRUE(QDir().mkpath(dir + "/folder.mdb"));
  QFile(dir + "/empty.mdb").open(QIODevice::WriteOnly);
  ASSERT_EQ(::mkfifo(QFile::encodeName(dir + "/fifo.mdb").constData(), 0600), 0);
  ASSERT_TRUE(QFile::link(dir + "/gone.mdb", dir + "/dangling.mdb"));
  QFile text(dir + "/text.mdb");
  ASSERT_TRUE(text.open(QIODevice::WriteOnly));
  text.write("this is not a database at all, just some text standing in for one");
  text.close();
  WriteFile("odd/nocourse.mdb", {"insert into Subject values (1,'数学',NULL)"});
  DemoFile("odd/notable.mdb", {"drop table ProblemsContents"});
  LeftOpenByAnotherProgram(DemoFile("odd/open.db"), dir + "/wal.mdb");
  DemoFile("odd/year1.mdb", {"update Course set Lastupdated='0001-01-01'"});
  DemoFile("odd/nul.mdb", {"update Content set Name='第' || char(0) || '章' where ContentID=33"});
  DemoFile("odd/utf8.mdb", {"update Problem set Body=cast(x'e4b8ade6' as text) where ProblemID=52"});
  DemoFile("odd/surrogate.mdb", {"update Course set Description=cast(x'eda080' as text)"});
  const QString failed = QStringLiteral("连接数据库失败！\r\n");
  const QString misfit = failed + "'@': 文件中的数据有误：";
  const std::pair<const char*, QString> rows[] = {  // the file, the start of the message (null: it arrives)
      {"good1.mdb", QString()},
      {"missing.mdb", failed + "文件不存在。\r\n"},
      {"dangling.mdb", failed + "文件不存在。\r\n"},
      {"folder.mdb", failed + "这是文件夹，不是文件。\r\n"},
      {"fifo.mdb", failed + "不是普通文件。\r\n"},
      {"empty.mdb", failed + "文件是空的。\r\n"},
      {"text.mdb", failed},
      {"notable.mdb", failed},
      {"nocourse.mdb", Res::str(318)},  // the program's own message: no path, the transfer title
      {"wal.mdb", failed + "'@': 文件旁边的 wal.mdb-wal 中还有没写进文件的修改：另一个程序仍打开着这个文件，或没有正常关闭它。"},
      {"year1.mdb", misfit + "表 Course 第 1 行的 Lastupdated 列早于 Access 文件能存的最早日期 0100-01-01（0001-01-01）。"},
      {"nul.mdb", misfit + "表 Content 第 3 行的 Name 列含有空字符（NUL）（第\\x00章）。"},
      {"utf8.mdb", misfit + "表 Problem 第 3 行的 Body 列不是有效的 UTF-8 文本（中"},
      {"surrogate.mdb", misfit + "表 Course 第 1 行的 Description 列含有不成对的代理字符"},
      {"good2.mdb", QString()}};
  for (const auto& [name, message] : rows) {
    SCOPED_TRACE(name);
    const QString path = dir + '/' + name;
    ui->shown.clear();
    if (message.isNull()) {
      DemoFile(QStringLiteral("odd/") + name, {}, name);
      ScriptDemoMapping();
      EXPECT_TRUE(ImportCourse(path));
      EXPECT_EQ(Count(QStringLiteral("select count(*) from Content c join Course k on k.CourseID=c.CourseID "
                                     "where k.Name='%1'").arg(name)), 4);
      continue;
    }
    const QStringList before = Snapshot();
    // Regular files only: reading the fifo would wait for a writer.
    const auto bytes = [](const QString& f) { return QFileInfo(f).isFile() ? readFile(f) : QByteArray(); };
    const QByteArray file = bytes(path), log = bytes(path + "-wal");
    EXPECT_FALSE(ImportCourse(path));
    ASSERT_EQ(ui->prompts().size(), 1);
    const QString prompt = ui->prompts()[0];
    EXPECT_TRUE(prompt.startsWith(QString(message).replace("@", path)) && (message == Res::str(318) || prompt.endsWith(path)))
        << prompt.toStdString();
    EXPECT_TRUE(bytes(path) == file && bytes(path + "-wal") == log);
    EXPECT_EQ(ui->shown[0].title.isEmpty(), message != Res::str(318));
    EXPECT_EQ(Snapshot(), before);
    EXPECT_TRUE(progress.empty());
  }
}

class TablePhaseFailure : public ImportTest {};

// The database refuses the rows of one table, as a full disk would: the bar
// stays at the stage that failed, the reason reaches the caller, and one
// transaction takes back everything, the feature the mapping created included.
TEST_F(TablePhaseFailure, FullDiskAtAnyTableRollsBackEverything) {
  const QString file = DemoFile("course.mdb");
  const QStringList before = Snapshot();
  for (const auto& [table, bar] : {std::pair{"Course", 0}, {"ProblemsContents", 50}, {"ProblemsFeatures", 60}}) {
    SCOPED_TRACE(table);
    RefuseInserts(table, true);
    ScriptDemoMapping();
    progress.clear();
    const TransferResult result = import.ImportCourseData(file);
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_TRUE(result.reason.contains("disk full")) << result.reason.toStdString();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(bar, Res::str(323 + bar / 10)));
    EXPECT_FALSE(import.session().ImportDestDAL().IsInTransaction());
    EXPECT_EQ(Snapshot(), before);
    RefuseInserts(table, false);
    import.session().releaseConnections();
  }
  ScriptDemoMapping();  // once the cause is gone the same file imports completely
  ASSERT_TRUE(ImportCourse(file));
  EXPECT_EQ(Count("select count(*) from ProblemsFeatures"), 4);
}

// Cancelled in a mapping dialog, before it starts or at any stage of the table
// phase, an import leaves the system database as it was.
TEST_F(TablePhaseFailure, CancelAtAnyStageLeavesTheSystemDatabaseAsItWas) {
  const QString file = DemoFile("course.mdb");
  const QStringList before = Snapshot();
  // Cancel in this mapping dialog (0: none), or by the cancel flag once the bar reaches bar.
  for (const auto& [dialog, bar] : {std::pair<size_t, int>{1, 0}, {2, 0}, {3, 0}, {0, -1}, {0, 0}, {0, 20}, {0, 40},
                                    {0, 60}, {0, 90}}) {
    SCOPED_TRACE(testing::Message() << dialog << "/" << bar);
    auto cancel = std::make_shared<CancelFlag>();
    CImport flagged(*ui, cancel);
    CImport& importer = dialog ? import : flagged;
    if (dialog) {
      ScriptDemoMapping();
      ui->mappingSteps.resize(dialog);
      ui->mappingSteps.back() = [](MappingModel& form) { form.cancel(); };
    }
    flagged.session().bAutoMap = true;
    if (bar < 0) cancel->request();
    progress.clear();
    importer.ImportProgress = [&, bar = bar](qint16 n, const QString& text) {
      progress.emplace_back(n, text);
      if (n >= bar) cancel->request();
    };
    EXPECT_EQ(importer.ImportCourseData(file).status,
              dialog ? TransferResult::Status::Declined : TransferResult::Status::Cancelled);
    EXPECT_TRUE(!dialog || progress.empty());
    EXPECT_TRUE(ui->mappingSteps.empty());
    EXPECT_EQ(Snapshot(), before);
  }
}

class LooseReferences : public ImportTest {};

// Rows pointing at what the file does not hold are left out or written
// without the reference, and counted; a second course row of a file is
// ignored and its contents join the first.
TEST_F(LooseReferences, RowsPointingOutsideTheFileAreSkippedAndCounted) {
  ScriptDemoMapping();
  // 丙 stands for the same system partition as 甲: the course's weight is written once.
  ui->mappingSteps.back() = [this](MappingModel& form) {
    for (const auto& [from, to] : {std::pair{120, 220}, {121, 221}, {122, 220}}) import.session().FeaturePartitionMap.add(from, to);
    for (const auto& [from, to] : {std::pair{1, 5}, {2, 6}, {3, 5}}) import.session().PartitionValueMap->add(from, to);
    form.Unload();
  };
  ASSERT_TRUE(ImportCourse(DemoFile(
      "loose.mdb", {"insert into ProblemsContents values (777,31,NULL),(51,888,NULL)",
                    "insert into ProblemsFeatures values (51,10,1,9,NULL),(51,66,1,1,NULL)",
                    "insert into Syllabus values (32,9,1,NULL,NULL)", "insert into CoursesSubjects values (1,9)",
                    "insert into Problem values (54,77,'P-54','b54',NULL,NULL,NULL)", "update Course set KeySubjectID=9",
                    "insert into FeaturePartition values (122,12,'丙',3,3,0,NULL,NULL)",
                    "insert into CoursesFeaturePartitions values (1,122,0.9,NULL)",
                    "insert into Course values (2,1,'线性代数',NULL,NULL,NULL,NULL)",
                    "insert into Content values (35,2,0,0,'矩阵',NULL,NULL)"})));
  EXPECT_EQ(import.SkippedRows(), (QMap<QString, int>{{"Course", 1}, {"ProblemsContents", 2}, {"ProblemsFeatures", 1},
                                                      {"ProblemsFeatures.Value", 1}, {"Syllabus", 1},
                                                      {"CoursesSubjects", 1}, {"Problem", 1}}));
  EXPECT_TRUE(import.SkippedSummary().startsWith("文件中引用缺失而未导入或置空的记录："));
  for (const auto& [sql, expected] : std::initializer_list<std::pair<const char*, int>>{
           {"select count(*) from ProblemsContents", 3},
           {"select count(*) from ProblemsFeatures", 5},
           {"select count(*) from ProblemsFeatures where Value is null and FeatureID=20", 1},
           {"select count(*) from CoursesSubjects where SubjectID is null", 0},
           {"select count(*) from CoursesFeaturePartitions where FeaturePartitionID=220", 1},
           {"select count(*) from Problem where Body='b54' and ProblemGroupID is null", 1},
           {"select count(*) from Course where Name='高等数学' and KeySubjectID is null", 1},
           {"select count(*) from Course where Name='线性代数'", 0},
           {"select count(*) from Content where CourseID=(select CourseID from Course where Name='高等数学')", 5}})
    EXPECT_EQ(Count(QString::fromUtf8(sql)), expected) << sql;
}

class InconsistentFile : public ImportTest {};

// A file whose own IDs or partition values cannot be told apart is refused,
// naming the table or feature, and nothing of it is written.
TEST_F(InconsistentFile, IdsThatCannotBeToldApartAreRefused) {
  const QStringList before = Snapshot();
  int round = 0;
  for (const auto& [extraRow, reason] : std::initializer_list<std::pair<const char*, const char*>>{
           {"insert into Content values (31,1,0,0,'重复','x',NULL)", "文件中表 Content 的编号 31 重复。"},
           {"insert into Content values (NULL,1,0,0,'无编号','x',NULL)", "文件中表 Content 有一行没有编号。"},
           {"insert into FeaturePartition values (122,12,'丙',1,1,0,NULL,NULL)", "文件中指标 自定义 的分区编号 1 重复。"}}) {
    SCOPED_TRACE(extraRow);
    import.session().bAutoMap = true;
    const TransferResult result =
        import.ImportCourseData(DemoFile(QStringLiteral("ids%1.mdb").arg(++round), {QString::fromUtf8(extraRow)}));
    EXPECT_EQ(result.status, TransferResult::Status::Failed);
    EXPECT_TRUE(result.reason.endsWith(QString::fromUtf8(reason))) << result.reason.toStdString();
    EXPECT_EQ(Snapshot(), before);
  }
}

class PaperImport : public ImportTest {
 protected:
  QString PaperFile(const QString& name, const QString& sheets) const {
    return WriteFile(name, {"insert into Subject values (1,'数学',NULL)",
                            "insert into PaperDesign values (5,1,'期末模版','<D/>',NULL),(6,1,'期中模版',NULL,NULL)",
                            "insert into Paper values (8,5,'期末A','<P/>',NULL),(9,6,'期中A',NULL,NULL),(10,55,'孤立',NULL,NULL)",
                            sheets.isEmpty() ? "select 1" : "insert into AnswerSheet values " + sheets});
  }
  void ScriptSubjects(CImport& importer, bool cancel = false) {
    ui->mappingSteps.push_back([&importer, cancel](MappingModel& form) {
      if (cancel) return form.cancel();
      importer.session().SubjectMap.add(1, 7);
      form.Unload();
    });
  }
  QString Rows(const QString& sql) const { return Scalar("select group_concat(r) from (" + sql + ") t").toString(); }
};

// Every reference points at the new rows, a second import makes a second
// copy; a paper whose design the file lacks is written without it, sheets of
// a paper the file lacks are left out, and both are counted.
TEST_F(PaperImport, EveryReferencePointsAtTheNewRowsAndASecondImportMakesASecondCopy) {
  env.exec("insert into PaperDesign (PaperDesignID) values (600)");
  env.exec("insert into Paper (PaperID) values (700)");
  const QString path = PaperFile("paper.mdb", "(8,'S001','A',90,NULL),(8,'S002','B',70,NULL),(9,'S001','C',80,NULL),"
                                              "(99,'S002',NULL,NULL,NULL)");
  for (int round = 1; round <= 2; ++round) {
    ScriptSubjects(import);
    progress.clear();
    ASSERT_TRUE(import.ImportPaperData(path).succeeded());
    EXPECT_EQ(progress.back(), std::make_pair(100, QStringLiteral("导入成功！")));
    EXPECT_EQ(import.SkippedRows(), (QMap<QString, int>{{"AnswerSheet", 1}, {"Paper", 1}}));
  }
  EXPECT_EQ(Rows("select PaperDesignID || ':' || SubjectID || ':' || Name as r from PaperDesign where PaperDesignID>600 "
                 "order by 1"), "601:7:期末模版,602:7:期中模版,603:7:期末模版,604:7:期中模版");
  EXPECT_EQ(Rows("select PaperID || ':' || coalesce(PaperDesignID, 0) || ':' || Name as r from Paper where PaperID>700 "
                 "order by 1"), "701:601:期末A,702:602:期中A,703:0:孤立,704:603:期末A,705:604:期中A,706:0:孤立");
  EXPECT_EQ(Rows("select PaperID || ':' || StudentCode || ':' || cast(Score as integer) as r from AnswerSheet "
                 "order by PaperID, StudentCode"), "701:S001:90,701:S002:70,702:S001:80,704:S001:90,704:S002:70,705:S001:80");
}

// Cancelled in the subject dialog or at any stage, up to the very last (no
// sheet rows left to copy), a paper import writes nothing.
TEST_F(PaperImport, CancelAtAnyStageWritesNothing) {
  const QString path = PaperFile("paper.mdb", QString());
  const QStringList before = Snapshot();
  for (const int bar : {-1, 0, 30, 60}) {
    SCOPED_TRACE(bar);
    auto cancel = std::make_shared<CancelFlag>();
    CImport cancelled(*ui, cancel);
    ScriptSubjects(cancelled, bar < 0);
    cancelled.ImportProgress = [&](qint16 n, const QString&) {
      if (n >= bar) cancel->request();
    };
    EXPECT_EQ(cancelled.ImportPaperData(path).status,
              bar < 0 ? TransferResult::Status::Declined : TransferResult::Status::Cancelled);
    EXPECT_EQ(Snapshot(), before);
    cancelled.session().releaseConnections();
  }
}
