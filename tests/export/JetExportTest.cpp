#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

#include "export/ExportFixture.h"

namespace {

// The same export into the Access (Jet 4) template: the engine does not know
// the difference, and an independent reader sees the rows.
class JetExport : public ExportTest {
 protected:
  void SetUp() override {
    const QString templ = env.path("Template.mdb");
    QFile::remove(templ);
    ASSERT_TRUE(QFile::copy(TestEnv::builtJetTemplate(), templ));
    QFile::setPermissions(templ, QFile::ReadOwner | QFile::WriteOwner);
    run({"insert into Subject (SubjectID, name) values (-1, '公共基础')",
         "insert into Subject (SubjectID, name) values (3, '英语')",
         "insert into Course (CourseID, KeySubjectID, Name, ContentHierarchy, Lastupdated) "
         "values (8, 3, '大学英语', '<ContentHierarchy/>', '2024-03-04 05:06:07')",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (80, 8, 0, 1, '第一单元')",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode, Body, Score) values (800, 0, 'E-1', '题干', 1.5)",
         "insert into ProblemsContents (ProblemID, ContentID) values (800, 80)",
         "insert into Course (CourseID, KeySubjectID, Name) values (9, 3, '大学英语（二）')",
         "insert into Content (ContentID, CourseID, Name) values (90, 9, '第二单元')",
         "insert into Problem (ProblemID, ProblemCode) values (900, 'E-2')",
         "insert into ProblemsContents (ProblemID, ContentID) values (900, 90)"});
  }
  static mode_t modeOf(const QString& file) {
    struct stat st {};
    ::stat(QFile::encodeName(file).constData(), &st);
    return st.st_mode & 0777;
  }
};

// New files follow the umask, a replaced file keeps its mode, and both read
// back through our reader and mdb-export.
TEST_F(JetExport, CourseLandsInAnAccessFileWithTheRightMode) {
  for (const auto& [umask, fresh] : {std::pair<mode_t, mode_t>{077, 0600}, {022, 0644}}) {
    SCOPED_TRACE(umask);
    const mode_t previous = ::umask(umask);
    QString file = env.path(QStringLiteral("fresh%1.mdb").arg(umask));
    newExport()->ExportCourseData(file, 8);
    QString kept = env.path(QStringLiteral("kept%1.mdb").arg(umask));
    newExport()->ExportCourseData(kept, 8);
    ::chmod(QFile::encodeName(kept).constData(), 0640);
    ui->answers = {Vb::Yes, Vb::Yes};
    newExport()->ExportCourseData(kept, 8);
    ::umask(previous);
    EXPECT_EQ(modeOf(file), fresh);
    EXPECT_EQ(modeOf(kept), 0640u);
    for (const QString& f : {file, kept}) {
      EXPECT_TRUE(bytes(f).mid(4, 15) == "Standard Jet DB");
      EXPECT_EQ(column(f, "select Name || Body from Course, Problem"), QStringList({"大学英语题干"}));
      EXPECT_EQ(column(f, "select SubjectID from Subject order by 1"), QStringList({"-1", "3"}));
      QProcess reader;
      reader.start(QStandardPaths::findExecutable(QStringLiteral("mdb-export")), {f, QStringLiteral("Problem")});
      ASSERT_TRUE(reader.waitForFinished(60000));
      EXPECT_TRUE(reader.readAllStandardOutput().contains("E-1"));
    }
  }
}

// A failed export, or a file open in Access (its lock file beside it), leaves
// the Access file byte for byte as it was.
TEST_F(JetExport, FailureOrLockFileLeavesTheAccessFileUnchanged) {
  QString file = env.path("english.mdb");
  ASSERT_TRUE(newExport()->ExportCourseData(file, 8).succeeded());
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
    if (locked) EXPECT_TRUE(ui->lastPrompt().startsWith(QStringLiteral("该Access文件不能写入：") + file)) << ui->lastPrompt().toStdString();
  }
}

}  // namespace
