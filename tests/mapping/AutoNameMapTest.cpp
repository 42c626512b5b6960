#include "MappingFixture.h"

namespace {

class NamePairing : public MappingTest {
 protected:
  void autoMap(qint32 step) {
    form.intStep = step;
    qint32 s = step;
    form.AutoNameMap(s);
    EXPECT_EQ(s, step);
  }
};

TEST_F(NamePairing, OnlyExactlyEqualNamesArePairedAndTheFormLoadsOnFirstUse) {
  exchangeSubject(1, QStringLiteral("Math"));
  exchangeSubject(2, QStringLiteral("物理 "));
  exchangeSubject(3, QStringLiteral("化学"));
  const qint32 math = systemSubject(QStringLiteral("math"));
  systemSubject(QStringLiteral("物理"));
  const qint32 chemistry = systemSubject(QStringLiteral("化学"));
  (void)math;
  autoMap(1);
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(pairs(form.SubjectPairMap()), (QList<std::pair<qint32, qint32>>{{-1, -1}, {3, chemistry}}));
  EXPECT_EQ(texts(form.SourceList), (QStringList{"Math", "物理 "}));
  EXPECT_EQ(texts(form.DestList), (QStringList{"math", "物理"}));
  expectConsistent(form.SubjectPairMap());
}

TEST_F(NamePairing, TheFirstEqualNameWinsAndEachSystemSubjectIsTakenOnce) {
  exchangeSubject(1, QStringLiteral("数学"));
  exchangeSubject(2, QStringLiteral("数学"));
  exchangeSubject(3, QStringLiteral("语文"));
  const qint32 first = systemSubject(QStringLiteral("语文"));
  systemSubject(QStringLiteral("语文"));
  const qint32 math = systemSubject(QStringLiteral("数学"));
  autoMap(1);
  EXPECT_EQ(form.SubjectPairMap().value(1), math);
  EXPECT_FALSE(form.SubjectPairMap().contains(2));
  EXPECT_EQ(form.SubjectPairMap().value(3), first);
  EXPECT_EQ(itemData(form.SourceList), QList<qint32>{2});
  EXPECT_EQ(texts(form.DestList), QStringList{"语文"});
  EXPECT_TRUE(messages().isEmpty());
  expectConsistent(form.SubjectPairMap());
}

TEST_F(NamePairing, PairsMadeByHandStay) {
  exchangeSubject(1, QStringLiteral("数学"));
  exchangeSubject(2, QStringLiteral("语文"));
  const qint32 chinese = systemSubject(QStringLiteral("语文"));
  const qint32 other = systemSubject(QStringLiteral("其他"));
  openStep(1);
  link("数学", "其他");
  form.cmdNameLink_Click();
  EXPECT_EQ(pairs(form.SubjectPairMap()), (QList<std::pair<qint32, qint32>>{{-1, -1}, {1, other}, {2, chinese}}));
  EXPECT_EQ(texts(form.MapList), (QStringList{"数学 <----> 其他", "语文 <----> 语文"}));
}

TEST_F(NamePairing, EmptyListsChangeNothing) {
  exchangeSubject(1, QStringLiteral("数学"));
  autoMap(1);
  EXPECT_EQ(form.SubjectPairMap().size(), 1);
  EXPECT_EQ(texts(form.SourceList), QStringList{"数学"});
}

TEST_F(NamePairing, AFeatureThatFailsTheCheckIsSkippedSilentlyForTheNextEqualName) {
  exchangeFeature(5, QStringLiteral("能力"), 0);
  exchangeFeature(6, QStringLiteral("分数"), 1, {0, 100, 1});
  systemFeature(QStringLiteral("能力"), 1, {0, 1, 1});
  const qint32 passing = systemFeature(QStringLiteral("能力"), 0);
  systemFeature(QStringLiteral("分数"), 1, {0, 150, 1});
  autoMap(2);
  EXPECT_TRUE(messages().isEmpty());
  EXPECT_EQ(pairs(form.FeaturePairMap()), (QList<std::pair<qint32, qint32>>{{5, passing}}));
  EXPECT_EQ(texts(form.SourceList), QStringList{"分数"});
  EXPECT_EQ(texts(form.DestList), (QStringList{"能力", "分数"}));
  expectConsistent(form.FeaturePairMap());
}

TEST_F(NamePairing, PartitionsOfTheSameNamePairWhateverTheirValues) {
  exchangeFeature(7, QStringLiteral("难度"));
  exchangePartition(71, 7, QStringLiteral("难"), 3);
  exchangePartition(72, 7, QStringLiteral("难"), 8);
  exchangePartition(73, 7, QStringLiteral("易"), 1);
  form.DestFeatureID = systemFeature(QStringLiteral("难度"));
  const qint32 hard = systemPartition(form.DestFeatureID, QStringLiteral("难"), 30);
  form.SourceFeatureID = 7;
  autoMap(3);
  EXPECT_EQ(pairs(form.PartitionPairMap()), (QList<std::pair<qint32, qint32>>{{71, hard}, {72, hard}}));
  EXPECT_EQ(texts(form.DestList), QStringList{"难"});
  EXPECT_EQ(texts(form.SourceList), QStringList{"易"});
}

TEST_F(NamePairing, ProblemTypePartitionsPairOnlyWhenTheirPropertiesAgree) {
  exchangeFeature(1, QStringLiteral("题型"), 0, {}, 1);
  const QString single = ext({{"BASICTYPE", "4"}, {"NUMCHOICES", "4"}});
  exchangePartition(11, 1, QStringLiteral("选择题"), 4, single);
  exchangePartition(12, 1, QStringLiteral("判断题"), 2, ext({{"BASICTYPE", "2"}}));
  exchangePartition(13, 1, QStringLiteral("问答题"), 1, QVariant());
  form.DestFeatureID = systemFeature(QStringLiteral("题型"), 0, {}, 1);
  systemPartition(form.DestFeatureID, QStringLiteral("选择题"), 5, ext({{"BASICTYPE", "5"}}));
  const qint32 same = systemPartition(form.DestFeatureID, QStringLiteral("选择题"), 4, single);
  systemPartition(form.DestFeatureID, QStringLiteral("判断题"), 2, ext({{"BASICTYPE", "7"}}));
  systemPartition(form.DestFeatureID, QStringLiteral("问答题"), 1, ext({{"BASICTYPE", "1"}}));
  form.SourceFeatureID = 1;
  form.bProblemType = true;
  autoMap(3);
  EXPECT_TRUE(messages().isEmpty());
  EXPECT_EQ(pairs(form.PartitionPairMap()), (QList<std::pair<qint32, qint32>>{{11, same}}));
  EXPECT_EQ(itemData(form.SourceList), (QList<qint32>{12, 13}));
}

}  // namespace
