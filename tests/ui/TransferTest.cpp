#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QUrl>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "export/CExport.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/TransferFrame.h"
#include "support/UiTestApp.h"
#include "ui/frmCorvina.h"

namespace {

const QString Succeeded = QStringLiteral("导入操作成功");
const QString NoCourse = QStringLiteral("请先选择课程");
const QString NoCourses = QStringLiteral("没有可导出的课程");
const QString ImportCancelled = QStringLiteral("导入已取消，系统数据库没有改动。");
enum Action { Import, AutoImport, ImportSeveral, ImportFolder, Export, ExportAll, UpdateCourse };  // as listed

// onAsk acts while the worker waits for an answer; mapping forms are paired by name and finished from the
// window's thread (their buttons run in the worker, where the import's connections live).
struct Observing : ScriptedInteraction {
  std::function<void(Question)> onAsk;
  bool cancelMapping = false;
  QStringList steps;  // "k/n" of each mapping step shown
  Answer Ask(Question question, const QString& argument) override {
    if (onAsk) onAsk(question);
    return ScriptedInteraction::Ask(question, argument);
  }
  void ShowMappingDialog(MappingModel& form) override {
    steps << QString("%1/%2").arg(form.nStepNumber).arg(form.nStepCount);
    if (cancelMapping) return form.press(&MappingModel::cancel);
    form.press(&MappingModel::pairByName);
    form.press(&MappingModel::finish);
  }
};

// The main window over a demo database, dialogs scripted; the program folder one level down owns the export folder.
struct Desk {
  Desk() {
    uiTestApp();
    QDir().mkpath(env.path("prog"));
    QFile::copy(env.path("Template.mdb"), env.path("prog/Template.mdb"));
    QFile::copy(env.path("odbc.ini"), env.path("prog/odbc.ini"));
    qputenv("CORVINA_HOME", env.path("prog").toUtf8());
    CDataAccess dal;
    DemoData::create(dal, DemoData::SmallCourseProblems);
  }
  QString exportFolder() const { return QFileInfo(env.path("QuornBanks")).canonicalFilePath(); }
  QString courseName(int id) const { return env.scalar(QString("select Name from Course where CourseID=%1").arg(id)).toString(); }
  QString exportCourse(int id, QString file) const {
    EXPECT_TRUE(CExport(*ui).ExportCourseData(file, id).succeeded());
    return file;
  }
  void useSystemDb(const QString& connect) const {
    QFile f(env.path("prog/odbc.ini"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("[ODBC]\r\nConnectionString=" + connect.toUtf8() + "\r\n");
  }
  // The system database refuses the course of this code, as a full disk would.
  void refuse(const QString& code) const {
    const QString refusal = "if NEW.CourseCode = '" + code + "' then raise exception 'disk quota exceeded'; end if;";
    if (!TestEnv::onPostgres())
      return env.exec("create trigger refuse before insert on Course when NEW.CourseCode = '" + code +
                      "' begin select raise(abort, 'disk quota exceeded'); end");
    env.exec("create function refuse() returns trigger as $$ begin " + refusal + " return NEW; end $$ language plpgsql");
    env.exec("create trigger refuse before insert on Course for each row execute function refuse()");
  }
  QStringList courseNames() const {
    QStringList names;
    CDataAccess dal;
    Bulk::Query rows = dal.OpenQuery("select Name from Course");
    while (rows.next()) names << rows.value(0).toString();
    names.sort();
    return names;
  }
  void open(int action) {
    window = std::make_unique<frmCorvina>();
    frame = window->Frame3();
    frame->dialogs.openMdbFile = [this](bool several) { return (openedSeveral << several, nextFile); };
    frame->dialogs.browseFolder = [this](const QString& title, const QString& initial) {
      return (browsed << QStringList{title, initial}, nextFolder);
    };
    frame->dialogs.saveMdbFile = [this](const QString& proposed) {
      proposedFiles << proposed;
      return saveCancelled ? std::nullopt : std::optional<QString>(proposed);
    };
    window->RefreshCourse();
    frame->cboAction->setCurrentIndex(action);
    emit frame->cboAction->activated(action);
  }
  bool fileControlsShown() const { return !frame->txtFileName->isHidden() && !frame->cmdSelectFile->isHidden(); }
  // Runs the action to its end; meanwhile progress replaces the file controls and the action cannot change.
  void run(int selectedCourse = 0) {
    if (selectedCourse) window->sprCourse()->selectRow(selectedCourse - 1);
    frame->cmdIO->click();
    // Nothing of the last run is on show while this one opens its file.
    if (frame->isTransferring()) {
      const bool reads = frame->action() < TransferAction::Export || frame->action() == TransferAction::UpdateCourse;
      EXPECT_EQ(frame->lblIO->text(), reads ? "正在打开文件…" : "正在导出，请等待...");
    }
    while (frame->isTransferring()) {
      EXPECT_TRUE(!frame->lblIO->isHidden() && !frame->ProgressBar1->isHidden() && !fileControlsShown());
      EXPECT_TRUE(!frame->cmdIO->isEnabled() && !frame->cboAction->isEnabled());
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    EXPECT_TRUE(frame->ProgressBar1->isHidden() && frame->cmdCancel->isHidden());
    EXPECT_TRUE(frame->cmdIO->isEnabled() && frame->cboAction->isEnabled());
    EXPECT_EQ(fileControlsShown(), frame->action() < TransferAction::Export ||
                                       frame->action() == TransferAction::UpdateCourse);
  }

  TestEnv env;
  std::shared_ptr<Observing> ui = std::make_shared<Observing>();
  ScopedInteraction scope{ui};
  std::unique_ptr<frmCorvina> window;
  TransferFrame* frame = nullptr;
  QList<bool> openedSeveral;
  QString nextFile, nextFolder;
  QList<QStringList> browsed;
  QStringList proposedFiles;
  bool saveCancelled = false;
};

// Imports into an empty system database: what arrives, and what the window says.
TEST(Transfer, ImportsReportWhatArrivedAndEachFileThatDidNot) {
  const struct {
    const char* name;
    Action action;
    const char* files;  // course:file, | between; course 0: a text file, !: refused by the database, +: an orphan row
    const char* typed;  // @ standing for the files' folder
    std::vector<int> arrives;
    QStringList says;   // in the last message
  } rows[] = {
      {"folder: .mdb in any case, not others nor subfolders", ImportFolder,
       "2:upper.MDB|3:lower.mdb|4:other.txt|5:sub/deeper.mdb", "@", {2, 3}, {Succeeded}},
      {"several: a conflict declined and a file that is none", ImportSeveral, "2:a.mdb|2:b.mdb|0:c.mdb",
       "@ a.mdb b.mdb c.mdb", {2}, {"已导入 1 个文件，共 3 个。", "@/b.mdb：已经存在相同名称的课程", "@/c.mdb："}},
      {"several: the database fails on the first, as on a full disk", ImportSeveral, "!2:first.mdb|3:second.mdb",
       "@ first.mdb second.mdb", {3}, {"已导入 1 个文件，共 2 个。", "@/first.mdb：发生错误：", "disk quota exceeded"}},
      {"one of several, rows left out counted", ImportSeveral, "+2:links.mdb", "@/links.mdb", {2},
       {Succeeded, "ProblemsContents 1"}},
      {"single, paired by hand", Import, "4:by hand.mdb", "@/by hand.mdb", {4}, {Succeeded}},
      {"missing folder", ImportFolder, "", "@/nowhere", {}, {"@/nowhere"}},
      {"missing file", AutoImport, "", "@/missing.mdb", {}, {"@/missing.mdb"}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    const QString dir = d.env.path("in");
    QDir().mkpath(dir + "/sub");
    QString refused;
    for (const QString& entry : QString(row.files).split('|', Qt::SkipEmptyParts)) {
      const QString file = dir + '/' + entry.section(':', 1);
      const int course = entry.section(':', 0, 0).right(1).toInt();
      course ? (void)d.exportCourse(course, file) : (void)QFile::copy(d.env.path("odbc.ini"), file);  // 0: a text file
      if (entry.startsWith('!')) refused = d.env.scalar(QString("select CourseCode from Course where CourseID=%1").arg(course)).toString();
      if (!entry.startsWith('+')) continue;
      CDataAccess exchange{CDataAccess::Unconnected{}};
      exchange.OpenExchangeFile(file, ExchangeAccess::Write);
      exchange.ExecQuery("insert into ProblemsContents (ProblemID,ContentID) values (987654,987654)");
    }
    QStringList arrives;
    for (int course : row.arrives) arrives << d.courseName(course);
    arrives.sort();
    d.useSystemDb(TestEnv::createSystemDb(d.env.path("second.db")));
    if (!refused.isEmpty()) d.refuse(refused);
    d.ui->answers.push_back(Answer::Cancel);  // a conflicting course is not imported again under a new name
    d.ui->onAsk = [&](Question q) {
      if (q != Question::RenameConflictingCourse) d.ui->answers.push_front(Answer::Yes);  // create what has no partner
    };
    d.open(row.action);
    d.nextFile = d.nextFolder = QString(row.typed).replace('@', dir);
    d.frame->cmdSelectFile->click();  // several files only for "导入多个", a folder for "导入全部"
    EXPECT_EQ(d.openedSeveral, row.action == ImportFolder ? QList<bool>() : QList<bool>{row.action == ImportSeveral});
    EXPECT_EQ(d.browsed.size() + d.frame->lblFiles->text().count("目录"), row.action == ImportFolder ? 2 : 0);
    d.run();
    EXPECT_EQ(d.courseNames(), arrives);
    const QString said = d.ui->lastPrompt();
    for (QString part : row.says) EXPECT_TRUE(said.contains(part.replace('@', dir))) << said.toStdString();
    EXPECT_EQ(said.startsWith(Succeeded), row.says.contains(Succeeded));
    EXPECT_FALSE(said.contains(dir + "/a.mdb："));
    if (!arrives.isEmpty()) {
      EXPECT_EQ(d.ui->shown.back().style, MessageStyle{said.startsWith(Succeeded) ? MessageKind::Information : MessageKind::Warning});
      // The grid is refilled with its last row selected.
      EXPECT_EQ(frmCorvina::ActiveRow(d.window->sprCourse()), arrives.size());
    }
    EXPECT_EQ(d.window->sprCourse()->rowCount(), arrives.size());
  }
}

TEST(Transfer, ExportsWriteSafeNamesOrSayWhyNot) {
  const struct {
    const char* name;
    Action action;
    int selected;  // course row
    const char* setUp;
    QStringList files;  // written, % standing for course 2's name
    QString says;       // the start of the only message, if any
    const char* title;
  } rows[] = {{"single", Export, 2, "", {"%.mdb"}, {}, nullptr},
              {"single, none selected", Export, 0, "", {}, NoCourse, "导入导出"},
              {"single, save cancelled", Export, 1, "", {}, {}, nullptr},
              {"single, database unreachable", Export, 1, "broken", {}, "发生错误：", "ExportCourseSingle"},
              {"all, with odd names", ExportAll, 0, "odd names", {"图_表...mdb", "_.mdb", "%.mdb"}, {}, nullptr},
              {"all, names that make one file name", ExportAll, 0, "same names", {"_.mdb", "_ (3).mdb", "%.mdb", "% (4).mdb"}, {}, nullptr},
              {"all, folder cancelled", ExportAll, 0, "cancelled", {}, {}, nullptr},
              {"all, no courses", ExportAll, 0, "no courses", {}, NoCourses, "导入导出"},
              {"all, database unreachable", ExportAll, 0, "broken", {}, "发生错误：", "ExportCourseAll"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    const QString setUp = row.setUp;
    if (setUp == "odd names") d.env.exec("update Course set Name = case CourseID when 1 then '图/表..' else '..' end where CourseID in (1, 3)");
    if (setUp == "no courses") d.env.exec("delete from Course");
    if (setUp == "same names")
      d.env.exec("update Course set Name = case CourseID when 1 then '..' when 3 then '.' else (select c.Name from Course c "
                 "where c.CourseID=2) end where CourseID in (1, 3, 4)");
    const QString name2 = d.courseName(2);
    d.saveCancelled = QString(row.name).contains("cancelled");
    d.nextFolder = setUp == "cancelled" ? QString() : d.env.path("all");
    QDir().mkpath(d.env.path("all"));
    d.open(row.action);
    if (setUp == "broken") d.useSystemDb("Driver=SQLite3;Database=" + d.env.path("gone/none.db"));
    d.run(row.selected);
    const QString folder = row.action == ExportAll ? d.env.path("all") : d.exportFolder();
    const QStringList written = folder.isEmpty() ? QStringList() : QDir(folder).entryList(QDir::Files);
    const QStringList wanted = QStringList(row.files).replaceInStrings("%", name2);
    for (const QString& f : wanted) EXPECT_TRUE(written.contains(f)) << f.toStdString();
    EXPECT_EQ(written.size(), wanted.isEmpty() ? 0 : row.action == ExportAll ? 5 : 1);
    // The status line names where the files went.
    if (!wanted.isEmpty()) {
      EXPECT_TRUE(d.frame->lblIO->text().endsWith(row.action == ExportAll ? folder : folder + '/' + wanted[0]));
    }
    EXPECT_EQ(d.ui->openedFolders, wanted.isEmpty() ? QStringList() : QStringList{folder});
    if (setUp.isEmpty() && row.selected) { EXPECT_EQ(d.proposedFiles, QStringList{d.exportFolder() + "/" + d.courseName(row.selected) + ".mdb"}); }
    if (row.action == ExportAll && (!wanted.isEmpty() || setUp == "cancelled")) { EXPECT_EQ(d.browsed, (QList<QStringList>{{"选择导出的文件夹", d.exportFolder()}})); }
    ASSERT_EQ(d.ui->shown.empty(), row.says.isEmpty());
    if (row.says.isEmpty()) continue;
    EXPECT_TRUE(d.ui->shown[0].prompt.startsWith(row.says)) << d.ui->shown[0].prompt.toStdString();
    EXPECT_EQ(d.ui->shown[0].title, row.title);
    EXPECT_EQ(d.ui->shown[0].style, MessageStyle{row.says.startsWith("发生错误") ? MessageKind::Error : MessageKind::Warning});
  }
}

// Cancelled while the worker waits on a question, the transfer goes on to its
// next cancel point, rolls back and says so: the database and file are as they were.
TEST(Transfer, CancelWhileAQuestionWaitsLeavesEverythingAsItWas) {
  const struct { Action action; Question question; std::deque<Answer> answers; QString says; } rows[] = {
      {AutoImport, Question::RenameConflictingCourse, {Answer::Ok}, "导入已取消，系统数据库没有改动。"},
      {Export, Question::EmptyExchangeFile, {Answer::Yes, Answer::Yes}, "导出已取消"}};
  for (const auto& row : rows) {
    Desk d;
    d.open(row.action);
    if (row.action == Export) d.run(3);  // the file to replace
    const QString file = row.action == Export ? d.proposedFiles.value(0) : d.exportCourse(2, d.env.path("again.mdb"));
    d.frame->txtFileName->setText(file);
    const auto snapshot = [&] { return readFile(file) + d.courseNames().join('|').toUtf8(); };
    const QByteArray before = snapshot();
    d.ui->answers = row.answers;
    d.ui->onAsk = [&](Question q) {
      if (q != row.question) return;
      EXPECT_TRUE(d.frame->cmdCancel->isEnabled());
      d.frame->cmdCancel->click();
    };
    d.run(row.action == Export ? 3 : 0);
    EXPECT_TRUE(snapshot() == before) << "changed by a cancelled transfer";
    EXPECT_TRUE(d.ui->lastPrompt().startsWith(row.says)) << d.ui->lastPrompt().toStdString();
    if (row.action == Export) {
      EXPECT_EQ(d.proposedFiles.value(1), file);  // the export folder reused
      EXPECT_EQ(frmCorvina::ActiveRow(d.window->sprCourse()), 3) << "the course stays selected";
    }
  }
}

// The seventh action shows what would change before it writes: 取消 there
// leaves the course as it was, 确定 updates it in place (no course added) and
// says so; the course stays selected.
TEST(Transfer, UpdateCourseAsksWithThePreviewBeforeWriting) {
  for (const auto& [answer, says] : {std::pair{Answer::Cancel, QString()}, {Answer::Ok, QStringLiteral("课程更新成功！")}}) {
    Desk d;
    d.open(UpdateCourse);
    EXPECT_TRUE(!d.frame->chkManualMap->isHidden() && d.frame->chkPreview->isHidden());
    const QString file = d.exportCourse(2, d.env.path("revised.mdb"));
    d.frame->txtFileName->setText(file);
    const QStringList before = d.courseNames();
    d.ui->answers = {answer};
    d.run(2);
    EXPECT_EQ(d.courseNames(), before);
    const QStringList prompts = d.ui->prompts();
    ASSERT_EQ(prompts.size(), says.isEmpty() ? 1 : 2);
    EXPECT_TRUE(prompts[0].startsWith(QStringLiteral("更新课程：") + d.courseName(2))) << prompts[0].toStdString();
    EXPECT_EQ(prompts.last(), says.isEmpty() ? prompts[0] : says);
    if (!says.isEmpty()) {
      const QTableWidget* grid = d.window->sprCourse();
      EXPECT_EQ(frmCorvina::CellText(grid, 0, frmCorvina::ActiveRow(grid)), "2");
    }
  }
}

// Leaving the window while a transfer runs: 是 cancels, waits for the
// rollback, then closes; 否 lets it finish; a question still open when the
// transfer ends closes itself and the result follows.
TEST(Transfer, LeavingDuringATransferCancelsThenClosesOrLetsItFinish) {
  const struct {
    const char* name;
    const char* button;  // nullptr: the close box
    std::deque<Answer> answers;  // to the cancel question, then to the name conflict
    bool leaveAtQuestion;     // else right after the start, the question left open until the end
    bool closed;
    QString says;
  } rows[] = {{"close box, 是", nullptr, {Answer::Yes, Answer::Ok}, true, true, ImportCancelled},
              {"返回, 是", "cmdReturn_1", {Answer::Yes, Answer::Ok}, true, true, ImportCancelled},
              {"返回, 否", "cmdReturn_1", {Answer::No, Answer::Ok}, true, false, Succeeded},
              {"退出, the transfer ends under the question", "cmdReturn_0", {Answer::Ok}, false, false, Succeeded}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    d.open(AutoImport);
    d.window->show();
    d.frame->txtFileName->setText(d.exportCourse(2, d.env.path("again.mdb")));
    const QStringList before = d.courseNames();
    d.ui->answers = row.answers;
    const auto leave = [&] {
      row.button ? d.window->findChild<QPushButton*>(row.button)->click() : (void)d.window->close();
    };
    d.ui->onAsk = [&](Question q) {
      if (q != Question::RenameConflictingCourse) return d.ui->answers.push_front(Answer::Yes);
      if (row.leaveAtQuestion) leave();
    };
    if (row.leaveAtQuestion) {
      d.run();
    } else {
      d.ui->whileShown = [&](const ScriptedInteraction::Shown& shown) {
        EXPECT_EQ(shown.prompt, frmCorvina::CancelQuestion());
        while (d.frame->isTransferring()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
      };
      d.frame->cmdIO->click();
      leave();  // returns once the question has closed itself
      EXPECT_FALSE(d.frame->isTransferring());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(d.window->isVisible(), !row.closed);
    EXPECT_EQ(d.ui->withdrawn, 1);
    EXPECT_EQ(d.courseNames().size(), before.size() + (row.says == Succeeded ? 1 : 0));
    EXPECT_TRUE(d.ui->lastPrompt().startsWith(row.says)) << d.ui->lastPrompt().toStdString();
    EXPECT_TRUE(d.ui->prompts().contains(frmCorvina::CancelQuestion()));
  }
}

// What an import says it did: the course as stored, with its problems and
// contents; a preview in the person's words; every cancel the same sentence.
TEST(Transfer, ResultsNameTheCourseAsStoredAndEveryCancelSaysTheSame) {
  const struct {
    const char* name;
    Action action;
    bool again;  // into the database it came from: the name conflict, imported renamed
    bool preview, cancelMapping;
    QStringList says;  // % standing for the course's name
  } rows[] = {{"automatic, fresh database", AutoImport, false, false, false, {Succeeded, "课程“%”：题目 "}},
              {"automatic, renamed on conflict", AutoImport, true, false, false, {Succeeded, "课程“%["}},
              {"by hand, every mapping step counted", Import, false, false, false, {Succeeded, "课程“%”"}},
              {"by hand, mapping step cancelled", Import, false, false, true, {ImportCancelled}},
              {"preview", AutoImport, false, true, false, {"预览", "题目 ", "章节 ", "题目指标值 "}}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    const QString name = d.courseName(2);
    const QString file = d.exportCourse(2, d.env.path("course.mdb"));
    if (!row.again) d.useSystemDb(TestEnv::createSystemDb(d.env.path("fresh.db")));
    d.ui->answers = {Answer::Ok};
    d.ui->onAsk = [&](Question q) {
      if (q != Question::RenameConflictingCourse) d.ui->answers.push_front(Answer::Yes);
    };
    d.ui->cancelMapping = row.cancelMapping;
    d.open(row.action);
    d.frame->chkPreview->setChecked(row.preview);
    d.frame->txtFileName->setText(file);
    d.run();
    const QString said = d.ui->lastPrompt();
    for (QString part : row.says) EXPECT_TRUE(said.contains(part.replace('%', name))) << said.toStdString();
    EXPECT_FALSE(said.contains("Problem")) << "table names are not the person's words";
    if (row.says.contains(Succeeded) && !row.again) {
      CDataAccess dal;
      Bulk::Query problems = dal.OpenQuery("select count(*) from Problem");
      ASSERT_TRUE(problems.next());
      EXPECT_TRUE(said.contains(QString("题目 %1 道").arg(problems.value(0).toInt())));
    }
    // Each mapping step shown says which of how many it is.
    const int count = row.cancelMapping ? d.ui->steps.value(0).section('/', 1).toInt() : int(d.ui->steps.size());
    for (int i = 0; i < d.ui->steps.size(); ++i) EXPECT_EQ(d.ui->steps[i], QString("%1/%2").arg(i + 1).arg(count));
    EXPECT_EQ(d.ui->steps.size(), row.action != Import ? 0 : row.cancelMapping ? 1 : count);
    EXPECT_GE(count, row.action == Import ? 2 : 0);
    EXPECT_TRUE(d.frame->lblIO->text().contains(row.cancelMapping ? ImportCancelled : row.preview ? "" : name));
  }
}

// Exchange files dropped on the window fill the file field of the chosen
// import action; Enter there starts it.
TEST(Transfer, DroppedFilesFillTheFieldOfTheChosenImport) {
  const struct { Action action; QStringList files; QString field; } rows[] = {
      {AutoImport, {"a.mdb"}, "@/a.mdb"},           {Import, {"a.mdb", "b.mdb"}, ""},
      {ImportSeveral, {"a.mdb", "b.mdb"}, "@ a.mdb b.mdb"}, {ImportFolder, {"b.mdb"}, "@"},
      {AutoImport, {"notes.txt"}, ""},            {Export, {"a.mdb"}, ""}};
  for (const auto& row : rows) {
    Desk d;
    const QString dir = d.env.path("drop");
    QDir().mkpath(dir);
    QList<QUrl> urls;
    for (const QString& f : row.files) {
      QFile(dir + '/' + f).open(QIODevice::WriteOnly);
      urls << QUrl::fromLocalFile(dir + '/' + f);
    }
    d.open(row.action);
    d.window->show();
    d.window->sprSubject()->selectRow(0);
    d.window->findChild<QTabWidget*>("tabMain")->setCurrentIndex(1);
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.setAccepted(false);
    QCoreApplication::sendEvent(d.window.get(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    drop.setAccepted(false);
    QCoreApplication::sendEvent(d.window.get(), &drop);
    EXPECT_EQ(enter.isAccepted(), drop.isAccepted());
    const QString field = QString(row.field).replace('@', dir);
    EXPECT_EQ(drop.isAccepted(), !field.isEmpty()) << row.files.join(' ').toStdString();
    EXPECT_EQ(d.frame->txtFileName->text(), field);
    if (field.isEmpty() || row.action != AutoImport) continue;
    EXPECT_EQ(d.window->findChild<QTabWidget*>("tabCourse")->currentIndex(), 1);
    emit d.frame->txtFileName->returnPressed();
    EXPECT_TRUE(d.frame->isTransferring());
    while (d.frame->isTransferring()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_TRUE(d.ui->lastPrompt().contains(field)) << "an empty file is no exchange file";
  }
}

}  // namespace
