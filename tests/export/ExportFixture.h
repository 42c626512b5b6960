#pragma once
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include <memory>
#include <utility>
#include <vector>

#include "data/CDataAccess.h"
#include "data/Schema.h"
#include "export/CExport.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

// A program folder with a system database, scripted answers, and helpers to
// look into the exchange files the export writes.
class ExportTest : public ::testing::Test {
 protected:
  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  std::vector<std::pair<int, QString>> progress;

  void run(const QStringList& statements) const {
    for (const QString& sql : statements) env.exec(sql);
  }
  std::unique_ptr<CExport> newExport() {
    auto exporter = std::make_unique<CExport>(*ui);
    exporter->ExportProgress = [this](qint16 bar, const QString& message) { progress.emplace_back(bar, message); };
    return exporter;
  }
  static void execIn(const QString& file, const QString& sql) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenExchangeFile(file, ExchangeAccess::Write);
    dal.ExecQuery(sql);
    dal.CloseConnection();
  }
  // First column (or all columns) of every row, as text.
  static QStringList column(const QString& file, const QString& sql, bool allColumns = false) {
    CDataAccess dal{CDataAccess::Unconnected{}};
    dal.OpenExchangeFile(file, ExchangeAccess::Read);
    Bulk::Query rows = dal.OpenQuery(sql);
    QStringList out;
    while (rows.next()) {
      QStringList cells;
      for (int i = 0; i < (allColumns ? rows.columnCount() : 1); ++i) cells << rows.value(i).toString();
      out << cells.join('|');
    }
    return out;
  }
  static int count(const QString& file, const QString& table) {
    return column(file, QStringLiteral("select count(*) from ") + table).value(0).toInt();
  }
  // Every row of every table, for before/after comparisons.
  static QString dump(const QString& file) {
    QString out;
    for (const QString& table : Schema::courseTableNames())
      out += table + ':' + column(file, "select * from " + table + " order by 1, 2", true).join(';') + '\n';
    return out;
  }
  // An exchange file made from the template, not yet exported into.
  QString freshExchangeFile(const QString& name) const {
    const QString file = env.path(name);
    QFile::copy(env.path(QStringLiteral("Template.mdb")), file);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    return file;
  }
  // The bar only moves forward and ends on the message that the export is done.
  void expectProgressToTheEnd() const {
    for (size_t i = 1; i < progress.size(); ++i) EXPECT_LE(progress[i - 1].first, progress[i].first) << i;
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::make_pair(100, Res::str(347)));
  }
};
