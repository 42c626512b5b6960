#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

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
const QString NoCourse = QStringLiteral("请先选择试卷");
enum Action { Import, AutoImport, ImportSeveral, ImportFolder, Export, ExportAll, UpdateCourse };  // as listed

// onAsk acts while the worker waits for an answer; mapping forms are paired by name and finished from the
// window's thread (their buttons run in the worker, where the import's connections live).
struct Observing : ScriptedInteraction {
  std::function<void(Question)> onAsk;
  Answer Ask(Question question, const QString& argument) override {
    if (onAsk) onAsk(question);
    return ScriptedInteraction::Ask(question, argument);
  }
  void ShowMappingDialog(MappingModel& form) override {
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
    RecordsetPtr rs;
    CDataAccess().GetConnectedRecordset("select Name from Course", rs);
    for (; !rs->Eof(); rs->MoveNext()) names << rs->Value(0).toString();
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
    while (frame->isTransferring()) {
      EXPECT_TRUE(!frame->lblIO->isHidden() && !frame->ProgressBar1->isHidden() && !fileControlsShown());
      EXPECT_TRUE(!frame->cmdIO->isEnabled() && !frame->cboAction->isEnabled());
      QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    EXPECT_TRUE(frame->lblIO->isHidden() && frame->ProgressBar1->isHidden() && frame->cmdCancel->isHidden());
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
      exchange.ExecQuery(QString(), "insert into ProblemsContents (ProblemID,ContentID) values (987654,987654)");
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
              {"all, no courses", ExportAll, 0, "no courses", {}, NoCourse, "导入导出"},
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
    EXPECT_EQ(d.ui->openedFolders, wanted.isEmpty() ? QStringList() : QStringList{folder});
    if (setUp.isEmpty() && row.selected) { EXPECT_EQ(d.proposedFiles, QStringList{d.exportFolder() + "/" + d.courseName(row.selected) + ".mdb"}); }
    if (row.action == ExportAll && (!wanted.isEmpty() || setUp == "cancelled")) { EXPECT_EQ(d.browsed, (QList<QStringList>{{"选择导出的文件夹", d.exportFolder()}})); }
    ASSERT_EQ(d.ui->shown.empty(), row.says.isEmpty());
    if (row.says.isEmpty()) continue;
    EXPECT_TRUE(d.ui->shown[0].prompt.startsWith(row.says)) << d.ui->shown[0].prompt.toStdString();
    EXPECT_EQ(d.ui->shown[0].title, row.title);
    EXPECT_EQ(d.ui->shown[0].style, MessageStyle{row.says == NoCourse ? MessageKind::Warning : MessageKind::Error});
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

}  // namespace
