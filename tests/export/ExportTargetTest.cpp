#include <QDir>
#include <functional>

#include <fcntl.h>
#include <sys/stat.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "export/ExportFixture.h"

namespace {

// A folder no one may write into: its mode says so, and for root, who writes
// whatever the mode says, the file system's immutable flag.
void setWritable(const QString& folder, bool writable) {
  QFile::setPermissions(folder, writable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                         : QFile::ReadOwner | QFile::ExeOwner);
  const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
  int flags = 0;
  if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    flags = writable ? flags & ~FS_IMMUTABLE_FL : flags | FS_IMMUTABLE_FL;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
  }
  if (fd >= 0) ::close(fd);
}

int warnings = 0;

// Preparing the destination, seen through the export of course 5 with a.mdb
// and b.mdb already holding course 6: the questions asked, where the course
// ends up, and every other file left byte for byte as it was.
class ExportTarget : public ExportTest {
 protected:
  void SetUp() override {
    run({"insert into Subject (SubjectID, name) values (-1, '公共基础')",
         "insert into Course (CourseID, KeySubjectID, Name) values (5, -1, '英语')",
         "insert into Course (CourseID, KeySubjectID, Name) values (6, -1, '日语')"});
  }
};

TEST_F(ExportTarget, AsksWhatItMustAndWritesOnlyWhereItMay) {
  const QString home = QDir(env.home()).absolutePath(), templ = env.path("Template.mdb");
  const QString failed = QStringLiteral("连接数据库失败！\r\n");
  const auto replace = [](const QString& file) { return Res::str(350) + file; };
  const auto empty = [](const QString& file) { return Res::str(316) + file; };
  const QString a = home + "/a.mdb", b = home + "/b.mdb";
  const QString longName = QString(80, QChar(u'课')) + "1234567890";  // 250 bytes
  const auto textFile = [&] {
    QFile f(home + "/notes.mdb");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a database");
  };
  const struct {
    QString target;
    std::deque<Answer> answers;
    std::deque<std::optional<QString>> inputs;
    QStringList prompts;  // the start of each, in order
    QString written;      // where course 5 ends up; empty: nowhere
    std::function<void()> prepare = [] {};
    QString reason = {};  // how a failure ends; empty: it does not fail (or is declined)
  } rows[] = {
      {home + "/new.mdb", {}, {}, {}, home + "/new.mdb"},
      {a, {Answer::Yes, Answer::Yes}, {}, {replace(a), empty(a)}, a},
      {a, {Answer::No}, {"c.MDB"}, {replace(a), Res::str(351)}, home + "/c.MDB.mdb"},
      {a, {Answer::No, Answer::Yes, Answer::Yes}, {"b"}, {replace(a), Res::str(351), replace(b), empty(b)}, b},
      {a, {Answer::No}, {".mdb"}, {replace(a), Res::str(351)}, QString()},
      {a, {Answer::Cancel}, {}, {replace(a)}, QString()},
      {a, {Answer::Yes, Answer::No}, {}, {replace(a), empty(a)}, QString()},
      // The template itself is refused, however it is spelled.
      {templ, {Answer::Yes}, {}, {replace(templ), Res::str(321)}, QString()},
      {home + "/./Template.mdb", {Answer::Yes}, {}, {replace(home + "/./Template.mdb"), Res::str(321)}, QString()},
      {home + "/x.mdb", {}, {}, {Res::str(322) + templ}, QString(), [&] { QFile::rename(templ, templ + ".away"); }},
      {home + "/notes.mdb", {Answer::Yes, Answer::Yes}, {}, {replace(home + "/notes.mdb"), empty(home + "/notes.mdb"), failed},
       QString(), textFile},
      {home + "/partial.mdb", {Answer::Yes, Answer::Yes}, {}, {replace(home + "/partial.mdb"), empty(home + "/partial.mdb"), failed},
       QString(), [&] { execIn(freshExchangeFile("partial.mdb"), "drop table ProblemsContents"); }},
      {home + "/no/such/folder/x.mdb", {}, {}, {}, QString(), [] {}, "文件夹不存在：" + home + "/no/such/folder"},
      // A folder of that name; a name of exactly the 255 bytes a folder takes (80 three-byte characters, 15 more)
      // and one byte more; a folder that cannot be written.
      {home + "/folder.mdb", {}, {}, {}, QString(), [&] { QDir(home).mkdir("folder.mdb"); }, "这是文件夹：" + home + "/folder.mdb"},
      {home + "/" + longName + "1.mdb", {}, {}, {}, home + "/" + longName + "1.mdb"},
      {home + "/" + longName + "12.mdb", {}, {}, {}, QString(), [] {}, "文件名太长：" + home + "/" + longName + "12.mdb"},
      {home + "/locked/x.mdb", {}, {}, {}, QString(), [&] { QDir(home).mkdir("locked"); setWritable(home + "/locked", false); },
       "没有写入这个文件夹的权限：" + home + "/locked"},
      {home + "/C++; 基础.mdb", {}, {}, {}, home + "/C++; 基础.mdb"},
      {home + "/rw.mdb", {}, {}, {}, home + "/rw.mdb", [&] { QFile::setPermissions(templ, QFile::ReadOwner); }},
      // Access has the file open: its lock file stands beside it.
      {a, {Answer::Yes, Answer::Yes}, {}, {replace(a), empty(a), "该Access文件不能写入：" + a}, QString(),
       [&] {
         QFile::remove(a);
         QFile::copy(TestEnv::builtJetTemplate(), a);
         QFile::setPermissions(a, QFile::ReadOwner | QFile::WriteOwner);
         QFile(home + "/a.ldb").open(QIODevice::WriteOnly);
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.target.toStdString());
    for (const QString& file : QDir(home).entryList({"*.mdb", "*.away", "*.ldb"}, QDir::Files)) QFile::remove(home + '/' + file);
    QFile::copy(TestEnv::builtTemplate(), templ);
    QFile::setPermissions(templ, QFile::ReadOwner | QFile::WriteOwner);
    for (QString file : {a, b}) newExport()->ExportCourseData(file, 6);
    row.prepare();
    QMap<QString, QByteArray> before;
    for (const QString& file : QDir(home).entryList(QDir::Files)) before[file] = readFile(home + '/' + file);
    ui->shown.clear();
    ui->answers = row.answers;
    ui->inputs = row.inputs;
    progress.clear();
    QString file = row.target;
    warnings = 0;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) { ++warnings; });
    const TransferResult result = newExport()->ExportCourseData(file, 5);
    qInstallMessageHandler(previous);
    setWritable(home + "/locked", true);
    QDir(home + "/folder.mdb").removeRecursively();
    EXPECT_EQ(warnings, 0) << "nothing on standard error but the messages";
    EXPECT_TRUE(row.reason.isEmpty() ? !result.reason.contains("\r\n") : result.reason.endsWith("\r\n" + row.reason))
        << result.reason.toStdString();

    EXPECT_EQ(ui->shown.size(), size_t(row.prompts.size()));
    for (int i = 0; i < std::min(int(ui->shown.size()), int(row.prompts.size())); ++i)
      EXPECT_TRUE(ui->shown[i].prompt.startsWith(row.prompts[i])) << ui->shown[i].prompt.toStdString();
    EXPECT_EQ(result.succeeded(), !row.written.isEmpty());
    if (!row.written.isEmpty()) {
      EXPECT_EQ(file, row.written) << "the caller sees the path written";
      EXPECT_EQ(column(file, "select CourseID from Course"), QStringList({"5"}));
    } else {
      EXPECT_TRUE(progress.empty());
      EXPECT_TRUE(before.contains(QFileInfo(row.target).fileName()) || !QFileInfo::exists(row.target));
    }
    for (auto it = before.cbegin(); it != before.cend(); ++it)
      EXPECT_TRUE(home + '/' + it.key() == row.written || readFile(home + '/' + it.key()) == it.value()) << it.key().toStdString();
  }
}

// The mode bits of the file written, as any program's new file gets them
// from the umask, whichever template format; a file replaced keeps its own.
TEST_F(ExportTarget, NewFilesTakeTheUmaskAndReplacedFilesKeepTheirMode) {
  const struct {
    mode_t umask;
    bool access;   // the Access template, else the SQLite-format one
    int existing;  // the mode of a file already there; -1: none
    mode_t expected;
  } rows[] = {{022, true, -1, 0644}, {022, false, -1, 0644}, {077, true, -1, 0600}, {002, false, -1, 0664},
              {027, true, -1, 0640}, {022, true, 0600, 0600}, {077, false, 0664, 0664}};
  const QString templ = env.path("Template.mdb"), file = env.path("moded.mdb");
  for (const auto& row : rows) {
    QFile::remove(templ);
    QFile::remove(file);
    QFile::copy(row.access ? TestEnv::builtJetTemplate() : TestEnv::builtTemplate(), templ);
    if (row.existing >= 0) QFile::copy(templ, file), ::chmod(QFile::encodeName(file).constData(), mode_t(row.existing));
    ui->answers = {Answer::Yes, Answer::Yes};
    const mode_t previous = ::umask(row.umask);
    QString target = file;
    const bool written = newExport()->ExportCourseData(target, 5).succeeded();
    ::umask(previous);
    struct stat on {};
    EXPECT_TRUE(written && ::stat(QFile::encodeName(file).constData(), &on) == 0 && (on.st_mode & 07777) == row.expected)
        << std::oct << row.umask << ' ' << row.access << ": " << (on.st_mode & 07777);
    EXPECT_EQ(column(file, "select Name from Course"), QStringList{"英语"});
  }
}

}  // namespace
