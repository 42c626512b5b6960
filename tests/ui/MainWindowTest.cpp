#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTableWidget>

#include "core/AppPaths.h"
#include "core/modInputOutput.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "support/UiTestApp.h"
#include "ui/TransferFrame.h"
#include "ui/frmCorvina.h"

namespace {

QString errorLog() {
  return QString::fromUtf8(readFile(AppPaths::errorLogFile()));
}

// The main window over five subjects in ID order (as both backends list them) and three courses.
struct Window {
  explicit Window(const char* lastName = "'化学'") {
    for (const QString& values : {QString("-3,'旧专业',NULL"), QString("0,'全部',NULL"), QString("1,'数学','高等数学'"),
                                  QString("2,'物理',NULL"), QString("5,%1,NULL").arg(lastName)})
      env.exec("insert into Subject (SubjectID,name,description) values (" + values + ")");
    for (const char* values : {"10,1,'线性代数','矩阵'", "11,2,'力学','牛顿'", "12,1,'微积分',NULL"})
      env.exec(QString("insert into Course (CourseID,KeySubjectID,Name,Description) values (%1)").arg(values));
    w = std::make_unique<frmCorvina>();
  }
  QTabWidget* tab(const char* name) const { return w->findChild<QTabWidget*>(name); }
  // The user picks the subject of this ID and opens the course page.
  void choose(int subject) {
    tab("tabMain")->setCurrentIndex(0);
    w->sprSubject()->selectRow(int(column(w->sprSubject(), 0).indexOf(QString::number(subject))));
    tab("tabMain")->setCurrentIndex(1);
  }
  static QStringList column(QTableWidget* grid, int col) {
    QStringList cells;
    for (int row = 1; row <= grid->rowCount(); ++row) cells << frmCorvina::CellText(grid, col, row);
    return cells;
  }

  QApplication& app = uiTestApp();
  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  std::unique_ptr<frmCorvina> w;
};

// A subject lists its own courses, one of ID 0 or below all of them; without a
// selected subject the course page stays closed, the tab saying why.
TEST(MainWindow, ChosenSubjectListsItsCoursesAndNoneKeepsTheCoursePageClosed) {
  Window m;
  m.w->show();
  EXPECT_TRUE(m.w->screen()->availableGeometry().contains(m.w->frameGeometry()));
  EXPECT_EQ(m.w->windowTitle(), "Yarrow考试系统-[课程导入]");
  EXPECT_EQ(m.column(m.w->sprSubject(), 1).mid(2, 2) + m.column(m.w->sprSubject(), 2).mid(2, 2),
            QStringList({"数学", "物理", "高等数学", ""}));
  m.w->findChild<QPushButton*>("cmdSelectCourse")->click();
  m.tab("tabMain")->setCurrentIndex(1);
  EXPECT_EQ(m.tab("tabMain")->currentIndex(), 0);
  ASSERT_EQ(m.ui->prompts(), QStringList(QStringLiteral("没有选定任何专业！")));
  EXPECT_EQ(m.ui->shown[0].title, "专业选择");
  const struct { int subject; QStringList courses; } rows[] = {
      {1, {"10", "12"}}, {5, {}}, {2, {"11"}}, {0, {"10", "11", "12"}}, {-3, {"10", "11", "12"}}};
  for (const auto& row : rows) {
    m.tab("tabCourse")->setCurrentIndex(1);
    m.choose(row.subject);
    EXPECT_EQ(m.tab("tabMain")->currentIndex() + m.tab("tabCourse")->currentIndex(), 1) << row.subject;
    EXPECT_EQ(m.column(m.w->sprCourse(), 0), row.courses) << row.subject;
    m.tab("tabMain")->setCurrentIndex(0);
    EXPECT_EQ(m.w->nSubjectID(), row.subject);  // still chosen back on the subject page
  }
  m.choose(1);
  EXPECT_EQ(m.column(m.w->sprCourse(), 1) + m.column(m.w->sprCourse(), 2), QStringList({"线性代数", "微积分", "矩阵", ""}));
  EXPECT_FALSE(m.w->sprCourse()->item(1, 0)->flags() & Qt::ItemIsEditable);
  EXPECT_EQ(m.ui->shown.size(), 1u);
  for (const char* name : {"cmdReturn_0", "cmdReturn_1"}) {
    m.w->show();
    m.w->findChild<QPushButton*>(name)->click();
    EXPECT_FALSE(m.w->isVisible()) << name;
  }
}

// A failed read is logged and shown, keeps the rows read so far, and the window stays usable.
TEST(MainWindow, FailedReadsAreLoggedAndShownAndTheWindowStaysUsable) {
  const struct { const char* fault; const char* procedure; QStringList subjects; } rows[] = {
      {"NULL", "RefreshSubject", {"旧专业", "全部", "数学", "物理"}},
      {"'unreachable'", "RefreshSubject", {}},
      {"'no course table'", "RefreshCourse", {"旧专业", "全部", "数学", "物理", "no course table"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fault);
    Window m(row.fault);
    if (row.subjects.isEmpty()) {
      m.env.useSystemDb("Driver=SQLite3;Database=" + m.env.path("gone/missing.db"));
      m.w = std::make_unique<frmCorvina>();
    }
    if (row.subjects.size() == 5) {
      m.env.exec("drop table Course");
      m.choose(1);
      EXPECT_EQ(m.tab("tabMain")->currentIndex(), 1);
      m.tab("tabMain")->setCurrentIndex(0);
    }
    EXPECT_EQ(m.column(m.w->sprSubject(), 1).mid(0, row.subjects.size()), row.subjects);
    EXPECT_EQ(m.tab("tabMain")->currentIndex(), 0);
    ASSERT_EQ(m.ui->shown.size(), 1u);
    EXPECT_EQ(m.ui->shown[0].title, ErrorTitle());
    EXPECT_TRUE(m.ui->shown[0].prompt.contains(QString("Procedure:") + row.procedure));
    EXPECT_EQ(m.ui->shown[0].prompt.contains("missing.db"), row.subjects.isEmpty());
    EXPECT_TRUE(errorLog().contains(QString("Procedure:\t%1\r\nModule:\t\tfrmCorvina\r\n").arg(row.procedure)));
  }
}

// Entries are appended, six CR LF lines each, the description unchanged; the
// error is shown unless quiet, after a note when the log cannot be written.
TEST(ErrorLog, EntriesAreAppendedAndTheErrorShownUnlessQuiet) {
  for (const bool unwritable : {false, true}) {
    TestEnv env;
    if (unwritable) QDir().mkpath(AppPaths::errorLogFile());  // a folder cannot be opened for writing, by anyone
    auto ui = std::make_shared<ScriptedInteraction>();
    ScopedInteraction scope(ui);
    LogError("frmCorvina", "RefreshSubject", -1, "no such table: SUBJECT", true);
    LogError("m", "p", 5, "line one\r\nline two", false);
    ASSERT_EQ(ui->shown.size(), unwritable ? 3u : 1u);
    EXPECT_EQ(ui->shown.back().prompt, "Error:line one\r\nline two\r\n\r\nModule:m\r\nProcedure:p\r\n");
    EXPECT_EQ(ui->shown.back().style, MessageStyle{MessageKind::Error});
    EXPECT_EQ(ui->shown.back().title, ErrorTitle());
    EXPECT_TRUE(QRegularExpression("^\\*{4} Error Encountered .+ \\*{4}\r\nError Code:\t-1\r\nDescription:\tno such "
                                   "table: SUBJECT\r\nProcedure:\tRefreshSubject\r\nModule:\t\tfrmCorvina\r\n\r\n\\*{4} Error "
                                   "Encountered .+ \\*{4}\r\nError Code:\t5\r\nDescription:\tline one\r\nline two\r\n"
                                   "Procedure:\tp\r\nModule:\t\tm\r\n\r\n$").match(errorLog()).hasMatch() != unwritable);
  }
}

// The controls of both pages lie inside the window at every size it can take,
// and the grids, not the margins, take what the window gains.
TEST(MainWindow, EveryControlStaysReachableAndTheGridsTakeTheRoom) {
  Window m;
  m.w->show();
  m.choose(1);
  const QSize least = m.w->minimumSizeHint();
  const struct { const char* name; QSize size; } rows[] = {
      {"the smallest it can be", least}, {"smaller than that, held at the minimum", least / 2},
      {"the first size", m.w->size()}, {"a large screen", QSize(1600, 1100)}};
  QList<int> gridHeights;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    m.w->resize(row.size);
    QCoreApplication::processEvents();
    for (int course = 0; course < 2; ++course) {
      m.tab("tabCourse")->setCurrentIndex(course);
      for (int page = 0; page < 2; ++page) {
        m.tab("tabMain")->setCurrentIndex(page);
        for (QWidget* control : m.w->findChildren<QWidget*>()) {
          if (!control->isVisible() || control->objectName().isEmpty() || control->objectName().startsWith("qt_")) continue;
          const QRect inWindow(control->mapTo(m.w.get(), QPoint(0, 0)), control->size());
          EXPECT_TRUE(m.w->rect().contains(inWindow)) << control->objectName().toStdString();
          EXPECT_FALSE(control->size().isEmpty()) << control->objectName().toStdString();
        }
      }
    }
    m.tab("tabMain")->setCurrentIndex(0);
    gridHeights << m.w->sprSubject()->height();
  }
  EXPECT_EQ(gridHeights[0], gridHeights[1]);
  EXPECT_LT(gridHeights[2], gridHeights[3]);
  EXPECT_GT(m.w->sprSubject()->width(), m.w->width() * 3 / 4);
}

// Double-click or Enter on a subject opens its courses; the course page names
// the subject and the single export the selected course.
TEST(MainWindow, ASubjectOpensByDoubleClickOrEnterAndThePagesSayWhatIsChosen) {
  const struct { const char* how; int subject; QString label; } rows[] = {
      {"enter", 1, "专业：数学"}, {"double-click", 2, "专业：物理"}, {"enter", 0, "专业：全部"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.how);
    Window m;
    QTableWidget* grid = m.w->sprSubject();
    grid->selectRow(int(m.column(grid, 0).indexOf(QString::number(row.subject))));
    if (QString(row.how) == "enter") {
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(grid, &enter);
    } else {
      emit grid->doubleClicked(grid->currentIndex());
    }
    EXPECT_EQ(m.tab("tabMain")->currentIndex(), 1);
    EXPECT_EQ(m.w->nSubjectID(), row.subject);
    EXPECT_EQ(m.w->findChild<QLabel*>("lblSubject")->text(), row.label);
    TransferFrame* frame = m.w->Frame3();
    frame->cboAction->setCurrentIndex(4);  // 导    出
    emit frame->cboAction->activated(4);
    EXPECT_TRUE(frame->lblTips->text().endsWith("（未选择课程）"));
    m.w->sprCourse()->selectRow(0);
    EXPECT_TRUE(frame->lblTips->text().endsWith("将导出课程：" + frmCorvina::CellText(m.w->sprCourse(), 1, 1)));
  }
}

// Size and place come back on the next start, from the user's settings.
TEST(MainWindow, SizeAndPlaceAreRememberedForTheNextStart) {
  const QSize sizes[] = {QSize(700, 500), QSize(900, 650)};
  for (const QSize& size : sizes) {
    Window m;
    m.w->show();
    const QSize first = m.w->size();
    m.w->resize(size);
    QCoreApplication::processEvents();
    ASSERT_TRUE(m.w->close());
    frmCorvina again;
    EXPECT_EQ(again.size(), size);
    EXPECT_NE(again.size(), first);
  }
}

TEST(SplitFileList, AFolderAndNamesGiveOnePathPerName) {
  const struct { const char* text; QStringList paths; } rows[] = {
      {"/data/banks/math.mdb", {"/data/banks/math.mdb"}}, {"/data/banks a.mdb b.mdb", {"/data/banks/a.mdb", "/data/banks/b.mdb"}},
      {"/ a.mdb b.mdb", {"/a.mdb", "/b.mdb"}}, {"", {}}, {"/data/my banks.mdb", {"/data/my/banks.mdb"}},
      {"/d a.mdb  b.mdb", {"/d/a.mdb", "/d/", "/d/b.mdb"}}};
  for (const auto& row : rows) EXPECT_EQ(SplitFileList(row.text), row.paths) << row.text;
}

}  // namespace
