#pragma once
#include <gtest/gtest.h>

#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

#include "import/CImport.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

// The course the tests travel with: subjects 1 and 2, the problem-type feature
// 10, the numbered feature 11 (type 1), the user feature 12 and the numbered
// feature 13 the system lacks; contents 31 > 32 > 33 and 34; problems 51 and
// 52 in group 41, 53 alone. The receiving system holds subjects 物理 (3) and
// 数学 (7), features 20 (题型), 21 (难度, number 5), 22 (自定义) and rows that
// push every generated ID above 500.
QStringList DemoCourse(const QString& courseName);

class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  void ScriptDemoMapping();  // what a user does in the mapping dialogs for the demo course
  bool ImportCourse(const QString& file);  // progress recorded
  // An exchange file made from the template by the statements given.
  QString WriteFile(const QString& name, const QStringList& statements) const;
  QString DemoFile(const QString& name, const QStringList& changes = {},
                   const QString& course = QStringLiteral("高等数学")) const {
    return WriteFile(name, DemoCourse(course) + changes);
  }
  // The system database refuses every insert into table, as a full disk would.
  void RefuseInserts(const QString& table, bool refuse) const;
  // Every row of every table of the system database, as text.
  QStringList Snapshot() const;
  QVariant Scalar(const QString& sql) const { return env.scalar(sql); }
  int Count(const QString& sql) const { return env.scalar(sql).toInt(); }

  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  std::unique_ptr<ScopedInteraction> scope;
  CImport import{*ui};
  std::vector<std::pair<int, QString>> progress;
};
