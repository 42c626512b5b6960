#include "support/TestEnv.h"

#include <QFile>
#include <QVariant>

#include "data/CDataAccess.h"
#include "data/Schema.h"

TestEnv::TestEnv() {
  previousHome_ = qgetenv("CORVINA_HOME");
  qputenv("CORVINA_HOME", dir_.path().toUtf8());
  QFile::copy(builtTemplate(), path(QStringLiteral("Template.mdb")));
  QFile::setPermissions(path(QStringLiteral("Template.mdb")),
                        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
  useSystemDb(createSystemDb(systemDb()));
}

TestEnv::~TestEnv() {
  if (previousHome_.isEmpty())
    qunsetenv("CORVINA_HOME");
  else
    qputenv("CORVINA_HOME", previousHome_);
}

QString TestEnv::builtTemplate() { return QStringLiteral(CORVINA_BINARY_DIR "/Template.mdb"); }

QString TestEnv::createSystemDb(const QString& file) {
  QFile::remove(file);
  QFile f(file);
  f.open(QIODevice::WriteOnly);
  f.close();
  const QString connect = QStringLiteral("Driver=SQLite3;Database=") + file;
  CDataAccess dal{CDataAccess::Unconnected{}};
  dal.OpenConnection(connect);
  dal.BeginTrans();
  Schema::createSystemTables(dal);
  dal.CommitTrans();
  return connect;
}

void TestEnv::useSystemDb(const QString& connectString) const {
  QFile f(path(QStringLiteral("odbc.ini")));
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write("[ODBC]\r\nConnectionString=" + connectString.toUtf8() + "\r\n");
}

std::unique_ptr<CDataAccess> TestEnv::dal() const { return std::make_unique<CDataAccess>(); }

void TestEnv::exec(const QString& sql) const { dal()->ExecQuery(QString(), sql); }

QVariant TestEnv::scalar(const QString& sql) const {
  auto d = dal();
  RecordsetPtr rs;
  d->GetConnectedRecordset(sql, rs);
  return rs->Eof() ? QVariant() : rs->Value(0);
}
