// Photographs the preview of a course update as the main window shows it:
// a demo system database in a program folder of its own, its first course
// exported and revised (three problems changed, two added, one removed, a
// content renamed and one added), then the action 更新课程 run on that file
// through the window. Meant to run under Xvfb with a window manager.
// usage: update_preview_screens OUTPUT_FOLDER
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "data/Schema.h"
#include "export/CExport.h"
#include "ui/AppSetup.h"
#include "ui/QtInteraction.h"
#include "ui/TransferFrame.h"
#include "ui/frmCorvina.h"
#include "ui/frmUpdatePreview.h"

#include "ScreenSupport.h"

namespace {
const QStringList kRevision{
    "update Problem set Body='（修订）' || Body where ProblemID in (select ProblemID from Problem order by ProblemID limit 3)",
    "delete from ProblemsContents where ProblemID=(select max(ProblemID) from Problem)",
    "delete from ProblemsFeatures where ProblemID=(select max(ProblemID) from Problem)",
    "delete from Problem where ProblemID=(select max(ProblemID) from Problem)",
    "insert into Problem select max(ProblemID)+1, NULL, 'NEW-1', '新增的题目一', NULL, 5, NULL from Problem",
    "insert into Problem select max(ProblemID)+1, NULL, NULL, '新增的题目二（没有编码）', NULL, 5, NULL from Problem",
    "insert into ProblemsContents select p.ProblemID, (select min(ContentID) from Content), NULL from Problem p "
    "where p.ProblemID>=(select max(ProblemID)-1 from Problem)",
    "update Content set Name=Name || '（改名）' where ContentID=(select max(ContentID) from Content)",
    "insert into Content select max(ContentID)+1, min(CourseID), 0, 0, '新增章节', NULL, NULL from Content"};

// A program folder with the demo database and the revised export of its first course.
QString PrepareFolder(const QString& home) {
  QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Template.sqlite.mdb"), home + "/Template.mdb");
  QFile::setPermissions(home + "/Template.mdb", QFile::ReadOwner | QFile::WriteOwner);
  QFile(home + "/system.db").open(QIODevice::WriteOnly);
  QFile ini(home + "/odbc.ini");
  ini.open(QIODevice::WriteOnly);
  ini.write("[ODBC]\r\nConnectionString=Driver=SQLite3;Database=" + (home + "/system.db").toUtf8() + "\r\n");
  ini.close();
  qputenv("CORVINA_HOME", home.toUtf8());
  int course = 0;
  {
    CDataAccess dal;
    dal.BeginTrans();
    Schema::createSystemTables(dal);
    dal.CommitTrans();
    course = DemoData::create(dal).bigCourseId;
  }
  QString file = home + "/revised.mdb";
  CExport(interaction()).ExportCourseData(file, course);
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenExchangeFile(file, ExchangeAccess::Write);
  for (const QString& sql : kRevision) dal.ExecQuery(sql);
  dal.CloseConnection();
  return file;
}
}  // namespace

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc < 2) {
    QTextStream(stderr) << "usage: update_preview_screens OUTPUT_FOLDER\n";
    return 2;
  }
  PrepareApplication(app);
  Screens::outputFolder() = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(Screens::outputFolder());
  QTemporaryDir home;
  const QString file = PrepareFolder(home.path());
  Interaction::install(std::make_shared<QtInteraction>());

  frmCorvina w;
  w.show();
  w.sprSubject()->selectRow(0);
  w.findChild<QTabWidget*>(QStringLiteral("tabMain"))->setCurrentIndex(1);
  w.findChild<QTabWidget*>(QStringLiteral("tabCourse"))->setCurrentIndex(1);
  TransferFrame* frame = w.Frame3();
  frame->cboAction->setCurrentIndex(frame->cboAction->count() - 1);
  emit frame->cboAction->activated(frame->cboAction->count() - 1);
  frame->txtFileName->setText(file);
  Screens::shoot(QStringLiteral("update-action"));
  // The preview comes up from the worker; it is photographed and declined.
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (auto* preview = qobject_cast<frmUpdatePreview*>(QApplication::activeModalWidget())) {
      poll.stop();
      Screens::shoot(QStringLiteral("update-preview"));
      preview->reject();
    }
  });
  QObject::connect(frame, &TransferFrame::transferFinished, &app, &QApplication::quit);
  poll.start(200);
  QTimer::singleShot(0, [frame] { frame->cmdIO->click(); });
  return app.exec();
}
