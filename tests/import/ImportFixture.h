#pragma once
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <vector>

#include "import/CImport.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

class CDataAccess;

// An exchange file written row by row from the template, the way the export
// leaves one.
class ExchangeFile {
 public:
  ExchangeFile(const TestEnv& env, const QString& name);
  ~ExchangeFile();
  const QString& path() const { return path_; }
  void exec(const QString& sql);
  // Writes the file out and lets go of it (the import opens it itself).
  void close();

 private:
  QString path_;
  std::unique_ptr<CDataAccess> dal_;
};

// The course the tests travel with: two subjects, a problem-type feature and
// a user-defined feature of type 0, two numbered features of type 1, a content
// tree three levels deep, a problem group with three problems, their links,
// values and the syllabus. Exchange IDs are small; the receiving system
// database already holds rows with larger IDs, so every ID changes.
void WriteDemoCourse(ExchangeFile& file, const QString& courseName = QStringLiteral("高等数学"));
// The reference data of the receiving system database: subjects 物理 (3) and
// 数学 (7), features 题型 (20, number 1), 难度 (21, number 5, type 1, three
// partitions) and the user feature 自定义 (22), plus unrelated rows that push
// every generated ID above 500.
void SeedReceivingSystem(const TestEnv& env);

// A test with a receiving system database prepared and the import globals
// released afterwards.
class ImportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // What a user does in the manual dialogs for the demo course.
  void ScriptDemoMapping();
  // Runs one course import with progress recorded.
  bool ImportCourse(const QString& file);
  // The demo course written to name, changed by the statements given.
  QString DemoFile(const QString& name, const QStringList& changes = {},
                   const QString& course = QStringLiteral("高等数学"));
  // The system database refuses every insert into table, as a full disk would.
  void RefuseInserts(const QString& table, bool refuse) const;

  // Every row of every course table of the system database, as text.
  QStringList Snapshot() const;
  QVariant Scalar(const QString& sql) const { return env.scalar(sql); }
  int Count(const QString& sql) const { return env.scalar(sql).toInt(); }

  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  std::unique_ptr<ScopedInteraction> scope;
  CImport import{*ui};
  std::vector<std::pair<int, QString>> progress;
};
