#include "ui/AboutBox.h"

#include <QMessageBox>
#include <QSqlDatabase>
#include <QStringList>

#include <odbcinst.h>

#include <array>

#include "Version.h"
#include "data/Connection.h"
#include "data/ConnectionSettings.h"
#include "data/DataError.h"
#include "resources/Strings.h"

namespace {
// The drivers unixODBC has registered (odbcinst.ini), by name.
QStringList odbcDrivers() {
  std::array<char, 8192> buffer{};
  WORD used = 0;
  if (!SQLGetInstalledDrivers(buffer.data(), static_cast<WORD>(buffer.size() - 1), &used)) return {};
  QStringList names;
  // The list is NUL-separated and ends with an empty name.
  for (const char* name = buffer.data(); *name != '\0' && name < buffer.data() + used; name += qstrlen(name) + 1)
    names << QString::fromLocal8Bit(name);
  return names;
}

// Only the driver of the stored connection string: the rest may hold a password.
QString currentDriver() {
  try {
    const QString driver = Connection::connectValue(ConnectionSettings::connectionString(), QStringLiteral("Driver"));
    return driver.isEmpty() ? QStringLiteral("（未设置）") : driver;
  } catch (const DataError& e) {
    return e.description();
  }
}

QString row(const QString& label, const QString& value) {
  return QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(label, value.toHtmlEscaped());
}
}  // namespace

QString AboutText() {
  const QStringList odbc = odbcDrivers();
  return QStringLiteral("<h3>Corvina %1</h3><p>%2课程导入导出</p><table cellspacing=\"4\">")
             .arg(QStringLiteral(CORVINA_VERSION_TEXT), Res::str(Res::AppTitle)) +
         row(QStringLiteral("Qt"), QStringLiteral("%1（编译时 %2）").arg(QString::fromLatin1(qVersion()),
                                                                       QStringLiteral(QT_VERSION_STR))) +
         row(QStringLiteral("libmdb"), QStringLiteral(CORVINA_LIBMDB_VERSION)) +
         row(QStringLiteral("Qt 数据库驱动"), QSqlDatabase::drivers().join(QStringLiteral("、"))) +
         row(QStringLiteral("ODBC 驱动"), odbc.isEmpty() ? QStringLiteral("（无）") : odbc.join(QStringLiteral("、"))) +
         row(QStringLiteral("当前连接的驱动"), currentDriver()) + QStringLiteral("</table>");
}

void ShowAbout(QWidget* parent) { QMessageBox::about(parent, QStringLiteral("关于 Corvina"), AboutText()); }
