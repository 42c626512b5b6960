#include "MappingFixture.h"

namespace {

class Finishing : public MappingTest {
 protected:
  using Shown = ScriptedInteraction::Shown;
  const Shown* question() const {
    for (const auto& s : ui->shown)
      if ((s.flags & Vb::ButtonsMask) == Vb::YesNo) return &s;
    return nullptr;
  }
};

TEST_F(Finishing, AnsweringNoKeepsTheStepOpenAndAsksAgain) {
  exchangeSubject(12, QStringLiteral("数学"), QStringLiteral("理科"));
  exchangeSubject(15, QStringLiteral("物理"));
  const qint32 physics = systemSubject(QStringLiteral("物理"));
  openStep(1);
  link("物理", "物理");
  ui->answers = {Vb::No};
  form.Finish_Click();
  ASSERT_NE(question(), nullptr);
  EXPECT_EQ(question()->prompt, QStringLiteral("工作数据库中没有做对应的课程都将在系统数据库中新建，确定么?"));
  EXPECT_EQ(question()->flags, Vb::YesNo | Vb::Question | Vb::DefaultButton2);
  EXPECT_EQ(question()->title, QStringLiteral("导入导出"));
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(form.intStep, 1);
  EXPECT_EQ(scalar(system(), "select count(*) from Subject").toInt(), 1);
  EXPECT_EQ(texts(form.MapList), QStringList{"物理 <----> 物理"});

  session.SubjectMap.add(99, 99);  // left over from an earlier file
  ui->answers = {Vb::Yes};
  form.Finish_Click();
  EXPECT_EQ(ui->prompts().size(), 2);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_EQ(form.intStep, 0);
  EXPECT_FALSE(form.bCancel);
  const qint32 created = lastId("Subject");
  EXPECT_EQ(pairs(session.SubjectMap),
            (QList<std::pair<qint32, qint32>>{{-1, -1}, {15, physics}, {12, created}}));
  EXPECT_EQ(column(system(), QStringLiteral("select name || '/' || description from Subject where SubjectID=") +
                                 QString::number(created)),
            QStringList{"数学/理科"});
}

TEST_F(Finishing, NothingLeftToCreateAsksNothing) {
  exchangeSubject(12, QStringLiteral("数学"));
  systemSubject(QStringLiteral("数学"));
  openStep(1);
  link("数学", "数学");
  form.Finish_Click();
  EXPECT_EQ(question(), nullptr);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_EQ(session.SubjectMap.size(), 2);
  EXPECT_EQ(scalar(system(), "select count(*) from Subject").toInt(), 1);
}

TEST_F(Finishing, AnEmptyExchangeFileStillMapsMinusOne) {
  openStep(1);
  form.FinishSubjectMap();
  EXPECT_EQ(pairs(session.SubjectMap), (QList<std::pair<qint32, qint32>>{{-1, -1}}));
}

TEST_F(Finishing, AutomaticMappingNeverAsksAndCreatesEveryUnpairedFeature) {
  session.bAutoMap = true;
  session.FeatureMap.add(3, 33);  // a numbered feature the engine paired
  exchangeFeature(12, QStringLiteral("能力"), 1, {0, 10, 0.5});
  exchangeFeature(13, QStringLiteral("层次"));
  exchangeFeature(15, QStringLiteral("来源"));
  const qint32 level = systemFeature(QStringLiteral("层次"));
  form.intStep = 2;
  form.AutoNameMap(2);
  EXPECT_EQ(form.UnmappedIdList(2), QStringLiteral("(0,12,15)"));
  form.FinishFeatureMap();
  EXPECT_TRUE(ui->shown.empty());
  EXPECT_FALSE(form.isLoaded());
  const QStringList created = column(system(), "select name from Feature where FeatureID>" + QString::number(level) +
                                                   " order by FeatureID");
  EXPECT_EQ(created, (QStringList{"能力", "来源"}));
  const qint32 ability = lastId("Feature") - 1;
  EXPECT_EQ(pairs(session.FeatureMap),
            (QList<std::pair<qint32, qint32>>{{3, 33}, {13, level}, {12, ability}, {15, ability + 1}}));
  // Every column but the ID travels.
  RecordsetPtr rs;
  system().GetConnectedRecordset("select * from Feature where FeatureID=" + QString::number(ability), rs);
  ASSERT_FALSE(rs->Eof());
  EXPECT_EQ(rs->Value("name").toString(), "能力");
  EXPECT_EQ(rs->Value("FeatureNumber").toInt(), 0);
  EXPECT_EQ(rs->Value("type").toInt(), 1);
  EXPECT_DOUBLE_EQ(rs->Value("minimum").toDouble(), 0.0);
  EXPECT_DOUBLE_EQ(rs->Value("maximum").toDouble(), 10.0);
  EXPECT_DOUBLE_EQ(rs->Value("valueincrement").toDouble(), 0.5);
  EXPECT_EQ(rs->Value("description").toString(), "能力 说明");
}

TEST_F(Finishing, IdListsOfSubjectsAndPartitionsHaveNoLeadingZero) {
  exchangeSubject(12, QStringLiteral("a"));
  exchangeSubject(15, QStringLiteral("b"));
  openStep(1);
  EXPECT_EQ(form.UnmappedIdList(1), QStringLiteral("(12,15)"));
  EXPECT_EQ(form.UnmappedIdList(3), QStringLiteral("(12,15)"));
}

TEST_F(Finishing, NewPartitionsBelongToThePairedFeatureAndValuesArePaired) {
  exchangeFeature(7, QStringLiteral("难度"));
  exchangePartition(71, 7, QStringLiteral("易"), 1, QVariant(), 3);
  exchangePartition(72, 7, QStringLiteral("中"), 2);
  exchangePartition(73, 7, QStringLiteral("难"), 3);
  exchangePartition(74, 7, QStringLiteral("极难"), 4);
  const qint32 feature = systemFeature(QStringLiteral("难度"));
  const qint32 easy = systemPartition(feature, QStringLiteral("容易"), 10);
  const qint32 hard = systemPartition(feature, QStringLiteral("难"), 30);
  ImportSession& g = session;
  g.FeatureMap.add(7, feature);
  g.FeaturePartitionMap.add(501, 601);  // an earlier feature's pair
  const auto valueMap = g.PartitionValueMap;
  form.SourceFeatureID = 7;
  form.DestFeatureID = feature;
  form.bIntegerType = true;
  form.tmpPartitionMap.add(71, easy);
  openStep(3);
  link("难", "难");
  ui->answers = {Vb::Yes};
  form.Finish_Click();
  EXPECT_EQ(ui->lastPrompt(), QStringLiteral("工作数据库中没有做对应的题目指标分布都将在系统数据库中新建，确定么?"));
  EXPECT_FALSE(form.isLoaded());

  const qint32 middle = lastId("FeaturePartition") - 1;
  EXPECT_EQ(pairs(g.FeaturePartitionMap),
            (QList<std::pair<qint32, qint32>>{{501, 601}, {71, easy}, {73, hard}, {72, middle}, {74, middle + 1}}));
  // The value map object the engine holds is the one filled.
  EXPECT_EQ(g.PartitionValueMap, valueMap);
  EXPECT_EQ(pairs(*valueMap), (QList<std::pair<qint32, qint32>>{{1, 10}, {3, 30}, {2, 2}, {4, 4}}));
  EXPECT_EQ(column(system(), "select FeatureID||'|'||name||'|'||Minimum||'|'||Maximum||'|'||description from "
                             "FeaturePartition where FeaturePartitionID>=" +
                                 QString::number(middle) + " order by FeaturePartitionID"),
            (QStringList{QString::number(feature) + "|中|2|2|分区", QString::number(feature) + "|极难|4|4|分区"}));
}

TEST_F(Finishing, NewProblemTypesGetAValueNoOtherProblemTypeUses) {
  exchangeFeature(1, QStringLiteral("题型"), 0, {}, 1);
  exchangePartition(11, 1, QStringLiteral("辨析题"), 2, ext({{"BASICTYPE", "7"}}));
  exchangePartition(12, 1, QStringLiteral("填空题"), 3, ext({{"BASICTYPE", "3"}}));
  const qint32 feature = systemFeature(QStringLiteral("题型"), 0, {}, 1);
  systemPartition(feature, QStringLiteral("问答题"), 1, ext({{"BASICTYPE", "1"}}));
  systemPartition(feature, QStringLiteral("判断题"), 2, ext({{"BASICTYPE", "2"}}));
  session.FeatureMap.add(1, feature);
  session.bAutoMap = true;
  form.SourceFeatureID = 1;
  form.DestFeatureID = feature;
  form.bIntegerType = form.bProblemType = true;
  openStep(3);
  form.FinishFeaturePartitionMap();
  // 2 is taken, so the largest partition ID (the one just written for 辨析题 is
  // not yet there: 2) is tried, then the largest value plus one; 3 is free.
  EXPECT_EQ(column(system(), "select name||'='||Minimum||'-'||Maximum from FeaturePartition where FeatureID=" +
                                 QString::number(feature) + " order by FeaturePartitionID"),
            (QStringList{"问答题=1-1", "判断题=2-2", "辨析题=3-3", "填空题=4-4"}));
  EXPECT_EQ(pairs(*session.PartitionValueMap), (QList<std::pair<qint32, qint32>>{{2, 3}, {3, 4}}));
}

TEST_F(Finishing, FreePartitionValuePrefersTheValueThenTheLargestIdThenTheNextValue) {
  const qint32 feature = systemFeature(QStringLiteral("题型"), 0, {}, 1);
  for (int v = 1; v <= 5; ++v) systemPartition(feature, QStringLiteral("p%1").arg(v), v);
  system().ExecQuery({}, QStringLiteral("insert into FeaturePartition (FeaturePartitionID,FeatureID,name,Minimum) "
                                        "values (230,?,'other',230)"),
                     {feature + 1});
  EXPECT_EQ(form.GetFreePartitionValue(7, feature), 7);
  EXPECT_EQ(form.GetFreePartitionValue(4, feature), 230);
  systemPartition(feature, QStringLiteral("p230"), 230);  // now ID 231 is the largest
  EXPECT_EQ(form.GetFreePartitionValue(4, feature), 231);
  systemPartition(feature, QStringLiteral("p231"), 231);  // ID 232
  ASSERT_EQ(systemPartition(feature, QStringLiteral("p233"), 233), 233);
  // The largest ID, 233, is a value of the feature too: the largest value plus one.
  EXPECT_EQ(form.GetFreePartitionValue(4, feature), 234);
}

TEST_F(Finishing, AFailedCreationIsShownAndLeavesNothingBehind) {
  // An exchange column the system table lacks fails the copy of the second row.
  exchange().ExecQuery({}, QStringLiteral("alter table Subject add column Remark text"));
  exchangeSubject(12, QStringLiteral("数学"));
  exchange().ExecQuery({}, QStringLiteral("update Subject set Remark='x' where SubjectID=12"));
  exchangeSubject(15, QStringLiteral("物理"));
  session.SubjectMap.add(5, 6);
  openStep(1);
  ui->answers = {Vb::Yes};
  form.Finish_Click();
  ASSERT_EQ(ui->prompts().size(), 2);
  EXPECT_EQ(ui->shown.back().title, QStringLiteral("导入导出"));
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(form.intStep, 1);
  EXPECT_EQ(texts(form.SourceList), (QStringList{"数学", "物理"}));
  EXPECT_EQ(scalar(system(), "select count(*) from Subject").toInt(), 0);
  EXPECT_EQ(pairs(session.SubjectMap), (QList<std::pair<qint32, qint32>>{{5, 6}}));
}

TEST_F(Finishing, AFailureOfTheEnginesDirectCallUnloadsSoTheNextImportStartsAfresh) {
  session.bAutoMap = true;
  exchangeFeature(12, QStringLiteral("能力"));
  session.FeatureMap.add(12, 40);
  form.intStep = 2;
  form.AutoNameMap(2);
  EXPECT_THROW(form.FinishFeatureMap(), IdMap::DuplicateKey);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_EQ(scalar(system(), "select count(*) from Feature").toInt(), 0);

  exchange().ExecQuery({}, QStringLiteral("delete from Feature"));
  exchangeFeature(13, QStringLiteral("层次"));
  form.intStep = 2;
  form.AutoNameMap(2);
  EXPECT_EQ(texts(form.SourceList), QStringList{"层次"});
}

TEST_F(Finishing, AnExchangeIdTheEngineAlreadyMappedFailsWithoutWriting) {
  exchangeFeature(12, QStringLiteral("能力"));
  session.FeatureMap.add(12, 40);
  openStep(2);
  ui->answers = {Vb::Yes};
  form.Finish_Click();
  EXPECT_EQ(ui->prompts().size(), 2);
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(scalar(system(), "select count(*) from Feature").toInt(), 0);
  EXPECT_EQ(pairs(session.FeatureMap), (QList<std::pair<qint32, qint32>>{{12, 40}}));
}

}  // namespace
