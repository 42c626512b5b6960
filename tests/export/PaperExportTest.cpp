#include "export/ExportFixture.h"

#include <QDir>

#include "data/DataError.h"

namespace {

// Paper 50 has two answer sheets, paper 60 none; both use design 5 of subject 2.
class PaperExport : public ExportTest {
 protected:
  void SetUp() override {
    run({"insert into Subject (SubjectID, name) values (-1, '公共基础')",
         "insert into Subject (SubjectID, name) values (2, '物理')",
         "insert into Subject (SubjectID, name) values (3, '化学')",
         "insert into PaperDesign (PaperDesignID, SubjectID, Name, Definition) values (5, 2, '期末', '<design/>')",
         "insert into PaperDesign (PaperDesignID, SubjectID, Name) values (6, 3, '期中')",
         "insert into Paper (PaperID, PaperDesignID, Name, Body) values (50, 5, 'A卷', '<paper/>')",
         "insert into Paper (PaperID, PaperDesignID, Name) values (60, 5, 'B卷')",
         "insert into Paper (PaperID, PaperDesignID, Name) values (70, 6, 'C卷')",
         "insert into AnswerSheet (PaperID, StudentCode, Answers, Score) values (50, 'S01', 'ABCD', 90)",
         "insert into AnswerSheet (PaperID, StudentCode, Answers, Score) values (50, 'S02', 'ABCC', 75)",
         "insert into AnswerSheet (PaperID, StudentCode) values (70, 'S03')",
         "insert into Course (CourseID, KeySubjectID, Name) values (1, 2, '力学')"});
  }

  static QStringList ids(const QString& file, const QString& sql) { return column(file, sql); }
};

TEST_F(PaperExport, WritesDesignPaperAndAnswerSheets) {
  QString file = env.path("paper.mdb");
  EXPECT_EQ(newExport()->ExportPaper(file, 50).file, file);
  EXPECT_EQ(ids(file, "select SubjectID from Subject order by 1"), QStringList({"-1", "2"}));
  EXPECT_EQ(ids(file, "select PaperDesignID || Name || Definition from PaperDesign"), QStringList({"5期末<design/>"}));
  EXPECT_EQ(ids(file, "select PaperID || Name || Body from Paper"), QStringList({"50A卷<paper/>"}));
  EXPECT_EQ(ids(file, "select StudentCode || Answers || Score from AnswerSheet order by 1"),
            QStringList({"S01ABCD90.0", "S02ABCC75.0"}));
  for (const char* table : {"Course", "Content", "Problem", "Feature"}) EXPECT_EQ(count(file, table), 0) << table;

  const std::vector<std::pair<int, QString>> expected{
      {0, Res::str(334)},        {20, Res::str(335)}, {60, "导出试卷模板..."},
      {80, "导出试卷..."}, {100, "导出学生答卷..."}, {100, Res::str(347)}};
  EXPECT_EQ(progress, expected);
}

TEST_F(PaperExport, PaperWithoutAnswerSheetsLeavesThemEmpty) {
  QString file = env.path("paper.mdb");
  newExport()->ExportPaper(file, 60);
  EXPECT_EQ(ids(file, "select PaperID from Paper"), QStringList({"60"}));
  EXPECT_EQ(ids(file, "select PaperDesignID from PaperDesign"), QStringList({"5"}));
  EXPECT_EQ(count(file, "AnswerSheet"), 0);
}

TEST_F(PaperExport, OverwritingACourseFileLeavesOnlyThePaper) {
  QString file = env.path("mixed.mdb");
  newExport()->ExportCourseData(file, 1);
  ui->answers = {Vb::Yes, Vb::Yes};
  auto exporter = newExport();
  exporter->nPaperID = 70;
  exporter->ExportPaper(file);
  EXPECT_EQ(count(file, "Course"), 0);
  EXPECT_EQ(ids(file, "select SubjectID from Subject order by 1"), QStringList({"-1", "3"}));
  EXPECT_EQ(ids(file, "select StudentCode from AnswerSheet"), QStringList({"S03"}));
}

TEST_F(PaperExport, ReturnsThePathAfterARename) {
  QString file = env.path("paper.mdb");
  newExport()->ExportPaper(file, 60);
  ui->answers = {Vb::No};
  ui->inputs = {QStringLiteral("期末试卷.mdb")};
  QString path = file;
  const QString written = newExport()->ExportPaper(path, 50).file;
  EXPECT_EQ(written, QDir(env.home()).absolutePath() + "/期末试卷.mdb");
  EXPECT_EQ(path, written);
  EXPECT_EQ(ids(written, "select PaperID from Paper"), QStringList({"50"}));
  EXPECT_EQ(ids(file, "select PaperID from Paper"), QStringList({"60"}));
}

TEST_F(PaperExport, StopInPreparationIsDeclined) {
  QString file = env.path("paper.mdb");
  newExport()->ExportPaper(file, 60);
  ui->answers = {Vb::Cancel};
  EXPECT_EQ(newExport()->ExportPaper(file, 50).status, TransferResult::Status::Declined);
  ui->answers = {Vb::Yes, Vb::Yes};
  auto exporter = newExport();
  exporter->ExportPaper(file, 50);
  ui->answers = {Vb::Yes, Vb::Yes};
  EXPECT_EQ(exporter->ExportPaper(file, 60).status, TransferResult::Status::Declined) << "the object is used up";
  EXPECT_TRUE(ui->lastPrompt().startsWith("连接数据库失败！")) << ui->lastPrompt().toStdString();
  EXPECT_EQ(ids(file, "select PaperID from Paper"), QStringList({"50"}));
}

TEST_F(PaperExport, UnknownPaperFailsAndLeavesTheFileUnchanged) {
  QString file = env.path("paper.mdb");
  newExport()->ExportPaper(file, 50);
  const QString before = dump(file);
  ui->answers = {Vb::Yes, Vb::Yes};
  EXPECT_EQ(newExport()->ExportPaper(file, 999).status, TransferResult::Status::Failed);
  EXPECT_EQ(dump(file), before);
}

}  // namespace
