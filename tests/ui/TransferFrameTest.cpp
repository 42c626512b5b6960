#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTableWidget>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "export/CExport.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/TransferFrame.h"
#include "ui/UiTestApp.h"
#include "ui/frmCorvina.h"
#include "core/modInputOutput.h"

namespace {

const QString Succeeded = QStringLiteral("导入操作成功");

// Lets a test act while the worker waits for an answer.
class ObservingInteraction : public ScriptedInteraction {
 public:
  std::function<void(Question)> onAsk;
  // When set, every mapping form is answered like this, on the GUI thread.
  std::function<void(MappingModel&)> eachMappingStep;
  int Ask(Question question, const QString& argument) override {
    if (onAsk) onAsk(question);
    return ScriptedInteraction::Ask(question, argument);
  }
  void ShowMappingDialog(MappingModel& model) override {
    if (!eachMappingStep) return ScriptedInteraction::ShowMappingDialog(model);
    shown.push_back({QStringLiteral("mapping"), model.Caption, 0, QString()});
    eachMappingStep(model);
  }
};

// A demo system database and a main window over it. The program folder is
// nested one level deeper than the test's own folder, so that the export
// folder beside it belongs to this test alone.
class Transfer : public ::testing::Test {
 protected:
  void SetUp() override {
    uiTestApp();
    ASSERT_TRUE(QDir().mkpath(programFolder()));
    QFile::copy(env.path("Template.mdb"), programFolder() + "/Template.mdb");
    QFile::copy(env.path("odbc.ini"), programFolder() + "/odbc.ini");
    qputenv("CORVINA_HOME", programFolder().toUtf8());
    {
      CDataAccess dal;
      DemoData::create(dal, DemoData::SmallCourseProblems);
    }
  }

  QString programFolder() const { return env.path("prog"); }
  QString exportFolder() const { return env.path("QuornBanks"); }

  // Course name of a demo course.
  QString courseName(int id) const {
    return env.scalar(QStringLiteral("select Name from Course where CourseID=%1").arg(id)).toString();
  }
  // Writes a demo course into an exchange file with the export engine.
  QString exportCourse(int id, const QString& file) const {
    CExport e(*ui);
    QString dest = file;
    EXPECT_TRUE(e.ExportCourseData(dest, id).succeeded());
    return dest;
  }
  // From here on the program works on an empty second system database.
  void switchToEmptySystemDb() {
    const QString connect = TestEnv::createSystemDb(env.path("second.db"));
    QFile f(programFolder() + "/odbc.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[ODBC]\r\nConnectionString=" + connect.toUtf8() + "\r\n");
  }
  // The system database refuses to store a course of that name, as a full disk would.
  static void refuseCourseInserts(const QString& name) {
    CDataAccess dal;
    dal.ExecQuery(QString(), "create table RefusedName (name varchar(100))");
    dal.ExecQuery(QString(), "insert into RefusedName (name) values (?)", QVariantList{name});
    if (TestEnv::onPostgres()) {
      dal.ExecQuery(QString(),
                    "create function refuse() returns trigger as $$ begin "
                    "if NEW.Name in (select name from RefusedName) then raise exception 'disk quota exceeded'; "
                    "end if; return NEW; end $$ language plpgsql");
      dal.ExecQuery(QString(), "create trigger refuse before insert on Course for each row execute function refuse()");
    } else {
      dal.ExecQuery(QString(),
                    "create trigger refuse before insert on Course when NEW.Name in (select name from RefusedName) "
                    "begin select raise(abort, 'disk quota exceeded'); end");
    }
  }
  QStringList courseNames() const {
    QStringList names;
    CDataAccess dal;
    RecordsetPtr rs;
    dal.GetConnectedRecordset("select Name from Course order by CourseID", rs);
    for (; !rs->Eof(); rs->MoveNext()) names << rs->Value(0).toString();
    return names;
  }

  void open() {
    window = std::make_unique<frmCorvina>();
    frame = window->Frame3();
    frame->dialogs.openMdbFile = [this](bool multi) {
      openCalls << multi;
      return nextOpen;
    };
    frame->dialogs.browseFolder = [this](const QString& title, const QString& initial) {
      browseCalls << QStringList{title, initial};
      return nextFolder;
    };
    frame->dialogs.saveMdbFile = [this](const QString& proposed) -> std::optional<QString> {
      proposedFiles << proposed;
      return saveAnswer.value_or(proposed).isEmpty() ? std::nullopt : std::optional<QString>(saveAnswer.value_or(proposed));
    };
    window->RefreshCourse();
  }
  void chooseAction(int index) {
    frame->cboAction->setCurrentIndex(index);
    emit frame->cboAction->activated(index);
  }
  // Starts the action and lets the window run until the transfer has ended;
  // whileRunning looks at the window each time round.
  void run(const std::function<void()>& whileRunning = {}) {
    frame->cmdIO->click();
    QElapsedTimer waited;
    waited.start();
    while (frame->isTransferring()) {
      if (whileRunning) whileRunning();
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      ASSERT_LT(waited.elapsed(), 300000) << "the transfer never ended";
    }
  }
  void selectCourseRow(int row) { window->sprCourse()->selectRow(row - 1); }
  bool fileControlsShown() const {
    return !frame->lblFiles->isHidden() && !frame->txtFileName->isHidden() && !frame->cmdSelectFile->isHidden();
  }
  bool fileControlsHidden() const {
    return frame->lblFiles->isHidden() && frame->txtFileName->isHidden() && frame->cmdSelectFile->isHidden();
  }

  TestEnv env;
  std::shared_ptr<ObservingInteraction> ui = std::make_shared<ObservingInteraction>();
  ScopedInteraction scope{ui};
  std::unique_ptr<frmCorvina> window;
  TransferFrame* frame = nullptr;
  QList<bool> openCalls;
  QString nextOpen;
  QList<QStringList> browseCalls;
  QString nextFolder;
  QStringList proposedFiles;
  std::optional<QString> saveAnswer;  // nullopt: accept the proposal; "": cancel
};

TEST_F(Transfer, AfterLoadingActionOneIsInForceWithTheFileControlsShown) {
  open();
  ASSERT_EQ(frame->cboAction->count(), 6);
  const QStringList captions{"导    入", "自动导入", "导入多个", "导入全部", "导    出", "导出全部"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(frame->cboAction->itemText(i), captions[i]);
    EXPECT_EQ(frame->cboAction->itemData(i).toInt(), i + 1);
  }
  EXPECT_EQ(frame->action(), TransferAction::Import);
  EXPECT_FALSE(frame->autoMap());
  EXPECT_FALSE(frame->importsFolder());
  EXPECT_FALSE(frame->selectsSeveralFiles());
  EXPECT_EQ(frame->lblFiles->text(), "MDB文件");
  EXPECT_EQ(frame->lblTips->text(), "导入指定单个课程，手工做对应！");
  EXPECT_TRUE(fileControlsShown());
  EXPECT_TRUE(frame->lblIO->isHidden());
  EXPECT_TRUE(frame->ProgressBar1->isHidden());
  EXPECT_EQ(frame->cmdIO->text(), "导入导出");
}

TEST_F(Transfer, ActionThreeThenTwoLeavesTheOpenDialogInSingleFileMode) {
  open();
  chooseAction(2);
  EXPECT_TRUE(frame->selectsSeveralFiles());
  EXPECT_TRUE(frame->autoMap());
  nextOpen = "/banks a.mdb b.mdb";
  frame->cmdSelectFile->click();
  EXPECT_EQ(frame->txtFileName->text(), "/banks a.mdb b.mdb");

  chooseAction(1);
  EXPECT_EQ(frame->action(), TransferAction::AutoImport);
  EXPECT_FALSE(frame->selectsSeveralFiles());
  EXPECT_TRUE(frame->autoMap());
  nextOpen = "";  // cancelled: the text stays
  frame->cmdSelectFile->click();
  EXPECT_EQ(openCalls, (QList<bool>{true, false}));
  EXPECT_EQ(frame->txtFileName->text(), "/banks a.mdb b.mdb");
}

TEST_F(Transfer, ExportActionsHideTheFileControlsAndImportsShowThemAgain) {
  open();
  chooseAction(4);
  EXPECT_TRUE(fileControlsHidden());
  EXPECT_EQ(frame->lblTips->text(), "导出指定单个课程！");
  chooseAction(5);
  EXPECT_TRUE(fileControlsHidden());
  EXPECT_EQ(frame->lblTips->text(), "导出所有课程！");
  chooseAction(3);
  EXPECT_TRUE(fileControlsShown());
  EXPECT_EQ(frame->lblFiles->text(), "MDB目录");
  EXPECT_TRUE(frame->importsFolder());

  nextFolder = "/srv/banks";
  frame->cmdSelectFile->click();
  ASSERT_EQ(browseCalls.size(), 1);
  EXPECT_EQ(browseCalls[0], (QStringList{"选择题库所在文件夹", ""}));
  EXPECT_EQ(frame->txtFileName->text(), "/srv/banks");
  EXPECT_TRUE(openCalls.isEmpty());
}

TEST_F(Transfer, ActionFourImportsMdbFilesInAnyCaseButNotOthersNorSubfolders) {
  const QString folder = env.path("banks");
  ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
  exportCourse(2, folder + "/upper.MDB");
  exportCourse(3, folder + "/lower.mdb");
  exportCourse(4, folder + "/other.txt");
  exportCourse(5, folder + "/sub/deeper.mdb");
  const QStringList expected{courseName(2), courseName(3)};
  switchToEmptySystemDb();

  open();
  chooseAction(3);
  frame->txtFileName->setText(folder);
  run();
  QStringList imported = courseNames();
  imported.sort();
  QStringList wanted = expected;
  wanted.sort();
  EXPECT_EQ(imported, wanted);
  EXPECT_EQ(ui->lastPrompt(), Succeeded);
  EXPECT_EQ(ui->shown.back().flags, Vb::Information);
  EXPECT_EQ(ui->shown.back().title, "导入导出");
  // The grid is refilled and its last row selected.
  EXPECT_EQ(window->sprCourse()->rowCount(), 2);
  EXPECT_EQ(frmCorvina::ActiveRow(window->sprCourse()), 2);
  EXPECT_TRUE(frame->cmdIO->isEnabled());
  EXPECT_TRUE(frame->lblIO->isHidden());
  EXPECT_TRUE(fileControlsShown());
}

TEST_F(Transfer, ActionThreeWithOneFileImportsThatFile) {
  const QString file = exportCourse(2, env.path("one course.mdb"));
  const QString name = courseName(2);
  switchToEmptySystemDb();
  open();
  chooseAction(2);
  frame->txtFileName->setText(file);
  run();
  EXPECT_EQ(courseNames(), QStringList{name});
  EXPECT_EQ(ui->lastPrompt(), Succeeded);
  EXPECT_EQ(frmCorvina::ActiveRow(window->sprCourse()), 1);
}

TEST_F(Transfer, ImportProgressReplacesTheFileControlsWhileItRuns) {
  const QString file = exportCourse(1, env.path("big.mdb"));
  switchToEmptySystemDb();
  open();
  chooseAction(1);
  frame->txtFileName->setText(file);
  int seenRunning = 0;
  run([&] {
    ++seenRunning;
    EXPECT_FALSE(frame->lblIO->isHidden());
    EXPECT_FALSE(frame->ProgressBar1->isHidden());
    EXPECT_TRUE(fileControlsHidden());
    EXPECT_FALSE(frame->cmdIO->isEnabled());
    EXPECT_FALSE(frame->cboAction->isEnabled());
    EXPECT_TRUE(frame->cmdCancel->isEnabled());
  });
  EXPECT_GT(seenRunning, 0);
  EXPECT_TRUE(frame->cmdCancel->isHidden());
  EXPECT_TRUE(frame->lblIO->isHidden());
  EXPECT_TRUE(frame->ProgressBar1->isHidden());
  EXPECT_EQ(frame->ProgressBar1->value(), 0);
  EXPECT_TRUE(fileControlsShown());
  EXPECT_EQ(ui->lastPrompt(), Succeeded);
}

TEST_F(Transfer, ActionsThreeAndFourReportEachFileThatWasNotImported) {
  const QString folder = env.path("mixed");
  ASSERT_TRUE(QDir().mkpath(folder));
  exportCourse(2, folder + "/a.mdb");
  exportCourse(2, folder + "/b.mdb");  // the same course again: a name conflict
  {
    QFile junk(folder + "/c.mdb");
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("this is not an exchange file");
  }
  switchToEmptySystemDb();
  ui->answers.push_back(Vb::Cancel);  // declines importing the course again under a new name

  open();
  chooseAction(2);
  frame->txtFileName->setText(folder + " a.mdb b.mdb c.mdb");
  run();
  EXPECT_EQ(courseNames().size(), 1);
  const QString summary = ui->lastPrompt();
  EXPECT_FALSE(ui->prompts().contains(Succeeded));
  EXPECT_TRUE(summary.contains("已导入 1 个文件，共 3 个。")) << summary.toStdString();
  EXPECT_TRUE(summary.contains(folder + "/b.mdb：已经存在相同名称的课程")) << summary.toStdString();
  EXPECT_TRUE(summary.contains(folder + "/c.mdb：")) << summary.toStdString();
  EXPECT_FALSE(summary.contains(folder + "/a.mdb：")) << summary.toStdString();
  EXPECT_EQ(ui->shown.back().flags, Vb::Exclamation);
  EXPECT_TRUE(frame->cmdIO->isEnabled());
}

TEST_F(Transfer, RaisedFailureIsReportedAndTheRemainingFilesAreStillImported) {
  const QString first = exportCourse(2, env.path("first.mdb"));
  const QString second = exportCourse(3, env.path("second.mdb"));
  const QString failing = courseName(2);
  const QString name3 = courseName(3);
  switchToEmptySystemDb();
  refuseCourseInserts(failing);
  open();
  chooseAction(2);
  frame->txtFileName->setText(env.home() + " first.mdb second.mdb");
  run();
  EXPECT_EQ(courseNames(), QStringList{name3});
  const QString summary = ui->lastPrompt();
  EXPECT_TRUE(summary.contains("已导入 1 个文件，共 2 个。")) << summary.toStdString();
  EXPECT_TRUE(summary.contains(first + "：发生错误：")) << summary.toStdString();
  EXPECT_TRUE(summary.contains("disk quota exceeded")) << summary.toStdString();
  EXPECT_TRUE(frame->lblIO->isHidden());
  EXPECT_TRUE(fileControlsShown());
  EXPECT_TRUE(frame->cmdIO->isEnabled());
}

TEST_F(Transfer, RowsTheImportLeftOutAreCounted) {
  const QString file = exportCourse(2, env.path("links.mdb"));
  {
    CDataAccess exchange{CDataAccess::Unconnected{}};
    exchange.OpenExchangeFile(file, ExchangeAccess::Write);
    exchange.ExecQuery(QString(), "insert into ProblemsContents (ProblemID,ContentID) values (987654,987654)");
    exchange.CloseConnection();
  }
  switchToEmptySystemDb();
  open();
  chooseAction(1);
  frame->txtFileName->setText(file);
  run();
  const QString message = ui->lastPrompt();
  EXPECT_TRUE(message.startsWith(Succeeded)) << message.toStdString();
  EXPECT_TRUE(message.contains("ProblemsContents 1")) << message.toStdString();
}

TEST_F(Transfer, ActionFourOnAMissingFolderReportsIt) {
  open();
  chooseAction(3);
  frame->txtFileName->setText(env.path("nowhere"));
  run();
  EXPECT_FALSE(ui->prompts().contains(Succeeded));
  EXPECT_TRUE(ui->lastPrompt().contains(env.path("nowhere")));
}

TEST_F(Transfer, SingleImportThatFailsShowsNoSuccess) {
  open();
  chooseAction(1);
  frame->txtFileName->setText(env.path("missing.mdb"));
  run();
  EXPECT_FALSE(ui->prompts().contains(Succeeded));
  EXPECT_FALSE(ui->prompts().isEmpty());  // the engine said why
  EXPECT_TRUE(frame->cmdIO->isEnabled());
}

TEST_F(Transfer, SingleExportCreatesTheExportFolderOnFirstUseAndReusesIt) {
  open();
  ASSERT_FALSE(QFileInfo::exists(exportFolder()));
  chooseAction(4);
  selectCourseRow(2);
  run();
  ASSERT_EQ(proposedFiles.size(), 1);
  const QString resolved = QFileInfo(exportFolder()).canonicalFilePath();
  EXPECT_EQ(proposedFiles[0], resolved + "/" + courseName(2) + ".mdb");
  EXPECT_TRUE(QFileInfo::exists(proposedFiles[0]));
  EXPECT_EQ(ui->openedFolders, QStringList{resolved});
  EXPECT_TRUE(frame->lblIO->isHidden());
  EXPECT_TRUE(frame->ProgressBar1->isHidden());
  EXPECT_EQ(window->sprCourse()->rowCount(), 5);

  selectCourseRow(3);
  run();
  ASSERT_EQ(proposedFiles.size(), 2);
  EXPECT_EQ(proposedFiles[1], resolved + "/" + courseName(3) + ".mdb");
  EXPECT_TRUE(QFileInfo::exists(proposedFiles[1]));
  EXPECT_EQ(ui->openedFolders.size(), 2);
}

TEST_F(Transfer, SingleExportNeedsASelectedCourseAndCancellingTheSaveDialogEndsSilently) {
  open();
  chooseAction(4);
  run();
  EXPECT_EQ(ui->prompts(), QStringList{"请先选择试卷"});
  EXPECT_EQ(ui->shown[0].flags, Vb::Exclamation);

  saveAnswer = QString();
  selectCourseRow(1);
  run();
  EXPECT_EQ(ui->shown.size(), 1u);
  EXPECT_TRUE(ui->openedFolders.isEmpty());
  EXPECT_TRUE(QDir(exportFolder()).entryList(QDir::Files).isEmpty());
}

TEST_F(Transfer, ExportOfAllWritesEveryListedCourseWithSafeNames) {
  env.exec("update Course set Name='图/表..' where CourseID=1");
  env.exec("update Course set Name='..' where CourseID=2");
  open();
  chooseAction(5);
  nextFolder = env.path("all");
  ASSERT_TRUE(QDir().mkpath(nextFolder));
  run();
  ASSERT_EQ(browseCalls.size(), 1);
  EXPECT_EQ(browseCalls[0][0], "选择导出的文件夹");
  EXPECT_EQ(browseCalls[0][1], QFileInfo(exportFolder()).canonicalFilePath());
  QStringList files = QDir(nextFolder).entryList(QDir::Files);
  EXPECT_EQ(files.size(), 5);
  EXPECT_TRUE(files.contains("图_表...mdb"));
  EXPECT_TRUE(files.contains("_.mdb"));
  EXPECT_EQ(ui->openedFolders, QStringList{nextFolder});
  EXPECT_TRUE(ui->prompts().isEmpty());
}

TEST_F(Transfer, ExportOfAllCancelledOrWithoutCoursesWritesNothing) {
  open();
  chooseAction(5);
  nextFolder = "";
  run();
  EXPECT_TRUE(ui->shown.empty());
  EXPECT_TRUE(ui->openedFolders.isEmpty());

  env.exec("delete from Course");
  window->RefreshCourse();
  run();
  EXPECT_EQ(ui->prompts(), QStringList{"请先选择试卷"});
}

TEST_F(Transfer, ExportFailuresAreShownWithTheProcedureAsTitleAndTheDisplayRestored) {
  open();
  const QString working = QString::fromUtf8([this] {
    QFile ini(programFolder() + "/odbc.ini");
    return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
  }());
  const auto writeIni = [this](const QString& text) {
    QFile ini(programFolder() + "/odbc.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ini.write(text.toUtf8());
  };
  const QString broken = "[ODBC]\r\nConnectionString=Driver=SQLite3;Database=" + env.path("gone/none.db") + "\r\n";

  writeIni(broken);
  chooseAction(4);
  selectCourseRow(1);
  run();
  ASSERT_GE(ui->shown.size(), 1u);
  EXPECT_TRUE(ui->shown[0].prompt.startsWith("发生错误：")) << ui->shown[0].prompt.toStdString();
  EXPECT_TRUE(ui->shown[0].prompt.contains("none.db"));
  EXPECT_EQ(ui->shown[0].title, "ExportCourseSingle");
  EXPECT_EQ(ui->shown[0].flags, Vb::Critical);

  writeIni(working);
  window->RefreshCourse();
  ui->shown.clear();
  writeIni(broken);
  chooseAction(5);
  nextFolder = env.path("all");
  ASSERT_TRUE(QDir().mkpath(nextFolder));
  run();
  ASSERT_GE(ui->shown.size(), 1u);
  EXPECT_EQ(ui->shown[0].title, "ExportCourseAll");
  EXPECT_TRUE(ui->shown[0].prompt.contains("none.db"));

  EXPECT_TRUE(ui->openedFolders.isEmpty());
  EXPECT_TRUE(QDir(nextFolder).entryList(QDir::Files).isEmpty());
  EXPECT_TRUE(frame->lblIO->isHidden());
  EXPECT_TRUE(frame->ProgressBar1->isHidden());
  EXPECT_TRUE(frame->cmdIO->isEnabled());
}

// Cancelled while the worker waits on the name-conflict answer: the import goes
// on to its next cancel point, rolls back, and says so.
TEST_F(Transfer, CancelledImportLeavesTheSystemDatabaseAsItWas) {
  const QString file = exportCourse(2, env.path("again.mdb"));
  open();
  chooseAction(1);
  frame->txtFileName->setText(file);
  const QStringList before = courseNames();
  ui->answers.push_back(Vb::OK);  // import it under a new name
  ui->onAsk = [&](Question q) {
    EXPECT_EQ(q, Question::RenameConflictingCourse);
    EXPECT_TRUE(frame->cmdCancel->isEnabled());
    frame->cmdCancel->click();
  };
  run();
  EXPECT_EQ(courseNames(), before);
  EXPECT_EQ(ui->lastPrompt(), "导入已取消，系统数据库没有改动。");
  EXPECT_TRUE(frame->cmdIO->isEnabled());
  EXPECT_TRUE(frame->cboAction->isEnabled());
}

TEST_F(Transfer, CancelledExportKeepsTheExistingFileAndTheSelectedCourse) {
  open();
  chooseAction(4);
  selectCourseRow(3);
  run();
  ASSERT_EQ(proposedFiles.size(), 1);
  QFile written(proposedFiles[0]);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  const QByteArray before = written.readAll();
  written.close();

  ui->answers = {Vb::Yes, Vb::Yes};  // replace it
  ui->onAsk = [&](Question q) {
    if (q == Question::EmptyExchangeFile) frame->cancelTransfer();
  };
  run();
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_TRUE(written.readAll() == before) << "a cancelled export changed the file";
  EXPECT_TRUE(ui->lastPrompt().startsWith("导出已取消")) << ui->lastPrompt().toStdString();
  EXPECT_EQ(frmCorvina::ActiveRow(window->sprCourse()), 3) << "the course stays selected";
}

// Pairing by hand while the import runs in its worker: the form is shown by
// the GUI thread, its buttons run in the worker where the connections live.
TEST_F(Transfer, PairingByHandRunsTheFormsButtonsInTheImportsThread) {
  const QString file = exportCourse(2, env.path("by hand.mdb"));
  const QStringList before = courseNames();
  open();
  chooseAction(0);
  frame->txtFileName->setText(file);
  ui->answers.push_back(Vb::OK);  // the course exists: import it renamed
  ui->eachMappingStep = [](MappingModel& form) {
    EXPECT_TRUE(form.isLoaded());
    form.press(&MappingModel::cmdNameLink_Click);
    form.press(&MappingModel::Finish_Click);
    EXPECT_FALSE(form.isLoaded()) << form.Caption.toStdString();
  };
  ui->onAsk = [&](Question q) {
    if (q != Question::RenameConflictingCourse) ui->answers.push_front(Vb::Yes);  // create what has no partner
  };
  run();
  EXPECT_EQ(courseNames().size(), before.size() + 1);
  EXPECT_EQ(ui->lastPrompt(), Succeeded);
  int forms = 0;
  for (const auto& s : ui->shown) forms += s.kind == QLatin1String("mapping") ? 1 : 0;
  EXPECT_GE(forms, 2) << "the subject and feature forms at least";
}

TEST(SafeFileName, SlashesNulAndDotNamesBecomeUnderscores) {
  EXPECT_EQ(SafeFileName("数据结构"), "数据结构");
  EXPECT_EQ(SafeFileName("../etc/passwd"), ".._etc_passwd");
  EXPECT_EQ(SafeFileName(QString("a") + QChar(0) + "b"), "a_b");
  EXPECT_EQ(SafeFileName("."), "_");
  EXPECT_EQ(SafeFileName(".."), "_");
  EXPECT_EQ(SafeFileName("O'Brien 的课程"), "O'Brien 的课程");
}

}  // namespace
