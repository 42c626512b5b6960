#include "data/SysOdbcIniSettings.h"

#include <algorithm>

#include "core/Interaction.h"
#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "data/IniFile.h"
#include "data/Scramble.h"
#include "resources/Strings.h"

namespace {
const QString kSection = QStringLiteral("ODBC");

void openAndClose(const QString& connect) {
  auto conn = Connection::open(connect);
  conn->release();
}

[[noreturn]] void raiseNotWritten(const QString& file) {
  throw DataError(QStringLiteral("frmSysOdbcIni"),
                  QStringLiteral("无法写入文件 %1").arg(file));
}
// The provider may take a while to give up on a server that is not there.
struct BusyWhileConnecting {
  BusyWhileConnecting() { interaction().SetBusy(true); }
  ~BusyWhileConnecting() { interaction().SetBusy(false); }
  BusyWhileConnecting(const BusyWhileConnecting&) = delete;
  BusyWhileConnecting& operator=(const BusyWhileConnecting&) = delete;
};

bool hasEmptyBox(const OdbcIniFields& f) {
  const QString boxes[] = {f.Provider, f.DataSource, f.InitialCatalog, f.UserID, f.PassWord};
  return std::any_of(std::begin(boxes), std::end(boxes), [](const QString& box) { return box.isEmpty(); });
}

void reportFailure(const QString& description) {
  interaction().MsgBox(QStringLiteral("连接失败！\r\n") + description, {MessageKind::Error},
                       QStringLiteral("错误"));
}
}  // namespace

SysOdbcIniSettings::SysOdbcIniSettings(QString iniFile)
    : openConnection(openAndClose), m_strFile(std::move(iniFile)) {}

OdbcIniFields SysOdbcIniSettings::Load() const {
  auto read = [this](const char* key) { return ReadIniString(kSection, QLatin1String(key), m_strFile); };
  OdbcIniFields f;
  f.DataSource = read("Data Source");
  f.Provider = read("Provider");
  f.InitialCatalog = read("Initial Catalog");
  f.UserID = UnscrambleText(read("User ID"), ConnectionSettings::Key);
  f.PassWord = UnscrambleText(read("PassWord"), ConnectionSettings::Key);
  f.ConnectionString = read("ConnectionString");
  const QString driver = Connection::connectValue(f.ConnectionString, QStringLiteral("Driver"));
  if (driver.compare(SqliteProvider, Qt::CaseInsensitive) == 0) {
    f.Provider = SqliteProvider;
    f.DataSource = Connection::connectValue(f.ConnectionString, QStringLiteral("Database"));
  }
  return f;
}

// The string the test opens: a SQLite file's, the full string box's (every
// box filled), or one built from the server's boxes.
bool SysOdbcIniSettings::chooseWorkingString(const OdbcIniFields& f) {
  const bool sqlite = f.Provider == SqliteProvider;
  if (sqlite ? f.DataSource.trimmed().isEmpty() : !f.ConnectionString.isEmpty() && hasEmptyBox(f)) {
    interaction().MsgBox(QStringLiteral("参数不能有空项!重新输入参数!"), {}, QString());
    return false;
  }
  m_strConnect = sqlite || !f.ConnectionString.isEmpty()
                     ? f.ConnectionString
                     : ConnectionSettings::sqlServerString(f.DataSource.trimmed(), f.InitialCatalog.trimmed(),
                                                           f.UserID.trimmed(), f.PassWord.trimmed());
  return true;
}

// A SQLite file needs only its path: the string is made from it, and the
// server's boxes may stay empty.
bool SysOdbcIniSettings::TestAndSave(const OdbcIniFields& typed) {
  OdbcIniFields f = typed;
  if (f.Provider == SqliteProvider) f.ConnectionString = ConnectionSettings::sqliteString(f.DataSource.trimmed());
  if (!chooseWorkingString(f)) return false;
  if (!fitsTheFile(f)) {
    interaction().MsgBox(QStringLiteral("参数过长!每项不能超过127个字符，重新输入参数!"), {MessageKind::Warning},
                         QString());
    return false;
  }
  try {
    {
      const BusyWhileConnecting busy;
      openConnection(m_strConnect);
    }
    interaction().MsgBox(QStringLiteral("连接成功！"), {}, QString());
    Save(f);
  } catch (const DataError& e) {
    reportFailure(e.description());
    return false;
  } catch (const std::exception& e) {
    reportFailure(QString::fromUtf8(e.what()));
    return false;
  }
  return true;
}

// The settings file hands back at most 127 characters of a value: a longer one
// would be saved cut short and fail later, far from where it was typed. The
// values are measured as Save writes them, blanks included.
bool SysOdbcIniSettings::fitsTheFile(const OdbcIniFields& f) const {
  constexpr qsizetype kMaxValue = 127;
  const qsizetype scrambledExtra = ConnectionSettings::Key.size();
  return f.Provider.size() <= kMaxValue && f.DataSource.size() <= kMaxValue && f.InitialCatalog.size() <= kMaxValue &&
         f.UserID.size() + scrambledExtra <= kMaxValue && f.PassWord.size() + scrambledExtra <= kMaxValue &&
         f.ConnectionString.size() <= kMaxValue;
}

// The full string is written only when given, so an earlier one stays in force.
void SysOdbcIniSettings::Save(const OdbcIniFields& f) const {
  auto write = [this](const char* key, const QString& value) {
    if (!WriteIniString(kSection, QLatin1String(key), value, m_strFile)) raiseNotWritten(m_strFile);
  };
  write("Provider", f.Provider);
  write("Data Source", f.DataSource);
  write("Initial Catalog", f.InitialCatalog);
  write("User ID", ScrambleText(f.UserID, ConnectionSettings::Key));
  write("PassWord", ScrambleText(f.PassWord, ConnectionSettings::Key));
  if (!f.ConnectionString.isEmpty()) write("ConnectionString", f.ConnectionString);
}
