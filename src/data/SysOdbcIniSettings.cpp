#include "data/SysOdbcIniSettings.h"

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
  throw DataError(DataError::GenericNumber, QStringLiteral("frmSysOdbcIni"),
                  QStringLiteral("无法写入文件 %1").arg(file));
}
// The provider may take a while to give up on a server that is not there.
struct BusyWhileConnecting {
  BusyWhileConnecting() { interaction().SetBusy(true); }
  ~BusyWhileConnecting() { interaction().SetBusy(false); }
  BusyWhileConnecting(const BusyWhileConnecting&) = delete;
  BusyWhileConnecting& operator=(const BusyWhileConnecting&) = delete;
};

void reportFailure(const QString& description) {
  interaction().MsgBox(QStringLiteral("连接失败！\r\n") + description, Vb::OKOnly | Vb::Critical,
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
  return f;
}

bool SysOdbcIniSettings::TestAndSave(const OdbcIniFields& f) {
  if (f.ConnectionString.isEmpty()) {
    m_strConnect = ConnectionSettings::sqlServerString(f.DataSource.trimmed(), f.InitialCatalog.trimmed(),
                                                       f.UserID.trimmed(), f.PassWord.trimmed());
  } else {
    const QString boxes[] = {f.Provider, f.DataSource, f.InitialCatalog, f.UserID, f.PassWord};
    for (const QString& box : boxes) {
      if (box.isEmpty()) {
        interaction().MsgBox(QStringLiteral("参数不能有空项!重新输入参数!"), Vb::OKOnly, QString());
        return false;
      }
    }
    m_strConnect = f.ConnectionString;
  }
  if (!fitsTheFile(f)) {
    interaction().MsgBox(QStringLiteral("参数过长!每项不能超过127个字符，重新输入参数!"), Vb::OKOnly | Vb::Exclamation,
                         QString());
    return false;
  }
  try {
    {
      const BusyWhileConnecting busy;
      openConnection(m_strConnect);
    }
    interaction().MsgBox(QStringLiteral("连接成功！"), Vb::OKOnly, QString());
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
