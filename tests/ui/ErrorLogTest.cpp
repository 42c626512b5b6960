#include <gtest/gtest.h>

#include <QRegularExpression>

#include <QDir>
#include <QFile>

#include "core/AppPaths.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "core/modInputOutput.h"

namespace {

QString readLog() {
  QFile f(AppPaths::errorLogFile());
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll());
}

// The revision always shows four digits, whatever the project version is.
TEST(ErrorLog, TitleCarriesTheVersionWithAFourDigitRevision) {
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^Unexpected Error! Version: \\d+\\.\\d+\\.\\d{4}$"))
                  .match(ErrorTitle())
                  .hasMatch())
      << ErrorTitle().toStdString();
}

TEST(ErrorLog, EntryHasSixCrLfLinesAndTheMessageIsShown) {
  TestEnv env;
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  LogError("frmCorvina", "RefreshSubject", -2147467259, "no such table: SUBJECT", false);

  const QStringList lines = readLog().split("\r\n");
  ASSERT_EQ(lines.size(), 7);  // six lines, each ended by CR LF
  EXPECT_TRUE(lines[0].startsWith("**** Error Encountered "));
  EXPECT_TRUE(lines[0].endsWith(" ****"));
  EXPECT_EQ(lines[1], "Error Code:\t-2147467259");
  EXPECT_EQ(lines[2], "Description:\tno such table: SUBJECT");
  EXPECT_EQ(lines[3], "Procedure:\tRefreshSubject");
  EXPECT_EQ(lines[4], "Module:\t\tfrmCorvina");
  EXPECT_EQ(lines[5], "");
  EXPECT_EQ(lines[6], "");

  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].prompt,
            "Error:no such table: SUBJECT\r\n\r\nModule:frmCorvina\r\nProcedure:RefreshSubject\r\n");
  EXPECT_EQ(ui->shown[0].flags, Vb::OKOnly | Vb::Critical);
  EXPECT_EQ(ui->shown[0].title, "Unexpected Error! Version: 1.5.0035");
}

TEST(ErrorLog, SecondEntryIsAppendedAndTheFirstStaysUnchanged) {
  TestEnv env;
  ScopedInteraction scope(std::make_shared<ScriptedInteraction>());
  LogError("modA", "First", 1, "one", true);
  const QString first = readLog();
  LogError("modB", "Second", 2, "two", true);
  const QString both = readLog();
  EXPECT_TRUE(both.startsWith(first));
  EXPECT_EQ(both.count("**** Error Encountered "), 2);
  EXPECT_TRUE(both.mid(first.size()).contains("Description:\ttwo\r\n"));
}

TEST(ErrorLog, DescriptionWithLineBreaksIsWrittenUnchanged) {
  TestEnv env;
  ScopedInteraction scope(std::make_shared<ScriptedInteraction>());
  LogError("m", "p", 5, "line one\r\nline two", true);
  const QString log = readLog();
  EXPECT_TRUE(log.contains("Description:\tline one\r\nline two\r\nProcedure:\tp\r\n"));
  EXPECT_EQ(log.split("\r\n").size(), 8);
}

TEST(ErrorLog, QuietModeWritesTheEntryAndShowsNothing) {
  TestEnv env;
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  LogError("m", "p", 7, "quiet", true);
  EXPECT_TRUE(readLog().contains("Description:\tquiet"));
  EXPECT_TRUE(ui->shown.empty());
}

TEST(ErrorLog, UnwritableLogIsReportedAndTheErrorStillShown) {
  TestEnv env;
  // A folder in the log's place cannot be opened for writing, whoever runs the test.
  ASSERT_TRUE(QDir().mkpath(AppPaths::errorLogFile()));
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  LogError("m", "p", 9, "the error", false);
  ASSERT_EQ(ui->shown.size(), 2u);
  EXPECT_FALSE(ui->shown[0].prompt.isEmpty());
  EXPECT_EQ(ui->shown[0].flags, Vb::OKOnly);
  EXPECT_EQ(ui->shown[0].title, "");
  EXPECT_TRUE(ui->shown[1].prompt.startsWith("Error:the error"));
  EXPECT_EQ(ui->shown[1].title, ErrorTitle());
}

TEST(SplitFileList, OnePathIsKeptWhole) {
  EXPECT_EQ(SplitFileList("/data/banks/math.mdb"), QStringList{"/data/banks/math.mdb"});
}

TEST(SplitFileList, FolderAndTwoNamesGiveTwoPaths) {
  EXPECT_EQ(SplitFileList("/data/banks a.mdb b.mdb"), (QStringList{"/data/banks/a.mdb", "/data/banks/b.mdb"}));
}

TEST(SplitFileList, RootFolderGetsNoSecondSlash) {
  EXPECT_EQ(SplitFileList("/ a.mdb b.mdb"), (QStringList{"/a.mdb", "/b.mdb"}));
}

TEST(SplitFileList, EmptyTextGivesNoPaths) { EXPECT_TRUE(SplitFileList("").isEmpty()); }

TEST(SplitFileList, PathWithABlankIsTakenAsFolderAndName) {
  EXPECT_EQ(SplitFileList("/data/my banks.mdb"), QStringList{"/data/my/banks.mdb"});
}

TEST(SplitFileList, AdjacentBlanksKeepAnEmptyName) {
  EXPECT_EQ(SplitFileList("/d a.mdb  b.mdb"), (QStringList{"/d/a.mdb", "/d/", "/d/b.mdb"}));
}

}  // namespace
