#pragma once
#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>
#include <QVariant>

#include <initializer_list>
#include <memory>
#include <utility>

#include "data/CDataAccess.h"
#include "mapping/ImportSession.h"
#include "mapping/MappingModel.h"
#include "resources/Strings.h"
#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"

// Two databases for the mapping form: the test's system database and an
// exchange file copied from the template, both reached through an import
// session exactly as an import reaches them.
class MappingTest : public ::testing::Test {
 protected:
  MappingTest() {
    exchangeFile = env.path(QStringLiteral("course.mdb"));
    QFile::copy(env.path(QStringLiteral("Template.mdb")), exchangeFile);
    QFile::setPermissions(exchangeFile, QFile::ReadOwner | QFile::WriteOwner);
    session.ImportSourceDAL().OpenExchangeFile(exchangeFile, ExchangeAccess::Write);
  }

  CDataAccess& exchange() { return session.ImportSourceDAL(); }
  CDataAccess& system() { return session.ImportDestDAL(); }

  static QVariant scalar(CDataAccess& dal, const QString& sql) {
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sql, rs);
    return rs->Eof() ? QVariant() : rs->Value(0);
  }
  static QStringList column(CDataAccess& dal, const QString& sql) {
    RecordsetPtr rs;
    dal.GetConnectedRecordset(sql, rs);
    QStringList values;
    for (; !rs->Eof(); rs->MoveNext()) values << rs->Value(0).toString();
    return values;
  }
  qint32 lastId(const QString& table) {
    return scalar(system(), QStringLiteral("select max(%1ID) from %1").arg(table)).toInt();
  }

  // ---- rows -------------------------------------------------------------
  void exchangeSubject(qint32 id, const QString& name, const QString& description = {}) {
    exchange().ExecQuery({}, QStringLiteral("insert into Subject (SubjectID,name,description) values (?,?,?)"),
                         {id, name, description});
  }
  qint32 systemSubject(const QString& name) {
    system().ExecQuery({}, QStringLiteral("insert into Subject (name) values (?)"), {name});
    return lastId(QStringLiteral("Subject"));
  }

  struct Range {
    QVariant minimum, maximum, increment;
  };
  void exchangeFeature(qint32 id, const QString& name, QVariant type = 0, Range r = {}, int number = 0) {
    exchange().ExecQuery({},
                         QStringLiteral("insert into Feature (FeatureID,name,FeatureNumber,type,minimum,maximum,"
                                        "valueincrement,description) values (?,?,?,?,?,?,?,?)"),
                         {id, name, number, type, r.minimum, r.maximum, r.increment, name + QStringLiteral(" 说明")});
  }
  qint32 systemFeature(const QString& name, QVariant type = 0, Range r = {}, int number = 0) {
    system().ExecQuery({},
                       QStringLiteral("insert into Feature (name,FeatureNumber,type,minimum,maximum,valueincrement) "
                                      "values (?,?,?,?,?,?)"),
                       {name, number, type, r.minimum, r.maximum, r.increment});
    return lastId(QStringLiteral("Feature"));
  }

  void exchangePartition(qint32 id, qint32 feature, const QString& name, QVariant minimum, QVariant ext = {},
                         int number = 0) {
    exchange().ExecQuery({},
                         QStringLiteral("insert into FeaturePartition (FeaturePartitionID,FeatureID,name,Minimum,"
                                        "Maximum,FeaturePartitionNumber,ExtProperties,description) "
                                        "values (?,?,?,?,?,?,?,?)"),
                         {id, feature, name, minimum, minimum, number, ext, QStringLiteral("分区")});
  }
  qint32 systemPartition(qint32 feature, const QString& name, QVariant minimum, QVariant ext = {}) {
    system().ExecQuery({},
                       QStringLiteral("insert into FeaturePartition (FeatureID,name,Minimum,Maximum,"
                                      "FeaturePartitionNumber,ExtProperties) values (?,?,?,?,0,?)"),
                       {feature, name, minimum, minimum, ext});
    return lastId(QStringLiteral("FeaturePartition"));
  }

  // An EXT document with the given elements, in the order given.
  static QString ext(std::initializer_list<std::pair<const char*, const char*>> elements) {
    QString xml = QStringLiteral("<EXT>");
    for (const auto& [name, value] : elements)
      xml += QStringLiteral("<%1 TYPE=\"STRING\">%2</%1>").arg(QLatin1String(name), QString::fromUtf8(value));
    return xml + QStringLiteral("</EXT>");
  }

  // ---- the form -----------------------------------------------------------
  void openStep(qint32 step) {
    form.intStep = step;
    form.Load();
  }
  // Selects the entries with these texts (an empty text selects nothing).
  static void select(MappingList& list, const QString& text) {
    list.ListIndex = -1;
    for (int i = 0; i < list.ListCount(); ++i)
      if (list.List(i) == text) list.ListIndex = i;
  }
  void link(const QString& source, const QString& dest) {
    select(form.SourceList, source);
    select(form.DestList, dest);
    form.Link_Click();
  }
  static QStringList texts(const MappingList& list) {
    QStringList out;
    for (const auto& e : list.entries()) out << e.text;
    return out;
  }
  static QList<qint32> itemData(const MappingList& list) {
    QList<qint32> out;
    for (const auto& e : list.entries()) out << e.itemData;
    return out;
  }
  static QList<std::pair<qint32, qint32>> pairs(const IdMap& map) {
    QList<std::pair<qint32, qint32>> out;
    for (const auto& p : map) out << p;
    return out;
  }

  // Lists and pairs agree: MapList shows exactly the pairs the form made (step
  // 1 also keeps -1), SourceList holds exactly the unpaired exchange items and,
  // in steps 1 and 2, DestList exactly the unpaired system items.
  void expectConsistent(const IdMap& pairMap) const {
    QList<qint32> paired;
    for (const auto& [s, d] : pairMap)
      if (s != -1) paired << s;
    EXPECT_EQ(itemData(form.MapList), paired);
    for (const auto& e : form.MapList.entries()) {
      const QString expected = form.SourceTextMap().value(e.itemData).value_or(QString()) +
                               QStringLiteral(" <----> ") +
                               form.DestTextMap().value(pairMap.value(e.itemData).value_or(0)).value_or(QString());
      EXPECT_EQ(e.text, expected);
    }
    QList<qint32> unpairedSource;
    for (const auto& [id, text] : form.SourceTextMap())
      if (!pairMap.contains(id)) unpairedSource << id;
    QList<qint32> listedSource = itemData(form.SourceList);
    std::sort(listedSource.begin(), listedSource.end());
    std::sort(unpairedSource.begin(), unpairedSource.end());
    EXPECT_EQ(listedSource, unpairedSource);
    if (form.intStep == 3) return;
    QList<qint32> unpairedDest;
    for (const auto& [id, text] : form.DestTextMap()) {
      bool used = false;
      for (const auto& [s, d] : pairMap) used = used || (d == id && s != -1);
      if (!used) unpairedDest << id;
    }
    QList<qint32> listedDest = itemData(form.DestList);
    std::sort(listedDest.begin(), listedDest.end());
    std::sort(unpairedDest.begin(), unpairedDest.end());
    EXPECT_EQ(listedDest, unpairedDest);
  }

  // The message boxes shown so far, each checked to carry the dialog's OK
  // button, exclamation icon and title.
  QStringList messages() const {
    for (const auto& s : ui->shown) {
      if (s.kind != QLatin1String("msgbox") || (s.flags & Vb::ButtonsMask) != Vb::OKOnly) continue;
      EXPECT_EQ(s.flags, Vb::OKOnly | Vb::Exclamation) << s.prompt.toStdString();
      EXPECT_EQ(s.title, QStringLiteral("导入导出"));
    }
    return ui->prompts();
  }

  TestEnv env;
  QString exchangeFile;
  std::shared_ptr<ScriptedInteraction> ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope{ui};
  ImportSession session{*ui};
  MappingModel& form = session.mappingForm();
};
