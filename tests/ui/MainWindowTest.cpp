#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
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
#include "ui/TransferFrame.h"
#include "ui/UiTestApp.h"
#include "ui/frmCorvina.h"

namespace {

const QString NoSubject = QStringLiteral("没有选定任何专业！");

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { uiTestApp(); }
  // Into the system database of the newest TestEnv.
  static void addSubjects(const TestEnv& env, const char* lastName = "'化学'") {
    // In ID order, which is also the order both backends list them in.
    env.exec("insert into Subject (SubjectID,name) values (-3,'旧专业')");
    env.exec("insert into Subject (SubjectID,name) values (0,'全部')");
    env.exec("insert into Subject (SubjectID,name,description) values (1,'数学','高等数学')");
    env.exec("insert into Subject (SubjectID,name,description) values (2,'物理',NULL)");
    env.exec(QStringLiteral("insert into Subject (SubjectID,name) values (5,%1)").arg(lastName));
    env.exec("insert into Course (CourseID,KeySubjectID,Name,Description) values (10,1,'线性代数','矩阵')");
    env.exec("insert into Course (CourseID,KeySubjectID,Name,Description) values (11,2,'力学','牛顿')");
    env.exec("insert into Course (CourseID,KeySubjectID,Name,Description) values (12,1,'微积分',NULL)");
  }
  QTabWidget* tabMain() const { return w->findChild<QTabWidget*>("tabMain"); }
  QTabWidget* tabCourse() const { return w->findChild<QTabWidget*>("tabCourse"); }
  QPushButton* button(const char* name) const { return w->findChild<QPushButton*>(name); }
  // The user picks the subject of this ID and opens the course page.
  void chooseSubject(int id) {
    tabMain()->setCurrentIndex(0);
    for (int row = 1; row <= w->sprSubject()->rowCount(); ++row)
      if (frmCorvina::CellText(w->sprSubject(), 0, row) == QString::number(id)) w->sprSubject()->selectRow(row - 1);
    tabMain()->setCurrentIndex(1);
  }
  QStringList column(QTableWidget* grid, int col) const {
    QStringList cells;
    for (int row = 1; row <= grid->rowCount(); ++row) cells << frmCorvina::CellText(grid, col, row);
    return cells;
  }
  static QString log() {
    QFile f(AppPaths::errorLogFile());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
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
  EXPECT_EQ(w->windowTitle(), "Yarrow考试系统-[课程导入]");
  EXPECT_EQ(QStringList({tabMain()->tabText(0), tabMain()->tabText(1), tabCourse()->tabText(0)}),
            QStringList({" 专业管理 ", " 课程管理 ", "课程选择"}));
  EXPECT_EQ(w->Frame3()->title(), "课程导入导出");
  EXPECT_EQ(QStringList({button("cmdReturn_0")->text(), button("cmdReturn_1")->text(), button("cmdSelectCourse")->text()}),
            QStringList({"退出(&X)", "返回(&R)", "课程选择(&S)"}));
  EXPECT_EQ(w->sprSubject()->horizontalHeaderItem(1)->text(), "描述");
  // Subjects with IDs, names and descriptions (a missing one empty), none editable.
  EXPECT_EQ(column(w->sprSubject(), 1).mid(2, 2), QStringList({"数学", "物理"}));
  EXPECT_EQ(column(w->sprSubject(), 2).mid(2, 2), QStringList({"高等数学", ""}));
  EXPECT_FALSE(w->sprSubject()->item(1, 1)->flags() & Qt::ItemIsEditable);

  w->sprSubject()->setCurrentCell(0, 0);
  w->sprSubject()->setFocus();
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(w->sprSubject(), &tab);
  EXPECT_EQ(w->focusWidget(), button("cmdSelectCourse"));
  EXPECT_TRUE(ui->shown.empty());
}

TEST_F(MainWindow, AboutNamesTheVersionsAUserReportsAProblemWith) {
  const QString text = AboutText();
  const QString driverInUse = Connection::connectValue(ConnectionSettings::connectionString(), "Driver");
  for (const QString& expected : {QStringLiteral("Corvina " CORVINA_VERSION_TEXT), QString::fromLatin1(qVersion()),
                                  QStringLiteral("libmdb"), QStringLiteral("QSQLITE"), driverInUse})
    EXPECT_TRUE(text.contains(expected)) << expected.toStdString();
  // Only the driver of the stored connection: never its database or password.
  EXPECT_FALSE(text.contains("Database=", Qt::CaseInsensitive));
  EXPECT_FALSE(text.contains("Pwd=", Qt::CaseInsensitive));
}

// A subject lists its own courses; one of ID 0 or below lists them all.
TEST_F(MainWindow, ChosenSubjectListsItsCoursesAndStaysChosen) {
  addSubjects(env);
  w = std::make_unique<frmCorvina>();
  const struct { int subject; QStringList courses; } rows[] = {
      {1, {"10", "12"}}, {5, {}}, {2, {"11"}}, {0, {"10", "11", "12"}}, {-3, {"10", "11", "12"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.subject);
    tabCourse()->setCurrentIndex(1);
    chooseSubject(row.subject);
    EXPECT_EQ(tabMain()->currentIndex(), 1);
    EXPECT_EQ(tabCourse()->currentIndex(), 0);
    EXPECT_EQ(w->nSubjectID(), row.subject);
    EXPECT_EQ(column(w->sprCourse(), 0), row.courses);
    tabMain()->setCurrentIndex(0);
    EXPECT_EQ(w->nSubjectID(), row.subject);
  }
  chooseSubject(1);
  EXPECT_EQ(column(w->sprCourse(), 1), QStringList({"线性代数", "微积分"}));
  EXPECT_EQ(column(w->sprCourse(), 2), QStringList({"矩阵", ""}));
  EXPECT_FALSE(w->sprCourse()->item(1, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(ui->shown.empty());
}

// Without a selected subject the course page stays closed: the tab says why, the button nothing.
TEST_F(MainWindow, WithoutASelectedSubjectTheCoursePageStaysClosed) {
  const struct { bool subjects, byButton; QStringList prompts; } rows[] = {
      {false, false, {NoSubject}}, {true, false, {NoSubject}}, {true, true, {}}};
  bool added = false;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.subjects * 2 + row.byButton);
    if (row.subjects && !added) addSubjects(env);
    added = row.subjects;
    ui->shown.clear();
    w = std::make_unique<frmCorvina>();
    row.byButton ? button("cmdSelectCourse")->click() : tabMain()->setCurrentIndex(1);
    EXPECT_EQ(tabMain()->currentIndex(), 0);
    EXPECT_EQ(ui->prompts(), row.prompts);
    if (!row.prompts.isEmpty()) {
      EXPECT_EQ(ui->shown[0].title, "专业选择");
    }
  }
  w->sprSubject()->selectRow(0);
  button("cmdSelectCourse")->click();
  EXPECT_EQ(tabMain()->currentIndex(), 1);
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
      EXPECT_EQ(tabMain()->currentIndex(), 1);
      tabMain()->setCurrentIndex(0);
    }
    EXPECT_EQ(column(w->sprSubject(), 1).mid(0, row.subjects.size()), row.subjects);
    EXPECT_EQ(tabMain()->currentIndex(), 0);
    ASSERT_EQ(ui->shown.size(), 1u);
    EXPECT_EQ(ui->shown[0].title, ErrorTitle());
    EXPECT_TRUE(ui->shown[0].prompt.contains(QString("Procedure:") + row.procedure));
    if (row.subjects.isEmpty()) {
      EXPECT_TRUE(ui->shown[0].prompt.contains("missing.db"));
    }
    EXPECT_TRUE(log().contains(QString("Procedure:\t%1\r\nModule:\t\tfrmCorvina\r\n").arg(row.procedure)));
    w.reset();
  }
}

TEST_F(MainWindow, ReturnButtonsCloseTheWindow) {
  for (const char* name : {"cmdReturn_0", "cmdReturn_1"}) {
    w = std::make_unique<frmCorvina>();
    w->show();
    button(name)->click();
    EXPECT_FALSE(w->isVisible()) << name;
  }
}

}  // namespace
