#include "export/ExportFixture.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

#include "data/DataError.h"

namespace {

// The Access (Jet 4) template kept beside the source tree.
QString jetTemplate() {
  return QDir::cleanPath(QStringLiteral(CORVINA_SOURCE_DIR) + QStringLiteral("/../shared/jet/Template.mdb"));
}

// The same export into an Access-format template: the engine does not know
// the difference, and an independent reader sees the rows.
class JetExport : public ExportTest {
 protected:
  void SetUp() override {
    if (!QFile::exists(jetTemplate())) GTEST_SKIP() << "no Access template at " << jetTemplate().toStdString();
    const QString templ = env.path("Template.mdb");
    QFile::remove(templ);
    ASSERT_TRUE(QFile::copy(jetTemplate(), templ));
    QFile::setPermissions(templ, QFile::ReadOwner | QFile::WriteOwner);
    run({"insert into Subject (SubjectID, name) values (-1, '公共基础')",
         "insert into Subject (SubjectID, name) values (3, '英语')",
         "insert into Course (CourseID, KeySubjectID, Name, ContentHierarchy, Lastupdated) "
         "values (8, 3, '大学英语', '<ContentHierarchy/>', '2024-03-04 05:06:07')",
         "insert into Content (ContentID, CourseID, PARENTCONTENTID, LEVEL, Name) values (80, 8, 0, 1, '第一单元')",
         "insert into Problem (ProblemID, ProblemGroupID, ProblemCode, Body, Score) values (800, 0, 'E-1', '题干', 1.5)",
         "insert into ProblemsContents (ProblemID, ContentID) values (800, 80)"});
  }

  static QString mdbExport(const QString& file, const QString& table) {
    QProcess p;
    p.start(QStandardPaths::findExecutable(QStringLiteral("mdb-export")), {file, table});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }
};

TEST_F(JetExport, CourseLandsInAnAccessFile) {
  QString file = env.path("english.mdb");
  newExport()->ExportCourseData(file, 8);
  EXPECT_TRUE(bytes(file).mid(4, 15) == "Standard Jet DB");
  EXPECT_EQ(column(file, "select Name from Course"), QStringList({"大学英语"}));
  EXPECT_EQ(column(file, "select SubjectID from Subject order by 1"), QStringList({"-1", "3"}));
  EXPECT_EQ(column(file, "select Body from Problem"), QStringList({"题干"}));
  if (!QStandardPaths::findExecutable(QStringLiteral("mdb-export")).isEmpty()) {
    EXPECT_TRUE(mdbExport(file, "Course").contains("大学英语"));
    EXPECT_TRUE(mdbExport(file, "Problem").contains("E-1"));
  }
}

TEST_F(JetExport, NewFilesFollowTheUmaskAndARewrittenFileKeepsItsMode) {
  const auto modeOf = [](const QString& file) {
    struct stat st {};
    ::stat(QFile::encodeName(file).constData(), &st);
    return st.st_mode & 0777;
  };
  const struct {
    mode_t umask;
    mode_t fresh;
  } rows[] = {{077, 0600}, {022, 0644}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.umask);
    const mode_t previous = ::umask(row.umask);
    QString fresh = env.path(QStringLiteral("fresh%1.mdb").arg(row.umask));
    newExport()->ExportCourseData(fresh, 8);
    QString kept = env.path(QStringLiteral("kept%1.mdb").arg(row.umask));
    newExport()->ExportCourseData(kept, 8);
    ::chmod(QFile::encodeName(kept).constData(), 0640);
    ui->answers = {Vb::Yes, Vb::Yes};
    newExport()->ExportCourseData(kept, 8);
    ::umask(previous);
    EXPECT_EQ(modeOf(fresh), row.fresh);
    EXPECT_EQ(modeOf(kept), 0640u);
    EXPECT_EQ(column(kept, "select Name from Course"), QStringList({"大学英语"}));
  }
}

TEST_F(JetExport, FailurePartWayLeavesTheAccessFileUnchanged) {
  QString file = env.path("english.mdb");
  newExport()->ExportCourseData(file, 8);
  const QString before = dump(file);
  const QByteArray beforeBytes = bytes(file);
  run({"insert into Course (CourseID, KeySubjectID, Name) values (9, 3, '大学英语（二）')",
       "insert into Content (ContentID, CourseID, Name) values (90, 9, '第二单元')",
       "insert into Problem (ProblemID, ProblemCode) values (900, 'E-2')",
       "insert into ProblemsContents (ProblemID, ContentID) values (900, 90)",
       "alter table Problem rename column Body to Stem"});
  ui->answers = {Vb::Yes, Vb::Yes};
  QString again = file;
  EXPECT_EQ(newExport()->ExportCourseData(again, 9).status, TransferResult::Status::Failed);
  EXPECT_EQ(dump(file), before);
  EXPECT_TRUE(bytes(file) == beforeBytes) << "the failed export rewrote the Access file";
}

TEST_F(JetExport, AFileWithIndexesIsRefusedBeforeAnythingIsWritten) {
  const QString indexed =
      QDir::cleanPath(QStringLiteral(CORVINA_SOURCE_DIR) + QStringLiteral("/../shared/jet/access-made/testV2000.mdb"));
  if (!QFile::exists(indexed)) GTEST_SKIP() << "no Access-made sample at " << indexed.toStdString();
  QString file = env.path("indexed.mdb");
  ASSERT_TRUE(QFile::copy(indexed, file));
  QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
  const QByteArray before = bytes(file);
  ui->answers = {Vb::Yes, Vb::Yes};
  newExport()->ExportCourseData(file, 8);
  EXPECT_TRUE(bytes(file) == before);
  ASSERT_FALSE(ui->prompts().isEmpty());
  EXPECT_TRUE(ui->lastPrompt().startsWith(QStringLiteral("该Access文件不能写入：") + file)) << ui->lastPrompt().toStdString();
}

}  // namespace
