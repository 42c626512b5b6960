#pragma once
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QVariant>

#include <memory>

#include "data/CDataAccess.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

// The mapping form between the test's system database and an exchange file
// copied from the template, both reached through an import session. Exchange
// rows take the IDs given, system rows number their own (an ID of null).
class MappingTest : public ::testing::Test {
 protected:
  MappingTest() {
    const QString file = env.path("course.mdb");
    QFile::copy(env.path("Template.mdb"), file);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    session.ImportSourceDAL().OpenExchangeFile(file, ExchangeAccess::Write);
  }
  CDataAccess& exchange() { return session.ImportSourceDAL(); }
  CDataAccess& system() { return session.ImportDestDAL(); }

  static QStringList column(CDataAccess& dal, const QString& sql, const QVariantList& params = {}) {  // first column
    Bulk::Query rows = dal.OpenQuery(sql, params);
    QStringList values;
    while (rows.next()) values << rows.value(0).toString();
    return values;
  }
  qint32 lastId(const QString& table) { return column(system(), QString("select max(%1ID) from %1").arg(table))[0].toInt(); }
  qint32 count(const QString& table) { return column(system(), "select count(*) from " + table)[0].toInt(); }

  qint32 insert(CDataAccess& dal, const QString& table, QStringList columns, QVariantList values) {
    const bool numbered = values[0].isNull();
    if (numbered) (columns.removeFirst(), values.removeFirst());
    const QString marks = QStringList(values.size(), "?").join(',');
    dal.ExecQuery(QString("insert into %1 (%2) values (%3)").arg(table, columns.join(','), marks), values);
    return numbered ? lastId(table) : values[0].toInt();
  }
  void subject(CDataAccess& dal, QVariant id, const QString& name, const QString& description = {}) {
    insert(dal, "Subject", {"SubjectID", "name", "description"}, {id, name, description});
  }
  struct Range { QVariant minimum, maximum, increment; };
  qint32 feature(CDataAccess& dal, QVariant id, const QString& name, QVariant type = 0, Range r = {}, int number = 0) {
    return insert(dal, "Feature", {"FeatureID", "name", "FeatureNumber", "type", "minimum", "maximum", "valueincrement", "description"},
                  {id, name, number, type, r.minimum, r.maximum, r.increment, name + " 说明"});
  }
  qint32 partition(CDataAccess& dal, QVariant id, qint32 feature, const QString& name, QVariant value, QVariant ext = {}) {
    return insert(dal, "FeaturePartition",
                  {"FeaturePartitionID", "FeatureID", "name", "Minimum", "Maximum", "FeaturePartitionNumber", "ExtProperties", "description"},
                  {id, feature, name, value, value, 0, ext, "分区"});
  }
  static QString ext(const QString& elements) { return "<EXT>" + elements + "</EXT>"; }

  void openStep(qint32 step) { (form.intStep = step, form.Load()); }
  // Selects the last entry of each text ("": none) and links.
  void link(const QString& source, const QString& dest) {
    for (auto [list, text] : {std::pair{&form.SourceList, source}, {&form.DestList, dest}}) {
      list->ListIndex = -1;
      for (int i = 0; i < list->ListCount(); ++i)
        if (list->List(i) == text) list->ListIndex = i;
    }
    form.link();
  }
  static QStringList texts(const MappingList& list) {
    QStringList out;
    for (const auto& e : list.entries()) out << e.text;
    return out;
  }
  static QList<std::pair<qint32, qint32>> pairs(const IdMap& map) { return {map.begin(), map.end()}; }

  TestEnv env;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  ImportSession session{*ui};
  MappingModel& form = session.mappingForm();
};
