#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <signal.h>

#include "Version.h"
#include "data/CDataAccess.h"

namespace {

// One program folder with its own demo system database, driven through the
// built executable exactly as an administrator would run it.
class Home {
 public:
  Home() {
    QFile::copy(QStringLiteral(CORVINA_BINARY_DIR "/Template.mdb"), path("Template.mdb"));
    QFile::setPermissions(path("Template.mdb"), QFile::ReadOwner | QFile::WriteOwner);
    const auto r = run({"init-demo"}, {});
    EXPECT_EQ(r.status, 0) << r.err.toStdString();
  }
  QString path(const QString& name) const { return dir_.path() + '/' + name; }

  struct Result {
    int status = -1;
    QString out;
    QString err;
  };
  Result run(const QStringList& args, const QString& password = QStringLiteral("admin")) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVINA_HOME", dir_.path());
    env.remove("CORVINA_PASSWORD");
    if (!password.isNull()) env.insert("CORVINA_PASSWORD", password);
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setWorkingDirectory(dir_.path());  // where a stray relative file would land
    p.start(QStringLiteral(CORVINA_BINARY_DIR "/corvina"), args);
    if (!p.waitForFinished(120000)) p.kill();
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
  }
  Result admin(QStringList args) const {
    args.insert(1, "--user");
    args.insert(2, "admin");
    return run(args);
  }
  QVariant scalar(const QString& sql) const {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection("Driver=SQLite3;Database=" + path("demo/system.db"));
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sql, rs);
    return rs->Eof() ? QVariant() : rs->Value(0);
  }

 private:
  QTemporaryDir dir_;
};

QString courseCount(const Home& h) { return h.scalar("select count(*) from Course").toString(); }

TEST(CommandLine, ExportedCourseArrivesInAnotherSystemDatabase) {
  Home from, to;
  const QString file = from.path("os.mdb");
  const auto exported = from.admin({"export", "--course", "2", "--out", file});
  ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
  EXPECT_EQ(exported.out.trimmed(), file);
  EXPECT_TRUE(exported.err.contains("导出完成！"));

  // The receiving database already has a course of that name: renamed with the date.
  const auto declined = to.admin({"import", file});
  EXPECT_EQ(declined.status, 1);
  EXPECT_TRUE(declined.out.startsWith("failed\t" + file));
  EXPECT_TRUE(declined.out.contains("--rename-on-conflict"));
  const QString before = courseCount(to);

  // A dry run says what would happen and leaves the database alone.
  const auto preview = to.admin({"import", "--rename-on-conflict", "--dry-run", file});
  ASSERT_EQ(preview.status, 0) << preview.err.toStdString();
  EXPECT_TRUE(preview.out.startsWith("would import\t" + file + "\n  预览，没有写入任何数据。")) << preview.out.toStdString();
  EXPECT_TRUE(preview.out.contains("Course 1")) << preview.out.toStdString();
  EXPECT_EQ(courseCount(to), before);

  const auto imported = to.admin({"import", "--rename-on-conflict", file});
  ASSERT_EQ(imported.status, 0) << imported.err.toStdString();
  EXPECT_TRUE(imported.out.startsWith("imported\t" + file));
  EXPECT_EQ(courseCount(to).toInt(), before.toInt() + 1);
  const QString newId = to.scalar("select max(CourseID) from Course").toString();
  EXPECT_TRUE(to.scalar("select Name from Course where CourseID=" + newId).toString().startsWith("操作系统["));
  const auto contents = [](const Home& h, const QString& id) {
    return h.scalar("select count(*) from Content where CourseID=" + id).toInt();
  };
  EXPECT_EQ(contents(to, newId), contents(from, "2"));
  EXPECT_GT(contents(to, newId), 0);
  EXPECT_EQ(to.scalar("select count(*) from ProblemsContents pc join Content c on c.ContentID=pc.ContentID "
                      "where c.CourseID=" + newId).toInt(),
            from.scalar("select count(*) from ProblemsContents pc join Content c on c.ContentID=pc.ContentID "
                        "where c.CourseID=2").toInt());
}

TEST(CommandLine, RefusedLoginsPrintTheLoginsMessageAndExitOne) {
  Home h;
  auto wrong = h.run({"subjects", "--user", "admin"}, "nope");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_TRUE(wrong.err.contains("您输入的用户名和密码有误，请重新输入！"));
  EXPECT_TRUE(wrong.out.isEmpty());

  auto noRight = h.run({"subjects", "--user", "teacher"}, "teacher");
  EXPECT_EQ(noRight.status, 1);
  EXPECT_TRUE(noRight.err.contains("您没有导入课程的权限，请和系统管理员联系!"));

  auto quote = h.run({"courses", "--user", "ad'min"}, "admin");
  EXPECT_EQ(quote.status, 1);
  EXPECT_TRUE(quote.err.contains("用户名和密码中包含有非法字符，请重新输入!"));

  auto noPassword = h.run({"subjects", "--user", "admin"}, QString());
  EXPECT_EQ(noPassword.status, 1);
}

TEST(CommandLine, ListingsAreTabSeparated) {
  Home h;
  const auto subjects = h.admin({"subjects"});
  ASSERT_EQ(subjects.status, 0);
  const QStringList lines = subjects.out.trimmed().split('\n');
  EXPECT_EQ(lines.size(), h.scalar("select count(*) from Subject").toInt());
  EXPECT_EQ(lines.first().split('\t').size(), 3);

  const QString subject = h.scalar("select KeySubjectID from Course where CourseID=1").toString();
  const auto courses = h.admin({"courses", "--subject", subject});
  ASSERT_EQ(courses.status, 0);
  EXPECT_EQ(courses.out.trimmed().split('\n').size(),
            h.scalar("select count(*) from Course where KeySubjectID=" + subject).toInt());
}

TEST(CommandLine, ExistingFileIsNotOverwrittenWithoutBeingAskedTo) {
  Home h;
  const QString file = h.path("keep.mdb");
  ASSERT_EQ(h.admin({"export", "--course", "1", "--out", file}).status, 0);
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray before = f.readAll();
  f.close();

  const auto again = h.admin({"export", "--course", "3", "--out", file});
  EXPECT_EQ(again.status, 1);
  EXPECT_TRUE(again.err.contains("--overwrite"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
  f.close();

  EXPECT_EQ(h.admin({"export", "--course", "3", "--out", file, "--overwrite"}).status, 0);
}

TEST(CommandLine, NotAnExchangeFileFailsWithTheConnectionMessage) {
  Home h;
  QFile junk(h.path("junk.mdb"));
  junk.open(QIODevice::WriteOnly);
  junk.write("plain text, not a database");
  junk.close();
  const QString before = courseCount(h);
  const auto r = h.admin({"import", h.path("junk.mdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.err.contains("连接数据库失败！"));
  EXPECT_TRUE(r.out.startsWith("failed\t"));
  EXPECT_EQ(courseCount(h), before);
}

TEST(CommandLine, FolderImportTakesMdbFilesInAnyCaseButNotSubfolders) {
  Home from, to;
  QDir(from.path("")).mkpath("bank/sub");
  ASSERT_EQ(from.admin({"export", "--course", "3", "--out", from.path("bank/a.MDB")}).status, 0);
  ASSERT_EQ(from.admin({"export", "--course", "4", "--out", from.path("bank/b.mdb")}).status, 0);
  ASSERT_EQ(from.admin({"export", "--course", "5", "--out", from.path("bank/sub/c.mdb")}).status, 0);
  QFile::copy(from.path("bank/b.mdb"), from.path("bank/b.txt"));
  to.admin({"import", "--folder", from.path("bank"), "--rename-on-conflict"});
  const auto r = to.admin({"courses"});
  EXPECT_EQ(r.out.count("[20"), 2) << r.out.toStdString();
}

TEST(CommandLine, UsageErrorsExitTwoAndHelpExitsZero) {
  Home h;
  EXPECT_EQ(h.run({"export", "--course", "1"}).status, 2);            // no --user
  EXPECT_EQ(h.admin({"export", "--bogus"}).status, 2);                // unknown option
  EXPECT_EQ(h.admin({"export", "--course", "x"}).status, 2);          // not a number
  EXPECT_EQ(h.admin({"export"}).status, 2);                           // neither --course nor --all
  EXPECT_EQ(h.admin({"import"}).status, 2);                           // no files
  EXPECT_EQ(h.run({"nonsense"}).status, 2);
  for (const char* c : {"subjects", "courses", "export", "import", "export-paper", "import-paper"}) {
    const auto help = h.run({c, "--help"});
    EXPECT_EQ(help.status, 0) << c;
    EXPECT_TRUE(help.out.contains(QStringLiteral("usage: corvina ") + c)) << c;
  }
}

TEST(CommandLine, FileNamesWithControlCharactersArePrintedEscapedOnOneLine) {
  Home h;
  const struct {
    const char* name;
    const char* shown;
  } rows[] = {{"two\nlines.mdb", "two\\nlines.mdb"}, {"tab\there.mdb", "tab\\there.mdb"},
              {"back\\slash.mdb", "back\\\\slash.mdb"}};
  for (const auto& row : rows) {
    const auto exported = h.admin({"export", "--course", "1", "--out", h.path(row.name)});
    ASSERT_EQ(exported.status, 0) << exported.err.toStdString();
    EXPECT_EQ(exported.out, h.path(row.shown) + '\n');
  }
  const auto imported = h.admin({"import", "--rename-on-conflict", h.path(rows[0].name)});
  EXPECT_EQ(imported.out.count('\n'), 1) << imported.out.toStdString();
  EXPECT_TRUE(imported.out.startsWith("imported\t" + h.path(rows[0].shown)));
  EXPECT_TRUE(h.run({"--help"}).out.contains("C escapes"));
}

// Asking for help or the version never does a command's work: no file is
// written, the demo database is not made again, nobody is asked to log in.
TEST(CommandLine, HelpAndVersionDoNoWork) {
  Home h;
  const QDateTime demoMade = QFileInfo(h.path("demo/system.db")).lastModified();
  const struct {
    QStringList args;
    QString expectedOut;
  } rows[] = {
      {{"make-template", "--help"}, "usage: corvina make-template"},
      {{"make-template", "x.mdb", "-h"}, "usage: corvina make-template"},
      {{"init-demo", "--help"}, "usage: corvina init-demo"},
      {{"init-demo", "--force", "--help"}, "usage: corvina init-demo"},
      {{"--help"}, "corvina --version"},
      {{"--version"}, "Corvina " CORVINA_VERSION_TEXT "\n"},
  };
  for (const auto& row : rows) {
    const auto r = h.run(row.args, QString());
    EXPECT_EQ(r.status, 0) << row.args.join(' ').toStdString();
    EXPECT_TRUE(r.out.contains(row.expectedOut)) << r.out.toStdString();
  }
  EXPECT_FALSE(QFile::exists(h.path("--help")));
  EXPECT_FALSE(QFile::exists(h.path("x.mdb")));
  EXPECT_EQ(QFileInfo(h.path("demo/system.db")).lastModified(), demoMade);
  EXPECT_EQ(h.run({"make-template", "--bogus"}).status, 2);

  QProcess cli;
  cli.start(QStringLiteral(CORVINA_BINARY_DIR "/corvina-cli"), {"--version"});
  ASSERT_TRUE(cli.waitForFinished(30000));
  EXPECT_EQ(QString::fromUtf8(cli.readAllStandardOutput()), "Corvina " CORVINA_VERSION_TEXT "\n");
}

TEST(CommandLine, PaperTravelsAndImportingTwiceMakesTwoCopies) {
  Home from, to;
  const QString paperId = from.scalar("select min(PaperID) from Paper").toString();
  const QString file = from.path("paper.mdb");
  ASSERT_EQ(from.admin({"export-paper", "--paper", paperId, "--out", file}).status, 0);
  const int sheets = from.scalar("select count(*) from AnswerSheet where PaperID=" + paperId).toInt();
  const int papersBefore = to.scalar("select count(*) from Paper").toInt();
  const int sheetsBefore = to.scalar("select count(*) from AnswerSheet").toInt();
  ASSERT_EQ(to.admin({"import-paper", file, file}).status, 0);
  EXPECT_EQ(to.scalar("select count(*) from Paper").toInt(), papersBefore + 2);
  EXPECT_EQ(to.scalar("select count(*) from AnswerSheet").toInt(), sheetsBefore + 2 * sheets);
}

}  // namespace

namespace {
// Starts a command and sends it a signal once its progress reaches a stage.
int signalledAt(const Home& h, const QString& home, const QStringList& args, const QString& stage, int signal) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("CORVINA_HOME", home);
  env.insert("CORVINA_PASSWORD", "admin");
  p.setProcessEnvironment(env);
  p.setReadChannel(QProcess::StandardError);  // progress comes on standard error
  p.start(QStringLiteral(CORVINA_BINARY_DIR "/corvina-cli"), args);
  QByteArray seen;
  while (!seen.contains(stage.toUtf8()) && p.waitForReadyRead(60000)) seen += p.readAllStandardError();
  EXPECT_TRUE(seen.contains(stage.toUtf8())) << seen.toStdString();
  // A command that already ended has no pid: kill(0) would signal this test's own process group.
  const auto pid = static_cast<pid_t>(p.processId());
  if (pid <= 0) return p.exitCode() == 0 ? -1 : p.exitCode();
  ::kill(pid, signal);
  EXPECT_TRUE(p.waitForFinished(60000));
  (void)h;
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
}  // namespace

// SIGTERM or SIGINT part-way: the transfer is rolled back, exit status 130.
// The course is large enough that the work after the stage that is waited
// for takes far longer than the signal needs to arrive.
TEST(CommandLine, SignalsCancelTransfersAndLeaveEverythingAsItWas) {
  Home h;
  ASSERT_EQ(h.run({"init-demo", "--force", "--problems", "20000"}, {}).status, 0);
  const QString file = h.path("big.mdb");
  ASSERT_EQ(h.admin({"export", "--course", "1", "--out", file}).status, 0);
  const QString home = QFileInfo(h.path("x")).absolutePath();

  const QString courses = courseCount(h);
  EXPECT_EQ(signalledAt(h, home, {"import", "--user", "admin", "--rename-on-conflict", file}, "[ 10%]", SIGTERM), 130);
  EXPECT_EQ(courseCount(h), courses);

  const QString other = h.path("other.mdb");
  EXPECT_EQ(signalledAt(h, home, {"export", "--user", "admin", "--course", "1", "--out", other}, "[ 10%]", SIGINT), 130);
  EXPECT_FALSE(QFile::exists(other));
  EXPECT_EQ(QDir(home).entryList({".corvina-export-*"}, QDir::Files | QDir::Hidden), QStringList());
}
