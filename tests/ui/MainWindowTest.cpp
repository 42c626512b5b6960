#include <gtest/gtest.h>

#include <QFile>
#include <QKeyEvent>
#include <QScreen>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>

#include "Version.h"
#include "core/AppPaths.h"
#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/AboutBox.h"
#include "ui/TransferFrame.h"
#include "ui/X11Window.h"
#include "ui/frmCorvina.h"
#include "core/modInputOutput.h"
#include "ui/UiTestApp.h"

namespace {

const QString NoSubject = QStringLiteral("没有选定任何专业！");

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override { uiTestApp(); }

  std::unique_ptr<frmCorvina> open() { return std::make_unique<frmCorvina>(); }
  static QTabWidget* tabMain(frmCorvina& w) { return w.findChild<QTabWidget*>("tabMain"); }
  static QTabWidget* tabCourse(frmCorvina& w) { return w.findChild<QTabWidget*>("tabCourse"); }
  static void click(frmCorvina& w, const char* name) { w.findChild<QPushButton*>(name)->click(); }
  // The user picks a subject row and opens the course page.
  static void chooseSubject(frmCorvina& w, int row) {
    w.sprSubject()->selectRow(row - 1);
    tabMain(w)->setCurrentIndex(1);
  }
  static QString log() {
    QFile f(AppPaths::errorLogFile());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }

  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
};

TEST_F(MainWindow, LoadsWithCaptionPagesAndButtons) {
  auto w = open();
  EXPECT_EQ(w->windowTitle(), "Yarrow考试系统-[课程导入]");
  ASSERT_EQ(tabMain(*w)->count(), 2);
  EXPECT_EQ(tabMain(*w)->tabText(0), " 专业管理 ");
  EXPECT_EQ(tabMain(*w)->tabText(1), " 课程管理 ");
  EXPECT_EQ(tabMain(*w)->currentIndex(), 0);
  EXPECT_EQ(tabCourse(*w)->tabText(0), "课程选择");
  EXPECT_EQ(w->Frame3()->title(), "课程导入导出");
  EXPECT_EQ(w->findChild<QPushButton*>("cmdReturn_0")->text(), "退出(&X)");
  EXPECT_EQ(w->findChild<QPushButton*>("cmdReturn_1")->text(), "返回(&R)");
  EXPECT_EQ(w->findChild<QPushButton*>("cmdSelectCourse")->text(), "课程选择(&S)");
  EXPECT_EQ(w->sprSubject()->horizontalHeaderItem(0)->text(), "专业名称");
  EXPECT_EQ(w->sprSubject()->horizontalHeaderItem(1)->text(), "描述");
  EXPECT_TRUE(ui->shown.empty());
}

TEST_F(MainWindow, FirstShownWhollyInsideTheScreenAndTabLeavesTheGrid) {
  env.exec("insert into Subject (SubjectID,name,description) values (4,'数学','高等数学')");
  auto w = open();
  w->show();
  w->activateWindow();
  EXPECT_TRUE(w->screen()->availableGeometry().contains(w->frameGeometry()));
  w->sprSubject()->setCurrentCell(0, 0);
  w->sprSubject()->setFocus();
  QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(w->sprSubject(), &tab);
  EXPECT_EQ(w->focusWidget(), w->findChild<QPushButton*>("cmdSelectCourse"));
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

TEST_F(MainWindow, EmptySubjectTableLeavesOnlyTheHeaderAndKeepsTheUserOnTheSubjectPage) {
  auto w = open();
  EXPECT_EQ(w->sprSubject()->rowCount(), 0);
  tabMain(*w)->setCurrentIndex(1);
  EXPECT_EQ(tabMain(*w)->currentIndex(), 0);
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].prompt, NoSubject);
  EXPECT_EQ(ui->shown[0].title, "专业选择");
  EXPECT_EQ(ui->shown[0].flags, Vb::OKOnly);
}

TEST_F(MainWindow, SubjectsShowIdsNamesAndLockedCellsWithMissingDescriptionsEmpty) {
  env.exec("insert into Subject (SubjectID,name,description) values (4,'数学','高等数学')");
  env.exec("insert into Subject (SubjectID,name,description) values (9,'物理',NULL)");
  auto w = open();
  QTableWidget* grid = w->sprSubject();
  ASSERT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(frmCorvina::CellText(grid, 0, 1), "4");
  EXPECT_EQ(frmCorvina::CellText(grid, 1, 1), "数学");
  EXPECT_EQ(frmCorvina::CellText(grid, 2, 1), "高等数学");
  EXPECT_EQ(frmCorvina::CellText(grid, 0, 2), "9");
  EXPECT_EQ(frmCorvina::CellText(grid, 2, 2), "");
  EXPECT_FALSE(grid->item(0, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_FALSE(grid->item(1, 1)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(grid->isVisible() || !w->isVisible());
  EXPECT_EQ(frmCorvina::ActiveRow(grid), 0);
}

TEST_F(MainWindow, LeavingTheSubjectPageWithoutSelectionShowsTheMessageAndStays) {
  env.exec("insert into Subject (SubjectID,name) values (1,'数学')");
  auto w = open();
  tabMain(*w)->setCurrentIndex(1);
  EXPECT_EQ(tabMain(*w)->currentIndex(), 0);
  EXPECT_EQ(ui->prompts(), QStringList{NoSubject});
}

TEST_F(MainWindow, ChosenSubjectListsItsCoursesWithMissingDescriptionsEmpty) {
  env.exec("insert into Subject (SubjectID,name) values (1,'数学')");
  env.exec("insert into Subject (SubjectID,name) values (2,'物理')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name,Description) values (10,1,'线性代数','矩阵')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name,Description) values (11,2,'力学','牛顿')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name,Description) values (12,1,'微积分',NULL)");
  auto w = open();
  tabCourse(*w)->setCurrentIndex(1);
  chooseSubject(*w, 1);
  EXPECT_EQ(tabMain(*w)->currentIndex(), 1);
  EXPECT_EQ(tabCourse(*w)->currentIndex(), 0);
  EXPECT_EQ(w->nSubjectID(), 1);
  QTableWidget* grid = w->sprCourse();
  ASSERT_EQ(grid->rowCount(), 2);
  EXPECT_EQ(grid->horizontalHeaderItem(0)->text(), "课程名称");
  EXPECT_EQ(frmCorvina::CellText(grid, 0, 1), "10");
  EXPECT_EQ(frmCorvina::CellText(grid, 1, 1), "线性代数");
  EXPECT_EQ(frmCorvina::CellText(grid, 2, 1), "矩阵");
  EXPECT_EQ(frmCorvina::CellText(grid, 0, 2), "12");
  EXPECT_EQ(frmCorvina::CellText(grid, 2, 2), "");
  EXPECT_FALSE(grid->item(1, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(ui->shown.empty());
}

TEST_F(MainWindow, SubjectWithoutCoursesGivesAnEmptyCourseGrid) {
  env.exec("insert into Subject (SubjectID,name) values (1,'数学')");
  env.exec("insert into Subject (SubjectID,name) values (2,'化学')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name) values (10,1,'线性代数')");
  auto w = open();
  chooseSubject(*w, 2);
  EXPECT_EQ(w->nSubjectID(), 2);
  EXPECT_EQ(w->sprCourse()->rowCount(), 0);
}

TEST_F(MainWindow, SubjectIdZeroOrBelowListsAllCourses) {
  env.exec("insert into Subject (SubjectID,name) values (0,'全部')");
  env.exec("insert into Subject (SubjectID,name) values (-3,'旧专业')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name) values (10,1,'线性代数')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name) values (11,2,'力学')");
  auto w = open();
  for (int row = 1; row <= 2; ++row) {
    tabMain(*w)->setCurrentIndex(0);
    chooseSubject(*w, row);
    EXPECT_LE(w->nSubjectID(), 0);
    EXPECT_EQ(w->sprCourse()->rowCount(), 2) << "subject row " << row;
  }
}

TEST_F(MainWindow, SelectCourseButtonNeedsASelectedSubject) {
  env.exec("insert into Subject (SubjectID,name) values (5,'数学')");
  auto w = open();
  click(*w, "cmdSelectCourse");
  EXPECT_EQ(tabMain(*w)->currentIndex(), 0);
  EXPECT_TRUE(ui->shown.empty());
  w->sprSubject()->selectRow(0);
  click(*w, "cmdSelectCourse");
  EXPECT_EQ(tabMain(*w)->currentIndex(), 1);
  EXPECT_EQ(w->nSubjectID(), 5);
}

TEST_F(MainWindow, SubjectStaysChosenWhileMovingBetweenPages) {
  env.exec("insert into Subject (SubjectID,name) values (5,'数学')");
  env.exec("insert into Course (CourseID,KeySubjectID,Name) values (10,5,'线性代数')");
  auto w = open();
  chooseSubject(*w, 1);
  tabMain(*w)->setCurrentIndex(0);
  EXPECT_EQ(tabMain(*w)->currentIndex(), 0);
  EXPECT_EQ(w->nSubjectID(), 5);
  EXPECT_TRUE(ui->shown.empty());
}

TEST_F(MainWindow, ResizingFollowsTheRuleExceptWhenMinimized) {
  auto w = open();
  w->show();
  const int tpp = w->TwipsPerPixel();
  w->resize(900, 700);
  const QSize outer = w->frameGeometry().size();
  EXPECT_EQ(tabMain(*w)->width(), (outer.width() * tpp - 100) / tpp);
  EXPECT_EQ(tabMain(*w)->height(), (outer.height() * tpp - 400) / tpp);
  EXPECT_EQ(tabCourse(*w)->width(), (outer.width() * tpp - 600) / tpp);

  const QSize before = tabMain(*w)->size();
  w->setWindowState(Qt::WindowMinimized);
  w->resize(500, 400);
  EXPECT_EQ(tabMain(*w)->size(), before);
}

TEST_F(MainWindow, SubjectRefreshFailureIsLoggedShownAndKeepsTheRowsSoFar) {
  env.exec("insert into Subject (SubjectID,name) values (1,'数学')");
  env.exec("insert into Subject (SubjectID,name) values (2,'物理')");
  env.exec("insert into Subject (SubjectID,name) values (3,NULL)");
  env.exec("insert into Subject (SubjectID,name) values (4,'化学')");
  auto w = open();
  EXPECT_EQ(frmCorvina::CellText(w->sprSubject(), 1, 1), "数学");
  EXPECT_EQ(frmCorvina::CellText(w->sprSubject(), 1, 2), "物理");
  EXPECT_EQ(frmCorvina::CellText(w->sprSubject(), 1, 4), "");
  EXPECT_FALSE(w->sprSubject()->isHidden());
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].title, ErrorTitle());
  EXPECT_TRUE(ui->shown[0].prompt.contains("Procedure:RefreshSubject"));
  EXPECT_TRUE(log().contains("Procedure:\tRefreshSubject\r\nModule:\t\tfrmCorvina\r\n"));
}

TEST_F(MainWindow, UnreachableDatabaseIsLoggedWhenTheSubjectsAreRead) {
  env.useSystemDb("Driver=SQLite3;Database=" + env.path("gone/missing.db"));
  auto w = open();
  EXPECT_EQ(w->sprSubject()->rowCount(), 0);
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_TRUE(ui->shown[0].prompt.contains("missing.db"));
  EXPECT_TRUE(log().contains("Procedure:\tRefreshSubject"));
}

TEST_F(MainWindow, CourseRefreshFailureIsLoggedAndTheWindowStaysUsable) {
  env.exec("insert into Subject (SubjectID,name) values (1,'数学')");
  auto w = open();
  env.exec("drop table Course");
  chooseSubject(*w, 1);
  EXPECT_EQ(tabMain(*w)->currentIndex(), 1);
  ASSERT_EQ(ui->shown.size(), 1u);
  EXPECT_TRUE(ui->shown[0].prompt.contains("Procedure:RefreshCourse"));
  EXPECT_TRUE(log().contains("Procedure:\tRefreshCourse"));
  EXPECT_FALSE(w->sprCourse()->isHidden());
  tabMain(*w)->setCurrentIndex(0);
  EXPECT_EQ(tabMain(*w)->currentIndex(), 0);
}

TEST_F(MainWindow, ReturnButtonsCloseTheWindow) {
  for (const char* name : {"cmdReturn_0", "cmdReturn_1"}) {
    auto w = open();
    w->show();
    click(*w, name);
    EXPECT_FALSE(w->isVisible()) << name;
  }
}

}  // namespace

namespace {
TEST(ExamSystemWindowElsewhere, NothingIsDoneOutsideX11) {
  uiTestApp();
  ASSERT_NE(QGuiApplication::platformName(), "xcb");
  EXPECT_FALSE(X11Window::RestoreCentred(QStringLiteral("Yarrow考试系统")));
}
}  // namespace
