#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <signal.h>

#include "data/CDataAccess.h"

namespace {

// A program folder with its own demo system database, driven through the
// built executable as an administrator would run it.
class Home {
 public:
  Home() {
    QFile::copy(QStringLiteral(CORVINA_BINARY_DIR "/Template.mdb"), path("Template.mdb"));
    QFile::setPermissions(path("Template.mdb"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(run({"init-demo"}).status, 0);
  }
  QString home() const { return dir_.path(); }
  QString path(const QString& name) const { return home() + '/' + name; }
  struct Result {
    int status = -1;
    QString out, err;
  };
  // An empty password: none given.
  Result run(const QStringList& args, const QString& password = "admin") const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVINA_HOME", dir_.path());
    env.remove("CORVINA_PASSWORD");
    if (!password.isEmpty()) env.insert("CORVINA_PASSWORD", password);
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setWorkingDirectory(dir_.path());  // where a stray relative file would land
    p.start(QStringLiteral(CORVINA_BINARY_DIR "/corvina"), args);
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
  }
  QString scalar(const QString& sql) const {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection("Driver=SQLite3;Database=" + path("demo/system.db"));
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sql, rs);
    return rs->Eof() ? QString() : rs->Value(0).toString();
  }
  int courses() const { return scalar("select count(*) from Course").toInt(); }

 private:
  QTemporaryDir dir_;
};

// Exit statuses: 0 done, 1 failed, 2 usage. "@" stands for the program
// folder, "%S" for the subject of course 1.
TEST(CommandLine, ExitStatusesAndWhatIsPrinted) {
  Home h;
  QFile junk(h.path("junk.mdb"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("plain text, not a database") > 0);
  junk.close();
  QDir().mkpath(h.path("all"));
  const int courses = h.courses();
  const QString subject = h.scalar("select KeySubjectID from Course where CourseID=1");
  const struct {
    QStringList args;
    QString password;
    int status;
    QString out, err;  // fragments
  } rows[] = {
      {{"export", "--user", "admin", "--course", "2", "--out", "@/os.mdb"}, "admin", 0, "@/os.mdb\n", "导出完成！"},
      {{"export", "--user", "admin", "--course", "3", "--out", "@/os.mdb"}, "admin", 1, "", "--overwrite"},
      {{"export", "--user", "admin", "--course", "1", "--out", "@/two\nlines.mdb"}, "admin", 0, "@/two\\nlines.mdb\n", ""},
      {{"subjects", "--user", "admin"}, "nope", 1, "", "您输入的用户名和密码有误，请重新输入！"},
      {{"subjects", "--user", "teacher"}, "teacher", 1, "", "您没有导入课程的权限，请和系统管理员联系!"},
      {{"courses", "--user", "ad'min"}, "admin", 1, "", "用户名和密码中包含有非法字符，请重新输入!"},
      {{"subjects", "--user", "admin"}, "", 1, "", ""},
      {{"subjects", "--user", "admin"}, "admin", 0, "\t", ""},
      {{"export", "--course", "1"}, "admin", 2, "", ""},
      {{"export", "--user", "admin", "--bogus"}, "admin", 2, "", ""},
      {{"export", "--user", "admin", "--course", "x"}, "admin", 2, "", ""},
      {{"export", "--user", "admin"}, "admin", 2, "", "--course ID or --all"},
      {{"import", "--user", "admin"}, "admin", 2, "", ""},
      {{"nonsense"}, "", 2, "", ""},
      {{"make-template", "--bogus"}, "", 2, "", ""},
      {{"import", "--user", "admin", "@/os.mdb"}, "admin", 1,
       "failed\t@/os.mdb\ta course of this name exists (use --rename-on-conflict", ""},
      {{"import", "--user", "admin", "--dry-run", "@/junk.mdb"}, "admin", 1, "failed\t@/junk.mdb", "连接数据库失败！"},
      {{"import", "--user", "admin", "--dry-run", "--rename-on-conflict", "@/os.mdb"}, "admin", 0,
       "would import\t@/os.mdb\n  预览，没有写入任何数据。", ""},
      // One failing file among several.
      {{"import", "--user", "admin", "--rename-on-conflict", "@/junk.mdb", "@/os.mdb"}, "admin", 1,
       "failed\t@/junk.mdb", "1 of 2 files imported"},
      {{"export", "--user", "admin", "--all", "--subject", "%S", "--dir", "@/all"}, "admin", 0, "@/all/", ""},
      {{"export", "--user", "admin", "--all", "--subject", "%S", "--dir", "@/all"}, "admin", 1, "", "exports failed"},
      // Help does no work: no file made, the demo database not made again.
      {{"import", "--help"}, "", 0, "usage: corvina import", ""},
      {{"make-template", "x.mdb", "-h"}, "", 0, "usage: corvina make-template", ""},
      {{"init-demo", "--force", "--help"}, "", 0, "usage: corvina init-demo", ""},
  };
  for (const auto& row : rows) {
    QStringList args = row.args;
    args.replaceInStrings("@", h.home()).replaceInStrings("%S", subject);
    const auto r = h.run(args, row.password);
    const std::string what = args.join(' ').toStdString();
    EXPECT_EQ(r.status, row.status) << what << "\n" << r.err.toStdString();
    EXPECT_TRUE(r.out.contains(QString(row.out).replace("@", h.home()))) << what << "\n" << r.out.toStdString();
    EXPECT_TRUE(r.err.contains(row.err)) << what << "\n" << r.err.toStdString();
  }
  EXPECT_EQ(h.courses(), courses + 1);  // refusals, failures and the dry run wrote nothing
  EXPECT_TRUE(h.scalar("select Name from Course where CourseID=(select max(CourseID) from Course)").startsWith("操作系统["));
  EXPECT_FALSE(QFile::exists(h.path("x.mdb")));
}

// A course exported from one system database arrives whole in another; a
// folder import takes .mdb files in any case but not subfolders. Papers
// imported twice make two copies.
TEST(CommandLine, CoursesAndPapersTravelBetweenSystemDatabases) {
  Home from, to;
  QDir().mkpath(from.path("bank/sub"));
  ASSERT_EQ(from.run({"export", "--user", "admin", "--course", "2", "--out", from.path("bank/a.MDB")}).status, 0);
  ASSERT_EQ(from.run({"export", "--user", "admin", "--course", "3", "--out", from.path("bank/sub/c.mdb")}).status, 0);
  QFile::copy(from.path("bank/a.MDB"), from.path("bank/b.txt"));
  const int before = to.courses();
  const auto r = to.run({"import", "--user", "admin", "--folder", from.path("bank"), "--rename-on-conflict"});
  ASSERT_EQ(r.status, 0) << r.err.toStdString();
  EXPECT_EQ(to.courses(), before + 1);
  const QString id = to.scalar("select max(CourseID) from Course");
  const QString problems = "select count(*) from ProblemsContents pc join Content c on c.ContentID=pc.ContentID "
                           "where c.CourseID=";
  EXPECT_EQ(to.scalar("select count(*) from Content where CourseID=" + id),
            from.scalar("select count(*) from Content where CourseID=2"));
  EXPECT_EQ(to.scalar(problems + id), from.scalar(problems + "2"));
  EXPECT_GT(to.scalar(problems + id).toInt(), 0);

  const QString paper = from.scalar("select min(PaperID) from Paper");
  const QString file = from.path("paper.mdb");
  ASSERT_EQ(from.run({"export-paper", "--user", "admin", "--paper", paper, "--out", file}).status, 0);
  const int sheets = from.scalar("select count(*) from AnswerSheet where PaperID=" + paper).toInt();
  const int papersBefore = to.scalar("select count(*) from Paper").toInt();
  const int sheetsBefore = to.scalar("select count(*) from AnswerSheet").toInt();
  ASSERT_EQ(to.run({"import-paper", "--user", "admin", file, file}).status, 0);
  EXPECT_EQ(to.scalar("select count(*) from Paper").toInt(), papersBefore + 2);
  EXPECT_EQ(to.scalar("select count(*) from AnswerSheet").toInt(), sheetsBefore + 2 * sheets);
}

// Starts a command, waits for its first progress line on standard error and
// sends it the signal: the transfer is rolled back and the status is 130.
int signalledAt(const Home& h, const QStringList& args, int signal) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("CORVINA_HOME", h.home());
  env.insert("CORVINA_PASSWORD", "admin");
  p.setProcessEnvironment(env);
  p.setReadChannel(QProcess::StandardError);
  p.start(QStringLiteral(CORVINA_BINARY_DIR "/corvina-cli"), args);
  QByteArray seen;
  while (!seen.contains("[ 10%]") && p.waitForReadyRead(-1)) seen += p.readAllStandardError();
  EXPECT_TRUE(seen.contains("[ 10%]")) << seen.toStdString();
  ::kill(static_cast<pid_t>(p.processId()), signal);
  p.waitForFinished(-1);
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// The course is large enough that the work after the first progress line
// outlasts the signal's delivery.
TEST(CommandLine, SignalsCancelTransfersAndLeaveEverythingAsItWas) {
  Home h;
  ASSERT_EQ(h.run({"init-demo", "--force", "--problems", "20000"}).status, 0);
  const QString file = h.path("big.mdb");
  ASSERT_EQ(h.run({"export", "--user", "admin", "--course", "1", "--out", file}).status, 0);
  const int courses = h.courses();
  EXPECT_EQ(signalledAt(h, {"import", "--user", "admin", "--rename-on-conflict", file}, SIGTERM), 130);
  EXPECT_EQ(h.courses(), courses);
  EXPECT_EQ(signalledAt(h, {"export", "--user", "admin", "--course", "1", "--out", h.path("other.mdb")}, SIGINT), 130);
  EXPECT_FALSE(QFile::exists(h.path("other.mdb")));
  EXPECT_EQ(QDir(h.path("")).entryList({".corvina-export-*"}, QDir::Files | QDir::Hidden), QStringList());
}

}  // namespace
