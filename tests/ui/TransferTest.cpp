#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "core/modInputOutput.h"
#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "resources/Strings.h"
#include "export/CExport.h"
#include "mapping/MappingModel.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/TransferFrame.h"
#include "ui/UiTestApp.h"
#include "ui/frmCorvina.h"

namespace {

const QString Succeeded = QStringLiteral("导入操作成功");
const QString NoCourse = QStringLiteral("请先选择试卷");
// Indexes in the action list.
enum Action { Import, AutoImport, ImportSeveral, ImportFolder, Export, ExportAll };

// Lets a test act while the worker waits for an answer, and answer mapping forms.
class ObservingInteraction : public ScriptedInteraction {
 public:
  std::function<void(Question)> onAsk;
  std::function<void(MappingModel&)> eachMappingStep;
  int Ask(Question question, const QString& argument) override {
    if (onAsk) onAsk(question);
    return ScriptedInteraction::Ask(question, argument);
  }
  void ShowMappingDialog(MappingModel& model) override {
    shown.push_back({QStringLiteral("mapping"), model.Caption, 0, QString()});
    eachMappingStep(model);
  }
};

// The main window over a demo system database, its file dialogs scripted. The
// program folder is one level down, so the export folder beside it is this desk's own.
struct Desk {
  Desk() {
    uiTestApp();
    QDir().mkpath(env.path("prog"));
    for (const char* file : {"Template.mdb", "odbc.ini"}) QFile::copy(env.path(file), env.path("prog/") + file);
    qputenv("CORVINA_HOME", env.path("prog").toUtf8());
    CDataAccess dal;
    DemoData::create(dal, DemoData::SmallCourseProblems);
  }
  QString exportFolder() const { return QFileInfo(env.path("QuornBanks")).canonicalFilePath(); }
  QString courseName(int id) const {
    return env.scalar(QStringLiteral("select Name from Course where CourseID=%1").arg(id)).toString();
  }
  QString exportCourse(int id, QString file) const {
    CExport e(*ui);
    EXPECT_TRUE(e.ExportCourseData(file, id).succeeded());
    return file;
  }
  void writeIni(const QString& connect) const {
    QFile f(env.path("prog/odbc.ini"));
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("[ODBC]\r\nConnectionString=" + connect.toUtf8() + "\r\n");
  }
  // The system database refuses a course of that name, as a full disk would.
  void refuseCourse(const QString& name) const {
    env.exec("create table RefusedName (name varchar(100))");
    CDataAccess().ExecQuery(QString(), "insert into RefusedName (name) values (?)", QVariantList{name});
    if (TestEnv::onPostgres()) {
      env.exec("create function refuse() returns trigger as $$ begin if NEW.Name in (select name from RefusedName) "
               "then raise exception 'disk quota exceeded'; end if; return NEW; end $$ language plpgsql");
      env.exec("create trigger refuse before insert on Course for each row execute function refuse()");
    } else {
      env.exec("create trigger refuse before insert on Course when NEW.Name in (select name from RefusedName) "
               "begin select raise(abort, 'disk quota exceeded'); end");
    }
  }
  QStringList courseNames() const {
    QStringList names;
    CDataAccess dal;
    RecordsetPtr rs;
    dal.GetConnectedRecordset("select Name from Course", rs);
    for (; !rs->Eof(); rs->MoveNext()) names << rs->Value(0).toString();
    names.sort();
    return names;
  }
  void open() {
    window = std::make_unique<frmCorvina>();
    frame = window->Frame3();
    frame->dialogs.openMdbFile = [this](bool multi) { return (openedMulti << multi, nextOpen); };
    frame->dialogs.browseFolder = [this](const QString& title, const QString& initial) {
      return (browsed << QStringList{title, initial}, nextFolder);
    };
    frame->dialogs.saveMdbFile = [this](const QString& proposed) -> std::optional<QString> {
      proposedFiles << proposed;
      const QString answer = saveAnswer.value_or(proposed);
      return answer.isEmpty() ? std::nullopt : std::optional<QString>(answer);
    };
    window->RefreshCourse();
  }
  void choose(int action) {
    frame->cboAction->setCurrentIndex(action);
    emit frame->cboAction->activated(action);
  }
  bool fileControlsShown() const { return !frame->txtFileName->isHidden() && !frame->cmdSelectFile->isHidden(); }
  // Starts the action and runs the window until the transfer has ended. While
  // it runs, progress replaces the file controls and the action cannot change.
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
    EXPECT_EQ(fileControlsShown(), frame->action() < TransferAction::Export);
  }

  TestEnv env;
  std::shared_ptr<ObservingInteraction> ui = std::make_shared<ObservingInteraction>();
  ScopedInteraction scope{ui};
  std::unique_ptr<frmCorvina> window;
  TransferFrame* frame = nullptr;
  QList<bool> openedMulti;
  QString nextOpen;
  QList<QStringList> browsed;
  QString nextFolder;
  QStringList proposedFiles;
  std::optional<QString> saveAnswer;  // nullopt: accept the proposal; "": cancel
  QString refused;                    // a course name the receiving database refuses
};

TEST(Transfer, EachActionShowsItsOwnControls) {
  Desk d;
  d.open();
  const struct { const char* caption; bool files; const char* label; const char* tips; bool several, folder; } rows[] = {
      {"导    入", true, "MDB文件", "导入指定单个课程，手工做对应！", false, false},
      {"自动导入", true, "MDB文件", nullptr, false, false},
      {"导入多个", true, "MDB文件", nullptr, true, false},
      {"导入全部", true, "MDB目录", nullptr, false, true},
      {"导    出", false, nullptr, "导出指定单个课程！", false, false},
      {"导出全部", false, nullptr, "导出所有课程！", false, false}};
  ASSERT_EQ(d.frame->cboAction->count(), 6);
  EXPECT_EQ(d.frame->action(), TransferAction::Import);
  EXPECT_TRUE(d.frame->lblIO->isHidden() && d.frame->ProgressBar1->isHidden());
  d.nextOpen = d.nextFolder = "/banks";
  for (int i : {0, 2, 1, 3, 4, 5}) {
    SCOPED_TRACE(i);
    const auto& row = rows[i];
    d.choose(i);
    d.frame->txtFileName->clear();
    EXPECT_EQ(d.frame->cboAction->itemText(i), row.caption);
    EXPECT_EQ(d.fileControlsShown(), row.files);
    EXPECT_EQ(d.frame->selectsSeveralFiles(), row.several);
    EXPECT_EQ(d.frame->importsFolder(), row.folder);
    if (row.label) { EXPECT_EQ(d.frame->lblFiles->text(), row.label); }
    if (row.tips) { EXPECT_EQ(d.frame->lblTips->text(), row.tips); }
    if (!row.files) continue;
    EXPECT_EQ(d.frame->autoMap(), i > 0);
    d.frame->cmdSelectFile->click();
    EXPECT_EQ(d.frame->txtFileName->text(), "/banks");
  }
  // Several files only for "导入多个", even after it; a folder browsed for "导入全部".
  EXPECT_EQ(d.openedMulti, (QList<bool>{false, true, false}));
  EXPECT_EQ(d.browsed, (QList<QStringList>{{"选择题库所在文件夹", ""}}));
}

// Imports into an empty system database: what arrives, and what the window says.
TEST(Transfer, ImportsReportWhatArrivedAndEachFileThatDidNot) {
  const struct {
    const char* name;
    Action action;
    std::function<QString(Desk&, const QString& dir, QStringList& arrives)> prepare;
    QStringList says;  // in the last message, @ standing for the files' folder
    bool succeeds;
  } rows[] = {
      {"folder: .mdb in any case, not others nor subfolders", ImportFolder,
       [](Desk& d, const QString& dir, QStringList& arrives) {
         QDir().mkpath(dir + "/sub");
         d.exportCourse(2, dir + "/upper.MDB");
         d.exportCourse(3, dir + "/lower.mdb");
         d.exportCourse(4, dir + "/other.txt");
         d.exportCourse(5, dir + "/sub/deeper.mdb");
         arrives = {d.courseName(2), d.courseName(3)};
         return dir;
       },
       {}, true},
      {"several: a conflict declined and a file that is none", ImportSeveral,
       [](Desk& d, const QString& dir, QStringList& arrives) {
         d.exportCourse(2, dir + "/a.mdb");
         d.exportCourse(2, dir + "/b.mdb");
         QFile junk(dir + "/c.mdb");
         junk.open(QIODevice::WriteOnly);
         junk.write("this is not an exchange file");
         d.ui->answers.push_back(Vb::Cancel);  // not again under a new name
         arrives = {d.courseName(2)};
         return dir + " a.mdb b.mdb c.mdb";
       },
       {"已导入 1 个文件，共 3 个。", "@/b.mdb：已经存在相同名称的课程", "@/c.mdb："}, false},
      {"several: the database fails on the first", ImportSeveral,
       [](Desk& d, const QString& dir, QStringList& arrives) {
         d.exportCourse(2, dir + "/first.mdb");
         d.exportCourse(3, dir + "/second.mdb");
         arrives = {d.courseName(3)};
         d.refused = d.courseName(2);
         return dir + " first.mdb second.mdb";
       },
       {"已导入 1 个文件，共 2 个。", "@/first.mdb：发生错误：", "disk quota exceeded"}, false},
      {"one of several, rows left out counted", ImportSeveral,
       [](Desk& d, const QString& dir, QStringList& arrives) {
         const QString file = d.exportCourse(2, dir + "/links.mdb");
         CDataAccess exchange{CDataAccess::Unconnected{}};
         exchange.OpenExchangeFile(file, ExchangeAccess::Write);
         exchange.ExecQuery(QString(), "insert into ProblemsContents (ProblemID,ContentID) values (987654,987654)");
         arrives = {d.courseName(2)};
         return file;
       },
       {"ProblemsContents 1"}, true},
      {"single", AutoImport,
       [](Desk& d, const QString& dir, QStringList& arrives) {
         arrives = {d.courseName(4)};
         return d.exportCourse(4, dir + "/one course.mdb");
       },
       {}, true},
      {"missing folder", ImportFolder, [](Desk&, const QString& dir, QStringList&) { return dir + "/nowhere"; },
       {"@/nowhere"}, false},
      {"missing file", AutoImport, [](Desk&, const QString& dir, QStringList&) { return dir + "/missing.mdb"; },
       {"@/missing.mdb"}, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    const QString dir = d.env.path("in");
    QDir().mkpath(dir);
    QStringList arrives;
    const QString files = row.prepare(d, dir, arrives);
    arrives.sort();
    d.writeIni(TestEnv::createSystemDb(d.env.path("second.db")));
    if (!d.refused.isEmpty()) d.refuseCourse(d.refused);
    d.open();
    d.choose(row.action);
    d.frame->txtFileName->setText(files);
    d.run();
    EXPECT_EQ(d.courseNames(), arrives);
    const QString said = d.ui->lastPrompt();
    EXPECT_EQ(said.startsWith(Succeeded), row.succeeds) << said.toStdString();
    for (QString part : row.says) EXPECT_TRUE(said.contains(part.replace('@', dir))) << said.toStdString();
    EXPECT_FALSE(said.contains(dir + "/a.mdb："));
    if (!row.succeeds && !arrives.isEmpty()) { EXPECT_EQ(d.ui->shown.back().flags, Vb::Exclamation); }
    if (row.succeeds) { EXPECT_EQ(d.ui->shown.back().flags, Vb::Information); }
    // The grid is refilled with its last row selected.
    EXPECT_EQ(d.window->sprCourse()->rowCount(), arrives.size());
    if (!arrives.isEmpty()) { EXPECT_EQ(frmCorvina::ActiveRow(d.window->sprCourse()), arrives.size()); }
  }
}

TEST(Transfer, ExportsWriteSafeNamesOrSayWhyNot) {
  const struct {
    const char* name;
    Action action;
    int selected;
    const char* folder;  // the folder chosen for export all, "" when cancelled
    const char* setUp;
    QStringList files;  // written, % standing for course 2's name
    QString says;       // the start of the only message, if any
    const char* title;
  } rows[] = {
      {"single", Export, 2, nullptr, "", {"%.mdb"}, {}, nullptr},
      {"single, none selected", Export, 0, nullptr, "", {}, NoCourse, "导入导出"},
      {"single, save cancelled", Export, 1, nullptr, "", {}, {}, nullptr},
      {"single, database unreachable", Export, 1, nullptr, "broken", {}, "发生错误：", "ExportCourseSingle"},
      {"all, with odd names", ExportAll, 0, "all", "odd names", {"图_表...mdb", "_.mdb", "%.mdb"}, {}, nullptr},
      {"all, folder cancelled", ExportAll, 0, "", "", {}, {}, nullptr},
      {"all, no courses", ExportAll, 0, "all", "no courses", {}, NoCourse, "导入导出"},
      {"all, database unreachable", ExportAll, 0, "all", "broken", {}, "发生错误：", "ExportCourseAll"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    const QString setUp = row.setUp;
    if (setUp == "odd names") d.env.exec("update Course set Name = case CourseID when 1 then '图/表..' else '..' end "
                                         "where CourseID in (1, 3)");
    if (setUp == "no courses") d.env.exec("delete from Course");
    const QString name2 = d.courseName(2);
    d.saveAnswer = QString(row.name).contains("cancelled") ? std::optional<QString>("") : std::nullopt;
    d.nextFolder = row.folder && *row.folder ? d.env.path(row.folder) : QString();
    if (!d.nextFolder.isEmpty()) QDir().mkpath(d.nextFolder);
    d.open();
    if (setUp == "broken") d.writeIni("Driver=SQLite3;Database=" + d.env.path("gone/none.db"));
    d.choose(row.action);
    d.run(row.selected);
    const QString folder = row.action == ExportAll ? d.nextFolder : d.exportFolder();
    QStringList written = folder.isEmpty() ? QStringList() : QDir(folder).entryList(QDir::Files);
    QStringList wanted = row.files;
    wanted.replaceInStrings("%", name2);
    if (row.action == ExportAll && !wanted.isEmpty()) { EXPECT_EQ(written.size(), 5); }
    for (const QString& f : wanted) EXPECT_TRUE(written.contains(f)) << f.toStdString();
    if (wanted.isEmpty()) { EXPECT_TRUE(written.isEmpty()); }
    EXPECT_EQ(d.ui->openedFolders, wanted.isEmpty() ? QStringList() : QStringList{folder});
    if (row.action == Export && row.selected && setUp.isEmpty()) {
      EXPECT_EQ(d.proposedFiles, QStringList{d.exportFolder() + "/" + d.courseName(row.selected) + ".mdb"});
    }
    if (row.folder && (!wanted.isEmpty() || !*row.folder)) {
      EXPECT_EQ(d.browsed, (QList<QStringList>{{"选择导出的文件夹", d.exportFolder()}}));
    }
    if (row.says.isEmpty()) {
      EXPECT_TRUE(d.ui->shown.empty());
      continue;
    }
    ASSERT_GE(d.ui->shown.size(), 1u);
    EXPECT_TRUE(d.ui->shown[0].prompt.startsWith(row.says)) << d.ui->shown[0].prompt.toStdString();
    EXPECT_EQ(d.ui->shown[0].title, row.title);
    EXPECT_EQ(d.ui->shown[0].flags, row.says == NoCourse ? Vb::Exclamation : Vb::Critical);
  }
}

// Cancelled while the worker waits on a question: the transfer goes on to its
// next cancel point, rolls back and says so; the database or file is as it was.
TEST(Transfer, CancelWhileAQuestionWaitsLeavesEverythingAsItWas) {
  const struct {
    const char* name;
    Action action;
    Question question;
    std::deque<int> answers;
    QString says;
  } rows[] = {
      {"import renamed", AutoImport, Question::RenameConflictingCourse, {Vb::OK}, "导入已取消，系统数据库没有改动。"},
      {"export replacing", Export, Question::EmptyExchangeFile, {Vb::Yes, Vb::Yes}, "导出已取消"}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Desk d;
    d.open();
    d.choose(row.action);
    QString file = d.env.path("again.mdb");
    if (row.action == AutoImport) d.frame->txtFileName->setText(d.exportCourse(2, file));
    else d.run(3), file = d.proposedFiles.value(0);
    const auto snapshot = [&] {
      QFile f(file);
      return (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray()) + d.courseNames().join('|').toUtf8();
    };
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
    if (row.action == Export) { EXPECT_EQ(d.proposedFiles.value(1), file); }  // the export folder reused
    if (row.action == Export) { EXPECT_EQ(frmCorvina::ActiveRow(d.window->sprCourse()), 3) << "stays selected"; }
  }
}

// The forms are shown by the window's thread; their buttons run in the import's
// worker, where its connections live.
TEST(Transfer, PairingByHandRunsTheFormsButtonsInTheImportsThread) {
  Desk d;
  const QString file = d.exportCourse(2, d.env.path("by hand.mdb"));
  const int before = d.courseNames().size();
  d.open();
  d.choose(Import);
  d.frame->txtFileName->setText(file);
  d.ui->answers.push_back(Vb::OK);  // the course exists: import it renamed
  d.ui->eachMappingStep = [](MappingModel& form) {
    EXPECT_TRUE(form.isLoaded());
    form.press(&MappingModel::cmdNameLink_Click);
    form.press(&MappingModel::Finish_Click);
    EXPECT_FALSE(form.isLoaded()) << form.Caption.toStdString();
  };
  d.ui->onAsk = [&](Question q) {
    if (q != Question::RenameConflictingCourse) d.ui->answers.push_front(Vb::Yes);  // create what has no partner
  };
  d.run();
  EXPECT_EQ(d.courseNames().size(), before + 1);
  EXPECT_EQ(d.ui->lastPrompt(), Succeeded);
  EXPECT_GE(std::count_if(d.ui->shown.begin(), d.ui->shown.end(), [](const auto& s) { return s.kind == "mapping"; }), 2)
      << "the subject and feature forms at least";
}

}  // namespace
