#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <signal.h>

#include "data/CDataAccess.h"

namespace {

// A program folder with its own demo system database, driven through the
// built executable as an administrator would run it.
struct Home {
  QTemporaryDir dir;
  Home() {
    QFile::copy(CORVINA_BINARY_DIR "/Template.mdb", path("Template.mdb"));
    QFile::setPermissions(path("Template.mdb"), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(run({"init-demo"}).status, 0);
  }
  QString path(const QString& name = {}) const { return dir.path() + '/' + name; }
  struct Result { int status; QString out, err; };
  // Without a password none is given.
  Result run(const QStringList& args, const QString& password = "admin", bool cli = false, int signal = 0) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("CORVINA_HOME", dir.path());
    env.remove("CORVINA_PASSWORD");
    if (!password.isEmpty()) env.insert("CORVINA_PASSWORD", password);
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setWorkingDirectory(dir.path());  // where a stray relative file would land
    p.start(cli ? CORVINA_BINARY_DIR "/corvina-cli" : CORVINA_BINARY_DIR "/corvina", args);
    QByteArray err;
    p.setReadChannel(QProcess::StandardError);
    // A signal goes once the first progress line is out, never after a delay.
    while (signal && !err.contains("[ 10%]") && p.waitForReadyRead(-1)) err += p.readAllStandardError();
    if (signal) {
      EXPECT_TRUE(err.contains("[ 10%]")) << err.toStdString();
      // A command that already ended has no pid, and kill(0) would signal this test's own process group.
      if (const auto pid = static_cast<pid_t>(p.processId()); pid > 0) ::kill(pid, signal);
    }
    p.waitForFinished(-1);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(err + p.readAllStandardError())};
  }
  QString scalar(const QString& sql) const {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection("Driver=SQLite3;Database=" + path("demo/system.db"));
    Bulk::Query rows = dal.OpenQuery(sql);
    return rows.next() ? rows.value(0).toString() : QString();
  }
  int count(const QString& table) const { return scalar("select count(*) from " + table).toInt(); }
  void exec(const QString& sql) const {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenConnection("Driver=SQLite3;Database=" + path("demo/system.db"));
    dal.ExecQuery(sql);
  }
};

// Exit statuses 0 done, 1 failed, 2 usage; "@" is the program folder, "%S" the subject of course 1.
TEST(CommandLine, ExitStatusesAndWhatIsPrinted) {
  Home h;
  QFile junk(h.path("junk.mdb"));
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly) && junk.write("plain text, not a database") > 0);
  junk.close();
  QDir().mkpath(h.path("all"));
  const int courses = h.count("Course");
  const struct {
    QStringList args;
    QString password;
    int status;
    QString out, err;  // fragments
  } rows[] = {
      {{"export", "--user", "admin", "--course", "2", "--out", "@os.mdb"}, "admin", 0, "@os.mdb\n", "导出完成！"},
      {{"export", "--user", "admin", "--course", "3", "--out", "@os.mdb"}, "admin", 1, "", "--overwrite"},
      {{"export", "--user", "admin", "--course", "1", "--out", "@two\nlines.mdb"}, "admin", 0, "@two\\nlines.mdb\n", ""},
      {{"subjects", "--user", "admin"}, "nope", 1, "", "您输入的用户名和密码有误，请重新输入！"},
      {{"subjects", "--user", "teacher"}, "teacher", 1, "", "您没有导入课程的权限，请和系统管理员联系!"},
      {{"courses", "--user", "ad'min"}, "admin", 1, "", "用户名和密码中包含有非法字符，请重新输入!"},
      {{"subjects", "--user", "admin"}, "", 1, "", ""},
      {{"subjects", "--user", "admin"}, "admin", 0, "\t", ""},
      {{"export", "--course", "1"}, "admin", 2, "", ""},
      {{"export", "--user", "admin", "--bogus"}, "admin", 2, "", ""},
      {{"export", "--user", "admin", "--course", "x"}, "admin", 2, "", ""},
      {{"export", "--user", "admin"}, "admin", 2, "", "--course ID or --all"},
      {{"nonsense"}, "", 2, "", ""},
      {{"make-template", "--bogus"}, "", 2, "", ""},
      {{"import", "--user", "admin", "@os.mdb"}, "admin", 1, "failed\t@os.mdb\ta course of this name exists (use --rename-on-conflict", ""},
      {{"import", "--user", "admin", "--dry-run", "@junk.mdb"}, "admin", 1, "failed\t@junk.mdb", "连接数据库失败！"},
      {{"import", "--user", "admin", "--dry-run", "--rename-on-conflict", "@os.mdb"}, "admin", 0,
       "would import\t@os.mdb\n  预览，没有写入任何数据。", ""},
      // The course of the file's name updated in place: previewed only, then written; no course added.
      {{"import", "--user", "admin", "--update", "--dry-run", "@os.mdb"}, "admin", 0,
       "would update\t@os.mdb\n  更新课程：操作系统（2）\n  题目 新增：0\n", "1 of 1 courses would be updated"},
      {{"import", "--user", "admin", "--update", "@os.mdb"}, "admin", 0, "updated\t@os.mdb\n", "1 of 1 courses updated"},
      {{"import", "--user", "admin", "--rename-on-conflict", "@junk.mdb", "@os.mdb"}, "admin", 1, "failed\t@junk.mdb",
       "1 of 2 files imported"},  // one failing file among several
      {{"export", "--user", "admin", "--all", "--subject", "%S", "--dir", "@all"}, "admin", 0, "@all/", ""},
      {{"export", "--user", "admin", "--all", "--subject", "%S", "--dir", "@all"}, "admin", 1, "", "exports failed"},
      // Help does no work: no file made, the demo database not made again.
      {{"import", "--help"}, "", 0, "usage: corvina import", ""},
      {{"make-template", "x.mdb", "-h"}, "", 0, "usage: corvina make-template", ""},
      {{"init-demo", "--force", "--help"}, "", 0, "usage: corvina init-demo", ""},
  };
  const QString subject = h.scalar("select KeySubjectID from Course where CourseID=1");
  for (const auto& row : rows) {
    QStringList args = row.args;
    args.replaceInStrings("@", h.path()).replaceInStrings("%S", subject);
    const auto r = h.run(args, row.password);
    const std::string what = args.join(' ').toStdString() + "\n" + r.out.toStdString() + r.err.toStdString();
    EXPECT_EQ(r.status, row.status) << what;
    EXPECT_TRUE(r.out.contains(QString(row.out).replace("@", h.path())) && r.err.contains(row.err)) << what;
  }
  EXPECT_EQ(h.count("Course"), courses + 1);  // refusals, failures and the dry run wrote nothing
  EXPECT_TRUE(h.scalar("select Name from Course where CourseID=(select max(CourseID) from Course)").startsWith("操作系统["));
  EXPECT_FALSE(QFile::exists(h.path("x.mdb")));
}

// One run never writes two courses into one file: a file name already taken
// in the run gets the course's ID, names that become one file name included,
// and standard output lists the names used. With --overwrite the run can be
// repeated. Names reach standard error escaped as on standard output.
TEST(CommandLine, ExportAllGivesEachCourseAFileOfItsOwn) {
  Home h;
  h.exec("update Course set Name = case CourseID when 1 then '..' when 2 then '.' when 3 then '同名' when 4 then '同名' "
         "else 'esc\x1b[31m' end");
  QDir().mkpath(h.path("all"));
  const struct {
    QStringList args;
    int status;
  } rows[] = {{{"--dir", "@all"}, 0}, {{"--dir", "@all"}, 1}, {{"--dir", "@all", "--overwrite"}, 0}};
  const QStringList files = {"_.mdb", "_ (2).mdb", "同名.mdb", "同名 (4).mdb", "esc\\x1b[31m.mdb"};  // as printed
  for (const auto& row : rows) {
    QStringList args = row.args;
    const auto r = h.run(QStringList{"export", "--user", "admin", "--all"} + args.replaceInStrings("@", h.path()));
    const std::string what = r.out.toStdString() + r.err.toStdString();
    EXPECT_EQ(r.status, row.status) << what;
    QStringList printed;
    for (const QString& f : files) printed << h.path("all/" + f);
    EXPECT_EQ(r.out, row.status ? QString() : printed.join('\n') + '\n') << what;
    EXPECT_FALSE(r.err.contains(QChar(0x1b)) || r.out.contains(QChar(0x1b))) << what;
    EXPECT_TRUE(r.err.contains("esc\\x1b[31m.mdb")) << what;  // in a progress line or the question
  }
  EXPECT_EQ(QDir(h.path("all")).entryList(QDir::Files).size(), files.size());
  for (int id = 1; id <= 5; ++id) {
    CDataAccess file{CDataAccess::Unconnected{}};
    file.OpenExchangeFile(h.path("all/" + QString(files[id - 1]).replace("\\x1b", "\x1b")), ExchangeAccess::Read);
    Bulk::Query course = file.OpenQuery("select CourseID from Course");
    ASSERT_TRUE(course.next()) << files[id - 1].toStdString();
    EXPECT_EQ(course.value(0).toInt(), id) << files[id - 1].toStdString();
  }
}

// Every course is one line of three tab-separated fields, whatever its name
// holds: line breaks, tabs and control characters as C escapes (never raw on
// the terminal), slashes and Chinese as they are.
TEST(CommandLine, ListingsGiveEachRowOneLine) {
  Home h;
  const struct {
    QString name, printed;
  } rows[] = {{"第一行\n第二行", "第一行\\n第二行"}, {"a\tb", "a\\tb"}, {"Windows\r\n", "Windows\\r\\n"},
              {"C/C++ 与 D:\\课", "C/C++ 与 D:\\\\课"}, {"esc\x1b[2J", "esc\\x1b[2J"}, {"del\x7f", "del\\x7f"},
              {QString("csi") + QChar(0x9b) + "1m", "csi\\x9b1m"}, {"  空格 ", "  空格 "}};
  int id = 100;
  for (const auto& row : rows)
    h.exec(QString("insert into Course (CourseID, KeySubjectID, Name, Description) values (%1, 1, '%2', '%2')").arg(id++).arg(row.name));
  const auto r = h.run({"courses", "--user", "admin"});
  const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
  EXPECT_TRUE(r.status == 0 && lines.size() == h.count("Course")) << r.out.toStdString() << r.err.toStdString();
  for (const QString& line : lines) EXPECT_EQ(line.count('\t'), 2) << line.toStdString();
  id = 100;
  for (const auto& row : rows)
    EXPECT_TRUE(lines.contains(QString::number(id++) + '\t' + row.printed + '\t' + row.printed)) << row.printed.toStdString();
}

// Several files, one of them bad (first, in the middle or last): the others
// arrive, the bad one is named, the exit status says not all did. Likewise an
// export of all courses where one file cannot be written (a folder has its name).
TEST(CommandLine, ABatchFailingAnywhereDoesTheRestAndSaysSo) {
  Home h;
  const QString junk = h.path("junk.mdb"), names[] = {"课1.mdb", "课2.mdb", "课3.mdb"};
  QFile f(junk);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write("not a database") > 0);
  f.close();
  for (int id = 1; id <= 3; ++id) {
    ASSERT_EQ(h.run({"export", "--user", "admin", "--course", QString::number(id), "--out", h.path(names[id - 1])}).status, 0);
    h.exec(QString("update Course set Name='课%1' where CourseID=%1").arg(id));
  }
  for (int bad = 0; bad < 3; ++bad) {
    h.exec("delete from Course where CourseID>3");
    QStringList files{h.path(names[0]), h.path(names[1])};
    files.insert(bad, junk);
    auto r = h.run(QStringList{"import", "--user", "admin", "--rename-on-conflict"} + files);
    std::string what = r.out.toStdString() + r.err.toStdString();
    EXPECT_TRUE(r.status == 1 && h.count("Course") == 5 && r.err.contains("2 of 3 files imported")) << what;
    EXPECT_TRUE(r.out.split('\n')[bad].startsWith("failed\t" + junk)) << what;
    for (int i = 0; i < 2; ++i) EXPECT_TRUE(r.out.contains("imported\t" + h.path(names[i]) + '\n')) << what;

    h.exec("delete from Course where CourseID>3");
    const QString dir = h.path(QString("all%1").arg(bad));
    QDir().mkpath(dir + '/' + names[bad]);
    r = h.run({"export", "--user", "admin", "--all", "--dir", dir});
    what = r.out.toStdString() + r.err.toStdString();
    EXPECT_TRUE(r.status == 1 && r.err.contains("1 of 3 exports failed")) << what;
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(QFileInfo(dir + '/' + names[i]).isFile() && r.out.contains(dir + '/' + names[i] + '\n'), i != bad) << what;
  }
}

// A course arrives whole in another system database; a folder import takes
// .mdb files in any case but not subfolders.
TEST(CommandLine, ACourseTravelsBetweenSystemDatabases) {
  Home from, to;
  QDir().mkpath(from.path("bank/sub"));
  ASSERT_EQ(from.run({"export", "--user", "admin", "--course", "2", "--out", from.path("bank/a.MDB")}).status, 0);
  ASSERT_EQ(from.run({"export", "--user", "admin", "--course", "3", "--out", from.path("bank/sub/c.mdb")}).status, 0);
  QFile::copy(from.path("bank/a.MDB"), from.path("bank/b.txt"));
  const int courses = to.count("Course");
  // A subject known here under another name would be created, the others paired.
  const QRegularExpression pairing("专业：对应 (\\d+) 个，新建 (\\d+) 个");
  const auto preview = [&] {
    const auto m = pairing.match(to.run({"import", "--user", "admin", "--dry-run", "--rename-on-conflict", from.path("bank/a.MDB")}).out);
    return std::make_pair(m.captured(1).toInt(), m.captured(2).toInt());
  };
  const auto [paired, created] = preview();
  EXPECT_TRUE(paired > 0 && created == 0) << paired << " " << created;
  to.exec("update Subject set Name='改过的名字' where SubjectID=(select KeySubjectID from Course where CourseID=2)");
  EXPECT_EQ(preview(), std::make_pair(paired - 1, 1));
  ASSERT_EQ(to.run({"import", "--user", "admin", "--folder", from.path("bank"), "--rename-on-conflict"}).status, 0);
  EXPECT_EQ(to.count("Course"), courses + 1);
  const QString id = to.scalar("select max(CourseID) from Course");
  const QString problems = "ProblemsContents pc join Content c on c.ContentID=pc.ContentID where c.CourseID=";
  EXPECT_EQ(to.count("Content where CourseID=" + id), from.count("Content where CourseID=2"));
  EXPECT_TRUE(to.count(problems + id) == from.count(problems + "2") && to.count(problems + id) > 0);
}

// SIGTERM or SIGINT part-way: the transfer is rolled back, exit status 130.
// The course is large enough that the work after the first progress line
// outlasts the signal's delivery.
TEST(CommandLine, SignalsCancelTransfersAndLeaveEverythingAsItWas) {
  Home h;
  ASSERT_EQ(h.run({"init-demo", "--force", "--problems", "20000"}).status, 0);
  const QString file = h.path("big.mdb");
  ASSERT_EQ(h.run({"export", "--user", "admin", "--course", "1", "--out", file}).status, 0);
  const int courses = h.count("Course");
  EXPECT_EQ(h.run({"import", "--user", "admin", "--rename-on-conflict", file}, "admin", true, SIGTERM).status, 130);
  EXPECT_EQ(h.count("Course"), courses);
  const QStringList exportOne = {"export", "--user", "admin", "--course", "1", "--out", h.path("o.mdb")};
  EXPECT_EQ(h.run(exportOne, "admin", true, SIGINT).status, 130);
  EXPECT_FALSE(QFile::exists(h.path("o.mdb")));
  EXPECT_EQ(QDir(h.path()).entryList({".corvina-export-*"}, QDir::Files | QDir::Hidden), QStringList());
}

}  // namespace
