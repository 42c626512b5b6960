#include "export/ExportFixture.h"

#include <QDir>

#include "data/DataError.h"

namespace {

const int OverwriteFlags = Vb::YesNoCancel | Vb::Exclamation | Vb::DefaultButton2;
const int ConfirmDeleteFlags = Vb::YesNo | Vb::Question | Vb::DefaultButton2;

// Preparing and opening the destination, seen through the course export of a
// small course.
class ExportTarget : public ExportTest {
 protected:
  void SetUp() override {
    run({"insert into Subject (SubjectID, name) values (-1, '公共基础')",
         "insert into Course (CourseID, KeySubjectID, Name) values (5, -1, '英语')",
         "insert into Course (CourseID, KeySubjectID, Name) values (6, -1, '日语')"});
  }

  // An exchange file that already holds course 6.
  QString existingExport(const QString& name) {
    QString file = env.path(name);
    newExport()->ExportCourseData(file, 6);
    progress.clear();
    return file;
  }

  void expectShown(size_t i, const QString& kind, const QString& prompt, int flags = 0) const {
    ASSERT_LT(i, ui->shown.size());
    EXPECT_EQ(ui->shown[i].kind, kind);
    EXPECT_EQ(ui->shown[i].prompt, prompt);
    if (kind == QLatin1String("msgbox")) {
      EXPECT_EQ(ui->shown[i].flags, flags);
    }
    EXPECT_EQ(ui->shown[i].title, Res::str(Res::TransferTitle));
  }
};

TEST_F(ExportTarget, MissingTemplateOnlyShowsItsPath) {
  const QString templ = env.path("Template.mdb");
  QFile::remove(templ);
  QString file = env.path("x.mdb");
  newExport()->ExportCourseData(file, 5);
  ASSERT_EQ(ui->shown.size(), 1u);
  expectShown(0, "msgbox", Res::str(322) + templ, Vb::OKOnly | Vb::Exclamation);
  EXPECT_FALSE(QFile::exists(file));
  EXPECT_TRUE(progress.empty());
}

TEST_F(ExportTarget, RenameWithLowerCaseExtensionIsNotDoubled) {
  const QString original = existingExport("a.mdb");
  const QByteArray before = bytes(original);
  ui->answers = {Vb::No};
  ui->inputs = {QStringLiteral("b.mdb")};
  QString file = original;
  newExport()->ExportCourseData(file, 5);

  ASSERT_EQ(ui->shown.size(), 2u);
  expectShown(0, "msgbox", Res::str(350) + original, OverwriteFlags);
  expectShown(1, "inputbox", Res::str(351));
  EXPECT_EQ(file, QDir(env.home()).absolutePath() + "/b.mdb") << "the caller sees the new path";
  EXPECT_EQ(column(file, "select CourseID from Course"), QStringList({"5"}));
  EXPECT_EQ(bytes(original), before) << "the first file is untouched";
}

TEST_F(ExportTarget, RenameWithCapitalExtensionGetsASecondOne) {
  const QString original = existingExport("a.mdb");
  ui->answers = {Vb::No};
  ui->inputs = {QStringLiteral("c.MDB")};
  QString file = original;
  newExport()->ExportCourseData(file, 5);
  EXPECT_EQ(file, QDir(env.home()).absolutePath() + "/c.MDB.mdb");
  EXPECT_EQ(column(file, "select CourseID from Course"), QStringList({"5"}));
}

TEST_F(ExportTarget, RenameToAnotherExistingFileAsksAgain) {
  const QString first = existingExport("a.mdb");
  const QString second = existingExport("b.mdb");
  ui->answers = {Vb::No, Vb::Yes, Vb::Yes};
  ui->inputs = {QStringLiteral("b")};
  QString file = first;
  newExport()->ExportCourseData(file, 5);
  ASSERT_EQ(ui->shown.size(), 4u);
  expectShown(2, "msgbox", Res::str(350) + second, OverwriteFlags);
  expectShown(3, "msgbox", Res::str(316) + second, ConfirmDeleteFlags);
  EXPECT_EQ(column(second, "select CourseID from Course"), QStringList({"5"}));
  EXPECT_EQ(column(first, "select CourseID from Course"), QStringList({"6"}));
}

TEST_F(ExportTarget, EmptyOrCancelledNameStopsQuietly) {
  const QString original = existingExport("a.mdb");
  const QByteArray before = bytes(original);
  for (const std::optional<QString>& answer : {std::optional<QString>(), std::optional<QString>(".mdb")}) {
    ui->shown.clear();
    ui->answers = {Vb::No};
    ui->inputs = {answer};
    QString file = original;
    newExport()->ExportCourseData(file, 5);
    EXPECT_EQ(ui->shown.size(), 2u) << "no message after the input box";
    EXPECT_EQ(file, original);
  }
  EXPECT_EQ(bytes(original), before);
  EXPECT_TRUE(progress.empty());
}

TEST_F(ExportTarget, OverwriteDeclinedAtEitherQuestionLeavesTheFile) {
  const QString original = existingExport("a.mdb");
  const QByteArray before = bytes(original);
  for (const std::deque<int>& answers : {std::deque<int>{Vb::Cancel}, std::deque<int>{Vb::Yes, Vb::No}}) {
    ui->shown.clear();
    ui->answers = answers;
    QString file = original;
    newExport()->ExportCourseData(file, 5);
    EXPECT_EQ(ui->shown.size(), answers.size());
  }
  expectShown(1, "msgbox", Res::str(316) + original, ConfirmDeleteFlags);
  EXPECT_EQ(bytes(original), before);
  EXPECT_TRUE(progress.empty());
}

TEST_F(ExportTarget, TheTemplateItselfIsRefusedAfterTheOverwriteQuestion) {
  const QString templ = env.path("Template.mdb");
  const QByteArray before = bytes(templ);
  // Spelled differently, it is still the template.
  for (const QString& spelling : {templ, env.home() + "/./Template.mdb"}) {
    ui->shown.clear();
    ui->answers = {Vb::Yes};
    QString file = spelling;
    newExport()->ExportCourseData(file, 5);
    ASSERT_EQ(ui->shown.size(), 2u);
    expectShown(0, "msgbox", Res::str(350) + spelling, OverwriteFlags);
    expectShown(1, "msgbox", Res::str(321), Vb::OKOnly | Vb::Exclamation);
  }
  EXPECT_EQ(bytes(templ), before);
}

TEST_F(ExportTarget, EmptyAndFilledCourseTablesAreBothAccepted) {
  const QString empty = freshExchangeFile("empty.mdb");
  const QString filled = existingExport("filled.mdb");
  for (const QString& original : {empty, filled}) {
    ui->answers = {Vb::Yes, Vb::Yes};
    QString file = original;
    newExport()->ExportCourseData(file, 5);
    EXPECT_EQ(column(file, "select CourseID from Course"), QStringList({"5"})) << original.toStdString();
  }
  EXPECT_EQ(ui->prompts().size(), 4u) << "no complaint about either file";
}

TEST_F(ExportTarget, FileThatIsNoExchangeFileFailsToConnect) {
  const QString text = env.path("notes.mdb");
  {
    QFile f(text);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database");
  }
  const QString partial = freshExchangeFile("partial.mdb");
  execIn(partial, "drop table ProblemsContents");
  for (const QString& original : {text, partial}) {
    const QByteArray before = bytes(original);
    ui->shown.clear();
    ui->answers = {Vb::Yes, Vb::Yes};
    QString file = original;
    newExport()->ExportCourseData(file, 5);
    ASSERT_EQ(ui->shown.size(), 3u);
    EXPECT_TRUE(ui->shown[2].prompt.startsWith("连接数据库失败！\r\n")) << ui->shown[2].prompt.toStdString();
    EXPECT_TRUE(ui->shown[2].title.isEmpty());
    EXPECT_EQ(bytes(original), before);
  }
  EXPECT_TRUE(progress.empty());
}

TEST_F(ExportTarget, MissingFolderReachesTheCaller) {
  QString file = env.path("no/such/folder/x.mdb");
  const TransferResult result = newExport()->ExportCourseData(file, 5);
  EXPECT_EQ(result.status, TransferResult::Status::Failed);
  EXPECT_TRUE(result.reason.contains("Path not found")) << result.reason.toStdString();
  EXPECT_TRUE(ui->shown.empty());
}

TEST_F(ExportTarget, FileNameWithASemicolonIsWritten) {
  QString file = env.path("C++; 基础.mdb");
  newExport()->ExportCourseData(file, 5);
  EXPECT_TRUE(ui->shown.empty());
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection("Driver=SQLite3;Database={" + file + "}");
  RecordsetPtr rs;
  dal.GetConnectedRecordset("select CourseID from Course", rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value(0).toInt(), 5);
}

TEST_F(ExportTarget, ReadOnlyTemplateGivesAWritableExchangeFile) {
  QFile::setPermissions(env.path("Template.mdb"), QFile::ReadOwner);
  QString file = env.path("rw.mdb");
  newExport()->ExportCourseData(file, 5);
  EXPECT_EQ(column(file, "select CourseID from Course"), QStringList({"5"}));
}

}  // namespace
