// SQL Server's own driver holds a program to rules that PostgreSQL does not:
// forward-only cursors (FreeTDS opens anything else as a server cursor, which
// only a SELECT may be), text bound as wide characters (narrow text is turned
// into the server's code page), and one result set open per connection. The
// ODBC calls a whole round trip makes on the PostgreSQL test server are
// traced by unixODBC and read back here, so that a break of any rule fails
// although PostgreSQL itself would have taken it.
#include <gtest/gtest.h>

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <sql.h>
#include <sqlext.h>

#include "data/CDataAccess.h"
#include "data/DemoData.h"
#include "data/OdbcBackend.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "login/LoginCheck.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

namespace {

// One call of a unixODBC trace: "[ODBC][pid][time][SQLExecute.c][187]", then
// "Entry:" or "Exit:[SQL_SUCCESS]", then "Key = Value" lines.
struct Call {
  QString function;
  bool entry = false;
  QString result;
  QHash<QString, QString> fields;
};

QList<Call> readTrace(const QString& path) {
  static const QRegularExpression head(QStringLiteral(R"(^\[ODBC\]\[\d+\]\[[\d.]+\]\[(\w+?)W?\.c\]\[\d+\])"));
  QList<Call> calls;
  for (const QByteArray& raw : readFile(path).split('\n')) {
    const QString line = QString::fromUtf8(raw).trimmed();
    if (const QRegularExpressionMatch m = head.match(line); m.hasMatch()) {
      calls.append(Call{m.captured(1), false, {}, {}});
    } else if (calls.isEmpty()) {
      continue;
    } else if (line == QLatin1String("Entry:")) {
      calls.last().entry = true;
    } else if (line.startsWith(QLatin1String("Exit:["))) {
      calls.last().result = line.mid(6).chopped(1);
    } else if (const qsizetype eq = line.indexOf(QLatin1String(" = ")); eq > 0) {
      calls.last().fields.insert(line.left(eq), line.mid(eq + 3));
    }
  }
  return calls;
}

struct Report {
  int statementsRun = 0;
  int textParameters = 0;
  QStringList broken;
};

// The rules, followed call by call: which statement belongs to which
// connection, which one still has rows to give.
Report check(const QString& tracePath) {
  Report report;
  QHash<QString, QString> connectionOf;  // statement -> connection
  QHash<QString, QString> openOn;        // connection -> statement with rows pending
  QString current, allocatingFrom;
  const auto close = [&](const QString& statement) {
    if (openOn.value(connectionOf.value(statement)) == statement) openOn.remove(connectionOf.value(statement));
  };
  for (const Call& call : readTrace(tracePath)) {
    const QString& f = call.function;
    if (call.entry) current = call.fields.value(QStringLiteral("Statement"));
    if (f == QLatin1String("SQLAllocHandle")) {
      if (call.entry && call.fields.value(QStringLiteral("Handle Type")) == QLatin1String("3"))
        allocatingFrom = call.fields.value(QStringLiteral("Input Handle"));
      else if (!call.entry && !allocatingFrom.isEmpty())
        connectionOf.insert(call.fields.value(QStringLiteral("Output Handle")), std::exchange(allocatingFrom, QString()));
    } else if (call.entry && f == QLatin1String("SQLSetStmtAttr") &&
               call.fields.value(QStringLiteral("Attribute")) == QLatin1String("SQL_ATTR_CURSOR_TYPE") &&
               call.fields.value(QStringLiteral("Value")) != QLatin1String("(nil)")) {
      report.broken << QStringLiteral("a scrollable cursor");
    } else if (call.entry && f == QLatin1String("SQLBindParameter")) {
      const QString c = call.fields.value(QStringLiteral("C Type")), sql = call.fields.value(QStringLiteral("SQL Type"));
      if (c.contains(QLatin1String("CHAR")) || sql.contains(QLatin1String("CHAR"))) ++report.textParameters;
      static const QSet<QString> narrow{QStringLiteral("SQL_C_CHAR"), QStringLiteral("SQL_CHAR"),
                                        QStringLiteral("SQL_VARCHAR"), QStringLiteral("SQL_LONGVARCHAR")};
      if (narrow.contains(c.section(' ', 1)) || narrow.contains(sql.section(' ', 1)))
        report.broken << QStringLiteral("narrow text (%1, %2)").arg(c, sql);
    } else if (call.entry && (f == QLatin1String("SQLExecute") || f == QLatin1String("SQLExecDirect"))) {
      ++report.statementsRun;
      const QString conn = connectionOf.value(current);
      if (openOn.contains(conn) && openOn.value(conn) != current)
        report.broken << QStringLiteral("a statement run while another result set is open");
      close(current);
    } else if (!call.entry && f == QLatin1String("SQLNumResultCols") &&
               !call.fields.value(QStringLiteral("Count")).endsWith(QLatin1String("-> 0"))) {
      openOn.insert(connectionOf.value(current), current);
    } else if ((!call.entry && call.result == QLatin1String("SQL_NO_DATA") &&
                (f == QLatin1String("SQLFetch") || f == QLatin1String("SQLMoreResults"))) ||
               (call.entry && f == QLatin1String("SQLCloseCursor")) ||
               (call.entry && f == QLatin1String("SQLFreeStmt") &&
                QSet<QString>{QStringLiteral("0"), QStringLiteral("1")}.contains(call.fields.value(QStringLiteral("Option"))))) {
      close(current);
    } else if (call.entry && f == QLatin1String("SQLFreeHandle")) {
      close(call.fields.value(QStringLiteral("Input Handle")));
    }
  }
  report.broken.removeDuplicates();
  return report;
}

// Traces every ODBC connection opened while it lives.
class Traced {
 public:
  explicit Traced(const QString& file) : file_(file) { qputenv("CORVINA_ODBC_TRACE", QFile::encodeName(file)); }
  ~Traced() { qunsetenv("CORVINA_ODBC_TRACE"); }
  Report report() const { return check(file_); }

 private:
  QString file_;
};

}  // namespace

TEST(ServerRulesOnServer, ADemoItsLoginAndACourseThereAndBackKeepSqlServersRules) {
  TestEnv env;
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  const Traced trace(env.path("odbc.trace"));
  int courseId = 0;
  {
    auto dal = env.dal();
    courseId = DemoData::create(*dal, 40).bigCourseId;
  }
  EXPECT_EQ(LoginCheck::login(QStringLiteral("admin"), QStringLiteral("admin")), LoginCheck::Outcome::Success);
  QString file = env.path("course.mdb");
  ASSERT_TRUE(CExport(*ui).ExportCourseData(file, courseId).succeeded());
  ui->answers.push_back(Answer::Ok);  // imported again under a dated name
  CImport import(*ui);
  import.session().bAutoMap = true;
  ASSERT_TRUE(import.ImportCourseData(file).succeeded());

  const Report report = trace.report();
  EXPECT_EQ(report.broken, QStringList());
  EXPECT_GT(report.statementsRun, 20);
  EXPECT_GT(report.textParameters, 20);
}

// Each rule, broken on purpose on a traced connection, is seen.
TEST(ServerRulesOnServer, EachBrokenRuleIsSeenInTheTrace) {
  TestEnv env;
  struct Row {
    const char* broken;
    std::function<void(OdbcConnection&)> misuse;
  };
  const Row rows[] = {
      {"a scrollable cursor",
       [](OdbcConnection& c) {
         QSqlQuery q(c.database());
         q.exec(QStringLiteral("select 1"));
       }},
      {"narrow text (1 SQL_C_CHAR, 12 SQL_VARCHAR)",
       [](OdbcConnection& c) {
         SQLHSTMT stmt = nullptr;
         SQLAllocHandle(SQL_HANDLE_STMT, c.handle(), &stmt);
         char text[] = "abc";
         SQLLEN length = 3;
         SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 3, 0, text, 3, &length);
         SQLFreeHandle(SQL_HANDLE_STMT, stmt);
       }},
      {"a statement run while another result set is open",
       [](OdbcConnection& c) {
         Odbc::Statement rows(c.handle(), QStringLiteral("select 1 union all select 2"));
         rows.execute();
         Odbc::Statement next(c.handle(), QStringLiteral("select 3"));
         next.execute();
       }},
      {"", [](OdbcConnection& c) { c.firstValue(QStringLiteral("select 1")); }},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.broken);
    const Traced trace(env.path(QStringLiteral("misuse%1.trace").arg(++n)));
    OdbcConnection conn(env.systemConnect(), Dialect::PostgreSQL);
    row.misuse(conn);
    EXPECT_EQ(trace.report().broken, *row.broken ? QStringList{QString::fromUtf8(row.broken)} : QStringList());
  }
}
