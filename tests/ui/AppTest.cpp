#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

#include "core/AppPaths.h"
#include "core/modInputOutput.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/AppSetup.h"
#include "ui/UiTestApp.h"
#include "ui/X11Window.h"

namespace {

// Whatever LANG says, Qt's own buttons read as the program's messages name them.
TEST(AppSetup, QtsOwnButtonsAndDialogsSpeakChinese) {
  PrepareApplication(uiTestApp());
  const struct { QMessageBox::StandardButton button; const char* caption; } rows[] = {
      {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是"}, {QMessageBox::No, "否"}};
  QMessageBox box;
  for (const auto& row : rows) EXPECT_TRUE(box.addButton(row.button)->text().startsWith(QString::fromUtf8(row.caption)));
  QFileDialog save;
  save.setAcceptMode(QFileDialog::AcceptSave);
  EXPECT_EQ(save.labelText(QFileDialog::FileName), QStringLiteral("文件名称(&N)："));
  EXPECT_FALSE(QApplication::windowIcon().isNull());
}

TEST(ExamSystemWindowElsewhere, NothingIsDoneOutsideX11) {
  uiTestApp();
  ASSERT_NE(QGuiApplication::platformName(), "xcb");
  EXPECT_FALSE(X11Window::RestoreCentred(QStringLiteral("Yarrow考试系统")));
}

QString readLog() {
  QFile f(AppPaths::errorLogFile());
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Entries are appended, six CR LF lines each, the description as given.
TEST(ErrorLog, EntriesAreAppendedInSixLinesWithTheDescriptionUnchanged) {
  TestEnv env;
  ScopedInteraction scope(std::make_shared<ScriptedInteraction>());
  LogError("frmCorvina", "RefreshSubject", -2147467259, "no such table: SUBJECT", true);
  const QString first = readLog();
  LogError("m", "p", 5, "line one\r\nline two", true);
  const QString both = readLog();
  EXPECT_TRUE(both.startsWith(first));
  QStringList lines = both.split("\r\n");
  ASSERT_EQ(lines.size(), 14);
  for (int stamp : {0, 6}) {
    EXPECT_TRUE(lines[stamp].startsWith("**** Error Encountered ") && lines[stamp].endsWith(" ****")) << stamp;
    lines[stamp] = "stamp";
  }
  EXPECT_EQ(lines, (QStringList{"stamp", "Error Code:\t-2147467259", "Description:\tno such table: SUBJECT",
                                "Procedure:\tRefreshSubject", "Module:\t\tfrmCorvina", "", "stamp", "Error Code:\t5",
                                "Description:\tline one", "line two", "Procedure:\tp", "Module:\t\tm", "", ""}));
}

// What the user sees: the error unless quiet, after a note when the log cannot be written.
TEST(ErrorLog, TheErrorIsShownUnlessQuietAndAnUnwritableLogIsReportedFirst) {
  const QString shownError = "Error:the error\r\n\r\nModule:frmCorvina\r\nProcedure:RefreshSubject\r\n";
  const struct { bool quiet, unwritable; int shown; } rows[] = {
      {false, false, 1}, {true, false, 0}, {false, true, 2}};
  for (const auto& row : rows) {
    TestEnv env;
    // A folder in the log's place cannot be opened for writing, whoever runs the test.
    if (row.unwritable) {
      ASSERT_TRUE(QDir().mkpath(AppPaths::errorLogFile()));
    }
    auto ui = std::make_shared<ScriptedInteraction>();
    ScopedInteraction scope(ui);
    LogError("frmCorvina", "RefreshSubject", 9, "the error", row.quiet);
    SCOPED_TRACE(row.shown);
    ASSERT_EQ(ui->shown.size(), size_t(row.shown));
    EXPECT_EQ(readLog().contains("Description:\tthe error"), !row.unwritable);
    if (row.unwritable) {
      EXPECT_FALSE(ui->shown[0].prompt.isEmpty());
      EXPECT_EQ(ui->shown[0].flags, Vb::OKOnly);
    }
    if (row.shown == 0) continue;
    EXPECT_EQ(ui->shown.back().prompt, shownError);
    EXPECT_EQ(ui->shown.back().flags, Vb::OKOnly | Vb::Critical);
    EXPECT_EQ(ui->shown.back().title, ErrorTitle());
  }
}

TEST(SplitFileList, AFolderAndNamesGiveOnePathPerName) {
  const struct { const char* text; QStringList paths; } rows[] = {
      {"/data/banks/math.mdb", {"/data/banks/math.mdb"}},
      {"/data/banks a.mdb b.mdb", {"/data/banks/a.mdb", "/data/banks/b.mdb"}},
      {"/ a.mdb b.mdb", {"/a.mdb", "/b.mdb"}},  // no second slash after the root
      {"", {}},
      {"/data/my banks.mdb", {"/data/my/banks.mdb"}},  // a blank always separates
      {"/d a.mdb  b.mdb", {"/d/a.mdb", "/d/", "/d/b.mdb"}},
  };
  for (const auto& row : rows) EXPECT_EQ(SplitFileList(row.text), row.paths) << row.text;
}

TEST(SafeFileName, SlashesNulAndDotNamesBecomeUnderscores) {
  const struct { QString name, file; } rows[] = {
      {"数据结构", "数据结构"}, {"../etc/passwd", ".._etc_passwd"}, {QString("a") + QChar(0) + "b", "a_b"},
      {".", "_"}, {"..", "_"}, {"O'Brien 的课程", "O'Brien 的课程"}};
  for (const auto& row : rows) EXPECT_EQ(SafeFileName(row.name), row.file) << row.name.toStdString();
}

}  // namespace
