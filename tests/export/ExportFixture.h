#pragma once
#include <gtest/gtest.h>

#include <QFile>
#include <QString>
#include <QStringList>

#include <memory>
#include <ostream>
#include <utility>
#include <vector>

#include "data/CDataAccess.h"
#include "data/Schema.h"
#include "export/CExport.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

// Readable failure output for texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// A program folder with a system database, scripted answers, and helpers to
// look into the exchange files the export writes.
class ExportTest : public ::testing::Test {
 protected:
  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  std::vector<std::pair<int, QString>> progress;

  // Set-up statements on the system database, in one transaction.
  void run(const QStringList& statements) const {
    auto dal = env.dal();
    dal->BeginTrans();
    for (const QString& sql : statements) dal->ExecQuery(QString(), sql);
    dal->CommitTrans();
  }

  std::unique_ptr<CExport> newExport() {
    auto exporter = std::make_unique<CExport>(*ui);
    exporter->ExportProgress = [this](qint16 bar, const QString& message) {
      progress.emplace_back(bar, message);
    };
    return exporter;
  }

  // Runs a statement on an exchange file (test set-up).
  static void execIn(const QString& file, const QString& sql) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenExchangeFile(file, ExchangeAccess::Write);
    dal.ExecQuery(QString(), sql);
    dal.CloseConnection();
  }

  // First column of every row, as text.
  static QStringList column(const QString& file, const QString& sql) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenExchangeFile(file, ExchangeAccess::Read);
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sql, rs);
    QStringList out;
    for (; !rs->Eof(); rs->MoveNext()) out << rs->Value(0).toString();
    return out;
  }

  static int count(const QString& file, const QString& table) {
    return column(file, QStringLiteral("select count(*) from ") + table).value(0).toInt();
  }

  // The bar only moves forward and ends on the message that the export is done.
  void expectProgressToTheEnd() const {
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1].first, progress[i].first) << i;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(100, Res::str(347)));
  }

  // Every row of the fifteen tables, for before/after comparisons.
  static QString dump(const QString& file) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenExchangeFile(file, ExchangeAccess::Read);
    QString out;
    for (const QString& table : Schema::courseTableNames()) {
      RecordsetPtr rs;
      dal.GetConnectedRecordset(QStringLiteral("select * from ") + table + QStringLiteral(" order by 1, 2"), rs);
      out += table + ':';
      for (; !rs->Eof(); rs->MoveNext()) {
        for (int i = 0; i < rs->FieldCount(); ++i) out += rs->Value(i).toString() + '|';
        out += ';';
      }
      out += '\n';
    }
    return out;
  }

  static QByteArray bytes(const QString& file) {
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  // An exchange file made from the template, not yet exported into.
  QString freshExchangeFile(const QString& name) const {
    const QString file = env.path(name);
    QFile::copy(env.path(QStringLiteral("Template.mdb")), file);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    return file;
  }
};
