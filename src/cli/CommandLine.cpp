#include "cli/CommandLine.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <functional>
#include <memory>
#include <optional>

#include <atomic>

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "cli/CliInteraction.h"
#include "core/AppPaths.h"
#include "core/UpdatePreview.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "resources/Strings.h"
#include "login/LoginCheck.h"
#include "core/modInputOutput.h"

namespace CommandLine {

QString readSecret(const char* environmentVariable, const QString& prompt) {
  const QByteArray fromEnv = qgetenv(environmentVariable);
  if (!fromEnv.isNull()) return QString::fromUtf8(fromEnv);
  if (!isatty(STDIN_FILENO)) return {};
  QTextStream err(stderr);
  err << prompt;
  err.flush();
  termios old{};
  tcgetattr(STDIN_FILENO, &old);
  termios quiet = old;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  QTextStream in(stdin);
  const QString line = in.readLine();
  tcsetattr(STDIN_FILENO, TCSANOW, &old);
  err << Qt::endl;
  return line;
}

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr int kCancelled = 130;  // as a shell reports a command ended by SIGINT

QTextStream& out() {
  static QTextStream s(stdout);
  return s;
}
QTextStream& err() {
  static QTextStream s(stderr);
  return s;
}

struct Context {
  QCommandLineParser& parser;
  CliInteraction& cli;
  std::shared_ptr<CancelFlag> cancel;
};

// SIGINT and SIGTERM ask the running transfer to stop; it rolls back and the
// command exits with kCancelled.
class CancelOnSignals {
 public:
  explicit CancelOnSignals(const std::shared_ptr<CancelFlag>& flag) {
    target_.store(flag.get());
    struct sigaction action {};
    action.sa_handler = [](int) {
      if (CancelFlag* f = target_.load()) f->request();
    };
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previousInt_);
    sigaction(SIGTERM, &action, &previousTerm_);
  }
  ~CancelOnSignals() {
    sigaction(SIGINT, &previousInt_, nullptr);
    sigaction(SIGTERM, &previousTerm_, nullptr);
    target_.store(nullptr);
  }
  CancelOnSignals(const CancelOnSignals&) = delete;
  CancelOnSignals& operator=(const CancelOnSignals&) = delete;

 private:
  static inline std::atomic<CancelFlag*> target_{nullptr};
  struct sigaction previousInt_ {};
  struct sigaction previousTerm_ {};
};

// A finished transfer's line on standard error; Cancelled ends the command.
bool reportFailure(Context& c, const TransferResult& result) {
  c.cli.endProgress();
  if (result.status == TransferResult::Status::Cancelled) {
    err() << "corvina: " << printable(result.file) << ": cancelled, nothing written" << Qt::endl;
    return true;
  }
  if (!result.succeeded() && !result.shown)
    err() << "corvina: " << printable(result.file) << ": " << printableMessage(result.reason) << Qt::endl;
  return false;
}

struct Command {
  QString name;
  QString synopsis;
  QString description;
  QList<QCommandLineOption> options;
  QString positional;  // empty when the command takes no positional arguments
  std::function<int(Context&)> run;
};

QCommandLineOption userOption() {
  return {QStringLiteral("user"), QStringLiteral("Log in as NAME (password from CORVINA_PASSWORD or a prompt)."),
          QStringLiteral("NAME")};
}
QCommandLineOption overwriteOption() {
  return {QStringLiteral("overwrite"), QStringLiteral("Overwrite an existing exchange file.")};
}

// Text for a tab-separated listing: one line per row, no tabs inside a
// field, and no control character (a name from an imported file may hold an
// escape sequence) reaching the terminal; C escapes, as file names get.
QString field(const QVariant& v) { return printable(v.toString()); }

bool parseId(const QString& text, qint32& id) {
  bool ok = false;
  id = text.toInt(&ok);
  return ok;
}

QString readPassword() { return readSecret("CORVINA_PASSWORD", QStringLiteral("Password: ")); }

// The login's own checks, messages and right 35.
bool logIn(Context& c) {
  const QString user = c.parser.value(QStringLiteral("user"));
  return LoginCheck::login(user, readPassword()) == LoginCheck::Outcome::Success;
}

int listSubjects(Context&) {
  CDataAccess dal;
  Bulk::Query rows = dal.OpenQuery(SubjectListSql());
  while (rows.next()) out() << field(rows.value(0)) << '\t' << field(rows.value(1)) << '\t' << field(rows.value(2)) << '\n';
  return kOk;
}

bool subjectFilter(Context& c, qint32& nSubjectID) {
  nSubjectID = 0;
  if (!c.parser.isSet(QStringLiteral("subject"))) return true;
  if (parseId(c.parser.value(QStringLiteral("subject")), nSubjectID)) return true;
  err() << "corvina: --subject takes a number" << Qt::endl;
  return false;
}

int listCourses(Context& c) {
  qint32 nSubjectID = 0;
  if (!subjectFilter(c, nSubjectID)) return kUsage;
  CDataAccess dal;
  Bulk::Query rows = dal.OpenQuery(CourseListSql(nSubjectID));
  while (rows.next()) out() << field(rows.value(0)) << '\t' << field(rows.value(1)) << '\t' << field(rows.value(2)) << '\n';
  return kOk;
}

// Runs one course export and reports how it ended.
TransferResult exportCourse(Context& c, qint32 nCourseID, QString& strFile) {
  CExport objExport(c.cli, c.cancel);
  const QString label = QFileInfo(strFile).fileName();
  objExport.ExportProgress = [&](qint16 bar, const QString& message) { c.cli.progress(label, bar, message); };
  const TransferResult result = objExport.ExportCourseData(strFile, nCourseID);
  reportFailure(c, result);
  return result;
}

int exitStatus(const TransferResult& result) {
  if (result.status == TransferResult::Status::Cancelled) return kCancelled;
  return result.succeeded() ? kOk : kFailed;
}

QString exportFolder() {
  QDir dir(AppPaths::exportFolder());
  if (!dir.exists()) QDir().mkpath(dir.absolutePath());
  return QFileInfo(dir.absolutePath()).canonicalFilePath();
}

QString courseName(qint32 nCourseID) {
  CDataAccess dal;
  Bulk::Query rows = dal.OpenQuery(QStringLiteral("select Name from Course where CourseID=") + QString::number(nCourseID));
  return rows.next() ? rows.value(0).toString() : QString();
}

int exportOne(Context& c) {
  qint32 nCourseID = 0;
  if (!parseId(c.parser.value(QStringLiteral("course")), nCourseID)) {
    err() << "corvina: --course takes a number" << Qt::endl;
    return kUsage;
  }
  const QString name = courseName(nCourseID);
  if (name.isNull()) {
    err() << "corvina: there is no course " << nCourseID << Qt::endl;
    return kFailed;
  }
  QString file = c.parser.isSet(QStringLiteral("out"))
                     ? QFileInfo(c.parser.value(QStringLiteral("out"))).absoluteFilePath()
                     : exportFolder() + '/' + SafeFileName(name) + QStringLiteral(".mdb");
  const bool existed = QFileInfo::exists(file);
  const TransferResult result = exportCourse(c, nCourseID, file);
  if (result.status == TransferResult::Status::Declined && existed && !c.cli.overwrite)
    err() << "corvina: " << printable(file) << " exists; --overwrite replaces it" << Qt::endl;
  if (result.succeeded()) out() << printable(file) << '\n';
  return exitStatus(result);
}

int exportAll(Context& c) {
  qint32 nSubjectID = 0;
  if (!subjectFilter(c, nSubjectID)) return kUsage;
  const QString dir = c.parser.value(QStringLiteral("dir"));
  if (dir.isEmpty() || !QFileInfo(dir).isDir()) {
    err() << "corvina: export --all needs --dir with an existing folder" << Qt::endl;
    return kUsage;
  }
  struct Listed {
    qint32 id;
    QString name;
  };
  QList<Listed> courses;
  {
    CDataAccess dal;
    Bulk::Query rows = dal.OpenQuery(CourseListSql(nSubjectID));
    while (rows.next()) courses.append({rows.at(0).toInt(), rows.value(1).toString()});
  }
  std::vector<std::pair<qint32, QString>> named;
  for (const Listed& course : courses) named.emplace_back(course.id, course.name);
  const QStringList files = ExportFilesOfCourses(QFileInfo(dir).absoluteFilePath(), named);
  int failures = 0;
  for (qsizetype i = 0; i < courses.size(); ++i) {
    QString file = files[i];
    const TransferResult result = exportCourse(c, courses[i].id, file);
    if (result.status == TransferResult::Status::Cancelled) return kCancelled;
    if (result.succeeded())
      out() << printable(file) << '\n';
    else
      ++failures;
  }
  if (failures) err() << "corvina: " << failures << " of " << courses.size() << " exports failed" << Qt::endl;
  return failures ? kFailed : kOk;
}

int runExport(Context& c) {
  const bool all = c.parser.isSet(QStringLiteral("all"));
  const bool one = c.parser.isSet(QStringLiteral("course"));
  if (all == one) {
    err() << "corvina: export needs either --course ID or --all" << Qt::endl;
    return kUsage;
  }
  return all ? exportAll(c) : exportOne(c);
}

using ImportCall = TransferResult (CImport::*)(const QString&);

// Why an import did not succeed, for its line on standard output.
QString importFailure(const TransferResult& result) {
  if (result.declinedAt == Question::RenameConflictingCourse)
    return QStringLiteral("a course of this name exists (use --rename-on-conflict to import it renamed)");
  return printableMessage(result.reason.isEmpty() ? QStringLiteral("not imported") : result.reason);
}

// A course update's preview, as the lines of the file's report.
void printPreview(const CImport& objImport) {
  const UpdatePreview& preview = objImport.LastUpdatePreview();
  if (preview.courseId == 0) return;
  for (const QString& line : preview.lines()) out() << "  " << field(line) << '\n';
}

int importFiles(Context& c, const QStringList& files, ImportCall call, bool dryRun = false) {
  const bool update = call == &CImport::UpdateCourseData;
  c.cli.dryRun = dryRun;
  CImport objImport(c.cli, c.cancel);
  objImport.session().bAutoMap = true;
  objImport.session().bDryRun = dryRun;
  QString label;
  objImport.ImportProgress = [&](qint16 bar, const QString& message) { c.cli.progress(label, bar, message); };
  int imported = 0;
  for (const QString& file : files) {
    label = QFileInfo(file).fileName();
    const TransferResult result = (objImport.*call)(file);
    c.cli.endProgress();
    if (result.status == TransferResult::Status::Cancelled) {
      reportFailure(c, result);
      return kCancelled;
    }
    if (update) {
      const bool previewed = dryRun && result.declinedAt == Question::ApplyCourseUpdate;
      if (result.succeeded() || previewed) ++imported;
      out() << (previewed ? "would update\t" : result.succeeded() ? "updated\t" : "failed\t") << printable(file);
      if (!result.succeeded() && !previewed) out() << '\t' << importFailure(result);
      out() << '\n';
      printPreview(objImport);
    } else if (result.succeeded() && dryRun) {
      ++imported;
      out() << "would import\t" << printable(file) << '\n';
      for (const QString& line : objImport.DryRunReport().split(QStringLiteral("\r\n"))) out() << "  " << line << '\n';
    } else if (result.succeeded()) {
      ++imported;
      const QString skipped = objImport.SkippedSummary();
      out() << "imported\t" << printable(file) << (skipped.isEmpty() ? QString() : '\t' + skipped) << '\n';
    } else {
      out() << "failed\t" << printable(file) << '\t' << importFailure(result) << '\n';
    }
  }
  err() << imported << " of " << files.size()
        << (update ? (dryRun ? " courses would be updated" : " courses updated")
                   : (dryRun ? " files would be imported" : " files imported"))
        << Qt::endl;
  return imported == files.size() ? kOk : kFailed;
}

int runImport(Context& c) {
  QStringList files = c.parser.positionalArguments();
  if (c.parser.isSet(QStringLiteral("folder"))) {
    const QString folder = c.parser.value(QStringLiteral("folder"));
    if (!QFileInfo(folder).isDir()) {
      err() << "corvina: no such folder: " << printable(folder) << Qt::endl;
      return kFailed;
    }
    files += MdbFilesOfFolder(folder);
  } else if (files.isEmpty()) {
    err() << "corvina: import needs FILE... or --folder DIR" << Qt::endl;
    return kUsage;
  }
  c.cli.renameOnConflict = c.parser.isSet(QStringLiteral("rename-on-conflict"));
  const bool update = c.parser.isSet(QStringLiteral("update"));
  return importFiles(c, files, update ? &CImport::UpdateCourseData : &CImport::ImportCourseData,
                     c.parser.isSet(QStringLiteral("dry-run")));
}

int runExportPaper(Context& c) {
  qint32 nPaperID = 0;
  if (!parseId(c.parser.value(QStringLiteral("paper")), nPaperID) || !c.parser.isSet(QStringLiteral("out"))) {
    err() << "corvina: export-paper needs --paper ID and --out FILE" << Qt::endl;
    return kUsage;
  }
  QString file = QFileInfo(c.parser.value(QStringLiteral("out"))).absoluteFilePath();
  CExport objExport(c.cli, c.cancel);
  objExport.ExportProgress = [&](qint16 bar, const QString& message) {
    c.cli.progress(QStringLiteral("paper"), bar, message);
  };
  const TransferResult result = objExport.ExportPaper(file, nPaperID);
  reportFailure(c, result);
  if (result.succeeded()) out() << printable(result.file) << '\n';
  return exitStatus(result);
}

int runImportPaper(Context& c) {
  const QStringList files = c.parser.positionalArguments();
  if (files.isEmpty()) {
    err() << "corvina: import-paper needs FILE..." << Qt::endl;
    return kUsage;
  }
  return importFiles(c, files, &CImport::ImportPaperData);
}

QList<Command> commands() {
  const QCommandLineOption subject(QStringLiteral("subject"), QStringLiteral("Only the courses of subject ID."),
                                   QStringLiteral("ID"));
  return {
      {QStringLiteral("subjects"), QStringLiteral("subjects --user NAME"),
       QStringLiteral("Lists the subjects: ID, name, description, tab-separated."), {}, {}, listSubjects},
      {QStringLiteral("courses"), QStringLiteral("courses --user NAME [--subject ID]"),
       QStringLiteral("Lists the courses (of one subject): ID, name, description, tab-separated."),
       {subject}, {}, listCourses},
      {QStringLiteral("export"),
       QStringLiteral("export --user NAME (--course ID [--out FILE] | --all [--subject ID] --dir DIR) [--overwrite]"),
       QStringLiteral("Exports one course (by default into the export folder, named after the course) or every "
                      "listed course into exchange files; prints each file written."),
       {{QStringLiteral("course"), QStringLiteral("The course to export."), QStringLiteral("ID")},
        {QStringLiteral("out"), QStringLiteral("The exchange file to write."), QStringLiteral("FILE")},
        {QStringLiteral("all"), QStringLiteral("Export every listed course.")},
        subject,
        {QStringLiteral("dir"), QStringLiteral("Folder for --all."), QStringLiteral("DIR")},
        overwriteOption()},
       {}, runExport},
      {QStringLiteral("import"),
       QStringLiteral("import --user NAME (FILE... | --folder DIR) [--rename-on-conflict | --update] [--dry-run]"),
       QStringLiteral("Imports the courses of exchange files, pairing subjects, features and partitions by name. "
                      "A course whose name exists is skipped unless --rename-on-conflict. With --update the "
                      "course of the same name is updated in place instead and what changes is printed."),
       {{QStringLiteral("folder"), QStringLiteral("Import every .mdb file of DIR (not its subfolders)."),
         QStringLiteral("DIR")},
        {QStringLiteral("rename-on-conflict"),
         QStringLiteral("Import a course whose name exists under the name with today's date appended.")},
        {QStringLiteral("update"),
         QStringLiteral("Update the system course of the file's course name (case ignored): problems paired by "
                        "code and contents by path keep their IDs and take the file's columns, new ones are "
                        "added, none is deleted. Prints the problems and contents added, changed, unchanged "
                        "and only in the system course.")},
        {QStringLiteral("dry-run"),
         QStringLiteral("Run the whole import, then undo it: print per table the rows it would write and the "
                        "subjects, features and partitions it would pair or create (with --update: what the "
                        "update would change). Nothing is written.")}},
       QStringLiteral("FILE"), runImport},
      {QStringLiteral("export-paper"), QStringLiteral("export-paper --user NAME --paper ID --out FILE [--overwrite]"),
       QStringLiteral("Exports one paper with its design and answer sheets."),
       {{QStringLiteral("paper"), QStringLiteral("The paper to export."), QStringLiteral("ID")},
        {QStringLiteral("out"), QStringLiteral("The exchange file to write."), QStringLiteral("FILE")},
        overwriteOption()},
       {}, runExportPaper},
      {QStringLiteral("import-paper"), QStringLiteral("import-paper --user NAME FILE..."),
       QStringLiteral("Imports the papers of exchange files, pairing subjects by name."), {}, QStringLiteral("FILE"),
       runImportPaper},
  };
}

std::optional<Command> findCommand(const QString& name) {
  for (const Command& c : commands())
    if (c.name == name) return c;
  return std::nullopt;
}

void printUsage(QTextStream& s) {
  s << "usage: corvina                 start the windows\n"
       "       corvina --version\n"
       "       corvina init-demo [--problems N] [--force] [--connect CONNECTION-STRING]\n"
       "       corvina make-template FILE\n";
  for (const Command& c : commands()) s << "       corvina " << c.synopsis << '\n';
  s << "Every command but init-demo and make-template logs in first; the password comes from\n"
       "CORVINA_PASSWORD or a prompt. init-demo --connect takes the database password from\n"
       "CORVINA_DB_PASSWORD or a prompt when the string has no Pwd. File names are printed with control\n"
       "characters and backslashes as C escapes (\\n, \\\\, \\xHH).\n"
       "Use corvina COMMAND --help for details.\n";
}

int runCommand(const Command& command, const QStringList& args) {
  QCommandLineParser parser;
  parser.setApplicationDescription(command.description);
  parser.addOptions(command.options);
  parser.addOption(userOption());
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help."));
  parser.addOption(help);
  if (!command.positional.isEmpty())
    parser.addPositionalArgument(command.positional, QStringLiteral("Exchange files."), command.positional + "...");
  if (!parser.parse(QStringList{QStringLiteral("corvina ") + command.name} + args)) {
    err() << "corvina " << command.name << ": " << printable(parser.errorText()) << Qt::endl;
    return kUsage;
  }
  if (parser.isSet(help)) {
    out() << "usage: corvina " << command.synopsis << "\n\n" << parser.helpText().section('\n', 1);
    return kOk;
  }
  if (command.positional.isEmpty() && !parser.positionalArguments().isEmpty()) {
    err() << "corvina " << command.name << ": unexpected argument " << printable(parser.positionalArguments().first())
          << Qt::endl;
    return kUsage;
  }
  if (!parser.isSet(QStringLiteral("user"))) {
    err() << "corvina " << command.name << ": --user NAME is required" << Qt::endl;
    return kUsage;
  }
  auto cli = std::make_shared<CliInteraction>();
  for (const QCommandLineOption& o : command.options)
    if (o.names().contains(QStringLiteral("overwrite"))) cli->overwrite = parser.isSet(o);
  ScopedInteraction scope(cli);
  Context context{parser, *cli, std::make_shared<CancelFlag>()};
  const CancelOnSignals stopOnSignals(context.cancel);
  if (!logIn(context)) return kFailed;
  try {
    return command.run(context);
  } catch (const DataError& e) {
    cli->endProgress();
    err() << "corvina: " << printableMessage(e.description()) << Qt::endl;
    return kFailed;
  }
}

}  // namespace

bool isCommand(const QString& word) {
  // Any plain word is taken as a command (an unknown one is a usage error);
  // dashed arguments are left to the windows (Qt's own options).
  return word == QLatin1String("--help") || word == QLatin1String("-h") ||
         (!word.isEmpty() && !word.startsWith('-'));
}

int run(const QStringList& args) {
  const QString name = args.value(0);
  if (name == QLatin1String("--help") || name == QLatin1String("-h") || name == QLatin1String("help")) {
    printUsage(out());
    return kOk;
  }
  const auto command = findCommand(name);
  if (!command) {
    printUsage(err());
    return kUsage;
  }
  return runCommand(*command, args.mid(1));
}

}  // namespace CommandLine
