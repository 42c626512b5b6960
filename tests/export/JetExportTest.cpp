#include <QProcess>
#include <QStandardPaths>

#include "export/ExportFixture.h"

namespace {

// The same export into the Access (Jet 4) template: an independent reader sees
// the rows; a failed export, or a file open in Access (its lock file beside
// it), leaves the Access file byte for byte as it was.
class JetExport : public ExportTest {};

TEST_F(JetExport, CourseLandsInAnAccessFileThatFailuresLeaveAsItWas) {
  QFile::remove(env.path("Template.mdb"));
  ASSERT_TRUE(QFile::copy(TestEnv::builtJetTemplate(), env.path("Template.mdb")));
  run({"insert into Subject (SubjectID, name) values (-1,'公共基础'),(3,'英语')",
       "insert into Course (CourseID, KeySubjectID, Name) values (8,3,'大学英语'),(9,3,'大学英语（二）')",
       "insert into Content (ContentID, CourseID, Name) values (80,8,'第一单元'),(90,9,'第二单元')",
       "insert into Problem (ProblemID, ProblemCode, Body) values (800,'E-1','题干'),(900,'E-2',null)",
       "insert into ProblemsContents (ProblemID, ContentID) values (800,80),(900,90)"});
  QString file = env.path("english.mdb");
  ASSERT_TRUE(newExport()->ExportCourseData(file, 8).succeeded());
  EXPECT_TRUE(bytes(file).mid(4, 15) == "Standard Jet DB");
  EXPECT_EQ(column(file, "select Name || Body from Course, Problem"), QStringList({"大学英语题干"}));
  QProcess reader;
  reader.start(QStandardPaths::findExecutable("mdb-export"), {file, "Problem"});
  ASSERT_TRUE(reader.waitForFinished(60000));
  EXPECT_TRUE(reader.readAllStandardOutput().contains("E-1"));

  const QByteArray before = bytes(file);
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked);
    if (locked) QFile(env.path("english.ldb")).open(QIODevice::WriteOnly);
    else run({"alter table Problem rename column Body to Stem"});
    ui->shown.clear();
    ui->answers = {Vb::Yes, Vb::Yes};
    QString again = file;
    EXPECT_FALSE(newExport()->ExportCourseData(again, 9).succeeded());
    EXPECT_TRUE(bytes(file) == before);
    EXPECT_EQ(ui->lastPrompt().startsWith("该Access文件不能写入：" + file), locked) << ui->lastPrompt().toStdString();
  }
}

}  // namespace
