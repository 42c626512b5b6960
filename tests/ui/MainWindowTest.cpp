#include <gtest/gtest.h>

#include <QDir>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>

#include "Version.h"
#include "core/AppPaths.h"
#include "core/modInputOutput.h"
#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/AboutBox.h"
#include "ui/AppSetup.h"
#include "ui/TransferFrame.h"
#include "ui/UiTestApp.h"
#include "ui/X11Window.h"
#include "ui/frmCorvina.h"

namespace {

QString errorLog() {
  QFile f(AppPaths::errorLogFile());
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { uiTestApp(); }
  // In ID order, which both backends list them in; into the newest TestEnv's database.
  static void addSubjects(const TestEnv& env, const char* lastName = "'化学'") {
    for (const QString& values : {QString("-3,'旧专业',NULL"), QString("0,'全部',NULL"), QString("1,'数学','高等数学'"),
                                  QString("2,'物理',NULL"), QString("5,%1,NULL").arg(lastName)})
      env.exec("insert into Subject (SubjectID,name,description) values (" + values + ")");
    for (const char* values : {"10,1,'线性代数','矩阵'", "11,2,'力学','牛顿'", "12,1,'微积分',NULL"})
      env.exec(QString("insert into Course (CourseID,KeySubjectID,Name,Description) values (%1)").arg(values));
  }
  QTabWidget* tab(const char* name) const { return w->findChild<QTabWidget*>(name); }
  QPushButton* button(const char* name) const { return w->findChild<QPushButton*>(name); }
  // The user picks the subject of this ID and opens the course page.
  void chooseSubject(int id) {
    tab("tabMain")->setCurrentIndex(0);
    const QStringList ids = column(w->sprSubject(), 0);
    w->sprSubject()->selectRow(int(ids.indexOf(QString::number(id))));
    tab("tabMain")->setCurrentIndex(1);
  }
  static QStringList column(QTableWidget* grid, int col) {
    QStringList cells;
    for (int row = 1; row <= grid->rowCount(); ++row) cells << frmCorvina::CellText(grid, col, row);
    return cells;
  }

  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  std::unique_ptr<frmCorvina> w;
};

TEST_F(MainWindow, OpensWhollyOnScreenWithItsCaptionsAndTabLeavesTheGrid) {
  addSubjects(env);
  w = std::make_unique<frmCorvina>();
  w->show();
  w->activateWindow();
  EXPECT_TRUE(w->screen()->availableGeometry().contains(w->frameGeometry()));
  EXPECT_EQ(QStringList({w->windowTitle(), tab("tabMain")->tabText(0), tab("tabMain")->tabText(1),
                         w->Frame3()->title(), button("cmdReturn_0")->text(), button("cmdSelectCourse")->text()}),
            QStringList({"Yarrow考试系统-[课程导入]", " 专业管理 ", " 课程管理 ", "课程导入导出", "退出(&X)", "课程选择(&S)"}));
  // Subjects with names and descriptions (a missing one empty), none editable.
  EXPECT_EQ(column(w->sprSubject(), 1).mid(2, 2) + column(w->sprSubject(), 2).mid(2, 2),
            QStringList({"数学", "物理", "高等数学", ""}));
  EXPECT_FALSE(w->sprSubject()->item(1, 1)->flags() & Qt::ItemIsEditable);
  w->sprSubject()->setCurrentCell(0, 0);
  w->sprSubject()->setFocus();
  QKeyEvent tabKey(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(w->sprSubject(), &tabKey);
  EXPECT_EQ(w->focusWidget(), button("cmdSelectCourse"));
  EXPECT_TRUE(ui->shown.empty());
}

// A subject lists its own courses, one of ID 0 or below all of them; it stays chosen back on the subject page.
TEST_F(MainWindow, ChosenSubjectListsItsCoursesAndStaysChosen) {
  addSubjects(env);
  w = std::make_unique<frmCorvina>();
  const struct { int subject; QStringList courses; } rows[] = {
      {1, {"10", "12"}}, {5, {}}, {2, {"11"}}, {0, {"10", "11", "12"}}, {-3, {"10", "11", "12"}}};
  for (const auto& row : rows) {
    tab("tabCourse")->setCurrentIndex(1);
    chooseSubject(row.subject);
    EXPECT_EQ(tab("tabMain")->currentIndex() + tab("tabCourse")->currentIndex(), 1) << row.subject;
    EXPECT_EQ(column(w->sprCourse(), 0), row.courses) << row.subject;
    tab("tabMain")->setCurrentIndex(0);
    EXPECT_EQ(w->nSubjectID(), row.subject);
  }
  chooseSubject(1);
  EXPECT_EQ(column(w->sprCourse(), 1) + column(w->sprCourse(), 2), QStringList({"线性代数", "微积分", "矩阵", ""}));
  EXPECT_FALSE(w->sprCourse()->item(1, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(ui->shown.empty());
  // Without a selected subject the course page stays closed: the tab says why, the button nothing.
  for (const bool anySubject : {true, false}) {
    if (!anySubject) env.exec("delete from Subject");
    w = std::make_unique<frmCorvina>();
    button("cmdSelectCourse")->click();
    tab("tabMain")->setCurrentIndex(1);
    EXPECT_EQ(tab("tabMain")->currentIndex(), 0);
  }
  EXPECT_EQ(ui->prompts(), QStringList(2, QStringLiteral("没有选定任何专业！")));
  EXPECT_EQ(ui->shown[1].title, "专业选择");
}

// A failed read is logged and shown, keeps the rows read so far, and the window stays usable.
TEST_F(MainWindow, FailedReadsAreLoggedAndShownAndTheWindowStaysUsable) {
  const struct { const char* fault; const char* procedure; QStringList subjects; } rows[] = {
      {"null name", "RefreshSubject", {"旧专业", "全部", "数学", "物理"}},
      {"unreachable", "RefreshSubject", {}},
      {"no course table", "RefreshCourse", {"旧专业", "全部", "数学", "物理", "化学"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    const TestEnv rowEnv;
    auto ui = std::make_shared<ScriptedInteraction>();
    ScopedInteraction scope(ui);
    addSubjects(rowEnv, row.subjects.size() == 4 ? "NULL" : "'化学'");
    if (row.subjects.isEmpty()) rowEnv.useSystemDb("Driver=SQLite3;Database=" + rowEnv.path("gone/missing.db"));
    w = std::make_unique<frmCorvina>();
    if (row.subjects.size() == 5) {
      rowEnv.exec("drop table Course");
      chooseSubject(1);
      EXPECT_EQ(tab("tabMain")->currentIndex(), 1);
      tab("tabMain")->setCurrentIndex(0);
    }
    EXPECT_EQ(column(w->sprSubject(), 1).mid(0, row.subjects.size()), row.subjects);
    EXPECT_EQ(tab("tabMain")->currentIndex(), 0);
    ASSERT_EQ(ui->shown.size(), 1u);
    EXPECT_EQ(ui->shown[0].title, ErrorTitle());
    EXPECT_TRUE(ui->shown[0].prompt.contains(QString("Procedure:") + row.procedure));
    EXPECT_EQ(ui->shown[0].prompt.contains("missing.db"), row.subjects.isEmpty());
    EXPECT_TRUE(errorLog().contains(QString("Procedure:\t%1\r\nModule:\t\tfrmCorvina\r\n").arg(row.procedure)));
    w.reset();
  }
}

TEST_F(MainWindow, ReturnButtonsCloseTheWindowAndAboutNamesTheVersionsInUse) {
  for (const char* name : {"cmdReturn_0", "cmdReturn_1"}) {
    w = std::make_unique<frmCorvina>();
    w->show();
    button(name)->click();
    EXPECT_FALSE(w->isVisible()) << name;
  }
  const QString about = AboutText();
  for (const QString& expected : {QStringLiteral("Corvina " CORVINA_VERSION_TEXT), QString::fromLatin1(qVersion()),
                                  QStringLiteral("libmdb"), QStringLiteral("QSQLITE"),
                                  Connection::connectValue(ConnectionSettings::connectionString(), "Driver")})
    EXPECT_TRUE(about.contains(expected)) << expected.toStdString();
  // Only the driver of the stored connection: never its database or password.
  EXPECT_FALSE(about.contains("Database=", Qt::CaseInsensitive) || about.contains("Pwd=", Qt::CaseInsensitive));
}

// Whatever LANG says, Qt's own buttons read as the program's messages name them.
TEST(AppSetup, QtsOwnButtonsAndDialogsSpeakChinese) {
  PrepareApplication(uiTestApp());
  QMessageBox box;
  QStringList captions;
  for (const auto button : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No})
    captions << box.addButton(button)->text().left(1);
  EXPECT_EQ(captions, QStringList({"确", "取", "是", "否"}));
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

// Entries are appended, six CR LF lines each, the description unchanged; the error is shown unless
// quiet, after a note when the log cannot be written.
TEST(ErrorLog, EntriesAreAppendedAndTheErrorShownUnlessQuiet) {
  for (const bool unwritable : {false, true}) {
    TestEnv env;
    // A folder in the log's place cannot be opened for writing, whoever runs the test.
    if (unwritable) QDir().mkpath(AppPaths::errorLogFile());
    auto ui = std::make_shared<ScriptedInteraction>();
    ScopedInteraction scope(ui);
    LogError("frmCorvina", "RefreshSubject", -2147467259, "no such table: SUBJECT", true);
    const QString first = errorLog();
    LogError("m", "p", 5, "line one\r\nline two", false);
    ASSERT_EQ(ui->shown.size(), unwritable ? 3u : 1u);
    EXPECT_EQ(ui->shown.back().prompt, "Error:line one\r\nline two\r\n\r\nModule:m\r\nProcedure:p\r\n");
    EXPECT_EQ(ui->shown.back().flags, Vb::OKOnly | Vb::Critical);
    EXPECT_EQ(ui->shown.back().title, ErrorTitle());
    if (unwritable) continue;
    QStringList lines = errorLog().split("\r\n");
    EXPECT_TRUE(lines.join("\r\n").startsWith(first));
    ASSERT_EQ(lines.size(), 14);
    for (int stamp : {0, 6}) {
      EXPECT_TRUE(lines[stamp].startsWith("**** Error Encountered ") && lines[stamp].endsWith(" ****")) << stamp;
      lines[stamp] = "stamp";
    }
    EXPECT_EQ(lines, (QStringList{"stamp", "Error Code:\t-2147467259", "Description:\tno such table: SUBJECT",
                                  "Procedure:\tRefreshSubject", "Module:\t\tfrmCorvina", "", "stamp", "Error Code:\t5",
                                  "Description:\tline one", "line two", "Procedure:\tp", "Module:\t\tm", "", ""}));
  }
}

TEST(SplitFileList, AFolderAndNamesGiveOnePathPerName) {
  const struct { const char* text; QStringList paths; } rows[] = {
      {"/data/banks/math.mdb", {"/data/banks/math.mdb"}}, {"/data/banks a.mdb b.mdb", {"/data/banks/a.mdb", "/data/banks/b.mdb"}},
      {"/ a.mdb b.mdb", {"/a.mdb", "/b.mdb"}}, {"", {}}, {"/data/my banks.mdb", {"/data/my/banks.mdb"}},
      {"/d a.mdb  b.mdb", {"/d/a.mdb", "/d/", "/d/b.mdb"}}};
  for (const auto& row : rows) EXPECT_EQ(SplitFileList(row.text), row.paths) << row.text;
}

TEST(SafeFileName, SlashesNulAndDotNamesBecomeUnderscores) {
  const QString rows[][2] = {{"数据结构", "数据结构"}, {"../etc/passwd", ".._etc_passwd"}, {QString("a") + QChar(0) + "b", "a_b"},
                             {".", "_"}, {"..", "_"}, {"O'Brien 的课程", "O'Brien 的课程"}};
  for (const auto& row : rows) EXPECT_EQ(SafeFileName(row[0]), row[1]) << row[0].toStdString();
}

}  // namespace
