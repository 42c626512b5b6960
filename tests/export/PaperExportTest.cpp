#include "export/ExportFixture.h"

namespace {

// Paper 50 has two answer sheets, paper 60 none; both use design 5 of subject
// 2. Paper 70 (design 6, subject 3) has one sheet.
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
  static QString rows(const QString& file, const QString& sql) { return column(file, sql).join(','); }
};

// Each paper arrives with its design, its subject and its sheets, into a new
// file or over a course file.
TEST_F(PaperExport, WritesDesignPaperAndAnswerSheetsOnly) {
  QString course = env.path("course.mdb");
  newExport()->ExportCourseData(course, 1);
  const struct {
    int paper;
    QString file;
    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    QString written, subjects, designs, papers, sheets;
  } table[] = {
      {50, env.path("a.mdb"), {}, {}, env.path("a.mdb"), "-1,2", "5期末<design/>", "50A卷<paper/>", "S01ABCD90.0,S02ABCC75.0"},
      {70, course, {Answer::Yes, Answer::Yes}, {}, course, "-1,3", "6期中", "70C卷", "S03"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.written.toStdString());
    ui->answers = row.answers;
    ui->inputs = row.inputs;
    progress.clear();
    QString file = row.file;
    auto exporter = newExport();
    exporter->nPaperID = row.paper;
    EXPECT_EQ(exporter->ExportPaper(file).file, row.written);
    EXPECT_EQ(file, row.written);
    expectProgressToTheEnd();
    EXPECT_EQ(rows(file, "select SubjectID from Subject order by 1"), row.subjects);
    EXPECT_EQ(rows(file, "select PaperDesignID || Name || coalesce(Definition, '') from PaperDesign"), row.designs);
    EXPECT_EQ(rows(file, "select PaperID || Name || coalesce(Body, '') from Paper"), row.papers);
    EXPECT_EQ(rows(file, "select StudentCode || coalesce(Answers, '') || coalesce(Score, '') from AnswerSheet order by 1"),
              row.sheets);
    for (const char* table : {"Course", "Content", "Problem", "Feature"}) EXPECT_EQ(count(file, table), 0) << table;
  }
}

}  // namespace
