#include "MappingFixture.h"

namespace {

class MappingLists : public MappingTest {
 protected:
  void subjects() {
    exchangeSubject(-1, QStringLiteral("公共"));
    exchangeSubject(12, QStringLiteral("数学"));
    exchangeSubject(15, QStringLiteral("物理"));
    exchangeSubject(16, QStringLiteral("化学"));
    systemSubject(QStringLiteral("物理"));
    systemSubject(QStringLiteral("数学"));
  }
  // Exchange feature 7 with partitions 71..74; system feature with three.
  qint32 partitions() {
    exchangeFeature(7, QStringLiteral("难度"));
    exchangePartition(71, 7, QStringLiteral("易"), 1);
    exchangePartition(72, 7, QStringLiteral("中"), 2);
    exchangePartition(73, 7, QStringLiteral("难"), 3);
    exchangePartition(74, 7, QStringLiteral("极难"), 4);
    const qint32 feature = systemFeature(QStringLiteral("难度"));
    dest[0] = systemPartition(feature, QStringLiteral("容易"), 1);
    dest[1] = systemPartition(feature, QStringLiteral("一般"), 2);
    dest[2] = systemPartition(feature, QStringLiteral("困难"), 3);
    form.SourceFeatureID = 7;
    form.DestFeatureID = feature;
    form.bIntegerType = true;
    return feature;
  }
  qint32 dest[3] = {};
};

TEST_F(MappingLists, SubjectStepListsEverySubjectButMinusOneWhichIsAlwaysPaired) {
  subjects();
  openStep(1);
  EXPECT_TRUE(form.isLoaded());
  EXPECT_FALSE(form.bCancel);
  EXPECT_EQ(form.Caption, QStringLiteral("专业对应"));
  EXPECT_EQ(texts(form.SourceList), (QStringList{"数学", "物理", "化学"}));
  EXPECT_EQ(itemData(form.SourceList), (QList<qint32>{12, 15, 16}));
  EXPECT_EQ(texts(form.DestList), (QStringList{"物理", "数学"}));
  EXPECT_EQ(pairs(form.SubjectPairMap()), (QList<std::pair<qint32, qint32>>{{-1, -1}}));
  EXPECT_TRUE(form.MapList.empty());
  EXPECT_EQ(form.SourceList.ListIndex, 0);
  EXPECT_EQ(form.DestList.ListIndex, 0);
  EXPECT_TRUE(form.LinkEnabled);
  EXPECT_FALSE(form.cmdUnLinkEnabled);
  expectConsistent(form.SubjectPairMap());
}

TEST_F(MappingLists, FeatureStepListsOnlyUserDefinedFeatures) {
  exchangeFeature(3, QStringLiteral("题型"), 0, {}, 1);
  exchangeFeature(8, QStringLiteral("能力"));
  systemFeature(QStringLiteral("题型"), 0, {}, 1);
  systemFeature(QStringLiteral("能力"));
  openStep(2);
  EXPECT_EQ(form.Caption, QStringLiteral("题目指标对应"));
  EXPECT_EQ(texts(form.SourceList), QStringList{"能力"});
  EXPECT_EQ(texts(form.DestList), QStringList{"能力"});
}

TEST_F(MappingLists, AnEmptyExchangeSideOpensWithLinkDisabled) {
  systemSubject(QStringLiteral("数学"));
  openStep(1);
  EXPECT_TRUE(form.SourceList.empty());
  EXPECT_EQ(form.SourceList.ListIndex, -1);
  EXPECT_FALSE(form.LinkEnabled);
  EXPECT_EQ(form.DestList.ListIndex, 0);
}

TEST_F(MappingLists, PartitionStepStartsFromThePairsMadeBeforeTheDialog) {
  partitions();
  form.tmpPartitionMap.add(73, dest[2]);
  form.tmpPartitionMap.add(71, dest[0]);
  openStep(3);
  // The caption names the feature whose partitions are paired.
  EXPECT_EQ(form.Caption, QStringLiteral("题目指标分布对应 - 难度"));
  EXPECT_EQ(texts(form.MapList), (QStringList{"难 <----> 困难", "易 <----> 容易"}));
  EXPECT_EQ(itemData(form.MapList), (QList<qint32>{73, 71}));
  EXPECT_EQ(texts(form.SourceList), (QStringList{"中", "极难"}));
  // Paired system partitions can still be chosen.
  EXPECT_EQ(texts(form.DestList), (QStringList{"容易", "一般", "困难"}));
  EXPECT_EQ(form.MapList.ListIndex, 0);
  EXPECT_TRUE(form.cmdUnLinkEnabled);
  EXPECT_TRUE(form.LinkEnabled);
  expectConsistent(form.PartitionPairMap());
}

TEST_F(MappingLists, PartitionStepWithoutEarlierPairsHasUnlinkDisabled) {
  partitions();
  openStep(3);
  EXPECT_TRUE(form.MapList.empty());
  EXPECT_FALSE(form.cmdUnLinkEnabled);
  EXPECT_EQ(form.SourceList.ListCount(), 4);
}

TEST_F(MappingLists, LinkAndUnlinkKeepListsAndPairsInStep) {
  subjects();
  openStep(1);
  link("物理", "物理");
  EXPECT_EQ(texts(form.MapList), QStringList{"物理 <----> 物理"});
  EXPECT_EQ(texts(form.SourceList), (QStringList{"数学", "化学"}));
  EXPECT_EQ(texts(form.DestList), QStringList{"数学"});
  EXPECT_EQ(form.SourceList.ListIndex, 0);
  EXPECT_EQ(form.DestList.ListIndex, 0);
  EXPECT_EQ(form.MapList.ListIndex, 0);
  EXPECT_TRUE(form.cmdUnLinkEnabled);
  EXPECT_TRUE(form.LinkEnabled);
  expectConsistent(form.SubjectPairMap());

  // The last system subject goes: nothing more can be paired.
  link("化学", "数学");
  EXPECT_TRUE(form.DestList.empty());
  EXPECT_FALSE(form.LinkEnabled);
  expectConsistent(form.SubjectPairMap());
  EXPECT_EQ(form.SubjectPairMap().value(16), lastId("Subject"));  // 数学 came last

  // Undoing the first pair puts both entries back at the end, selected.
  form.MapList.ListIndex = 0;
  form.cmdUnLink_Click();
  EXPECT_EQ(texts(form.SourceList), (QStringList{"数学", "物理"}));
  EXPECT_EQ(form.SourceList.ListIndex, 1);
  EXPECT_EQ(texts(form.DestList), QStringList{"物理"});
  EXPECT_EQ(form.DestList.ListIndex, 0);
  EXPECT_EQ(texts(form.MapList), QStringList{"化学 <----> 数学"});
  EXPECT_TRUE(form.LinkEnabled);
  EXPECT_TRUE(form.cmdUnLinkEnabled);
  expectConsistent(form.SubjectPairMap());

  form.cmdUnLink_Click();
  EXPECT_TRUE(form.MapList.empty());
  EXPECT_FALSE(form.cmdUnLinkEnabled);
  EXPECT_EQ(form.SubjectPairMap().size(), 1);
  expectConsistent(form.SubjectPairMap());
  EXPECT_TRUE(messages().isEmpty());
}

TEST_F(MappingLists, PairingTheLastExchangeEntryDisablesLink) {
  exchangeSubject(12, QStringLiteral("数学"));
  systemSubject(QStringLiteral("数学"));
  systemSubject(QStringLiteral("物理"));
  openStep(1);
  link("数学", "物理");
  EXPECT_TRUE(form.SourceList.empty());
  EXPECT_EQ(form.SourceList.ListIndex, -1);
  EXPECT_FALSE(form.LinkEnabled);
}

TEST_F(MappingLists, OneSystemPartitionCanStandForSeveralExchangePartitions) {
  partitions();
  openStep(3);
  link("中", "一般");
  link("难", "一般");
  EXPECT_EQ(texts(form.DestList), (QStringList{"容易", "一般", "困难"}));
  EXPECT_EQ(form.PartitionPairMap().value(72), dest[1]);
  EXPECT_EQ(form.PartitionPairMap().value(73), dest[1]);
  expectConsistent(form.PartitionPairMap());

  form.MapList.ListIndex = 1;
  form.cmdUnLink_Click();
  EXPECT_EQ(texts(form.DestList), (QStringList{"容易", "一般", "困难"}));
  EXPECT_EQ(texts(form.SourceList), (QStringList{"易", "极难", "难"}));
  EXPECT_EQ(form.SourceList.ListIndex, 2);
  expectConsistent(form.PartitionPairMap());
}

TEST_F(MappingLists, MissingSelectionsShowTheStepsMessageAndChangeNothing) {
  struct Case {
    qint32 step;
    QString link, unlink;
  };
  const qint32 feature = partitions();
  (void)feature;
  subjects();
  exchangeFeature(8, QStringLiteral("能力"));
  systemFeature(QStringLiteral("能力"));
  const Case cases[] = {{1, "请正确选择要对应的课程", "请正确选择要取消的课程对应关系"},
                        {2, "请正确选择要对应的题目指标", "请正确选择要取消的题目指标对应关系"},
                        {3, "请正确选择要对应的题目指标分布", "请正确选择要取消对应的题目指标分布关系"}};
  for (const Case& c : cases) {
    ui->shown.clear();
    openStep(c.step);
    form.DestList.ListIndex = -1;  // only the exchange side chosen
    form.Link_Click();
    form.MapList.ListIndex = -1;
    form.cmdUnLink_Click();
    EXPECT_EQ(messages(), (QStringList{c.link, c.unlink})) << "step " << c.step;
    EXPECT_TRUE(form.MapList.empty());
    EXPECT_EQ(form.SourceList.ListCount(), form.SourceTextMap().size());
    form.cmdCancel_Click();
  }
}

TEST_F(MappingLists, ResetDropsHandMadePairs) {
  subjects();
  openStep(1);
  link("物理", "物理");
  form.reset_Click();
  EXPECT_TRUE(form.MapList.empty());
  EXPECT_EQ(pairs(form.SubjectPairMap()), (QList<std::pair<qint32, qint32>>{{-1, -1}}));
  EXPECT_EQ(texts(form.SourceList), (QStringList{"数学", "物理", "化学"}));
  EXPECT_EQ(texts(form.DestList), (QStringList{"物理", "数学"}));
  EXPECT_FALSE(form.cmdUnLinkEnabled);
  expectConsistent(form.SubjectPairMap());
}

TEST_F(MappingLists, ResetInThePartitionStepRestoresExactlyTheEarlierPairs) {
  partitions();
  form.tmpPartitionMap.add(71, dest[0]);
  openStep(3);
  link("中", "一般");
  form.MapList.ListIndex = 0;
  form.cmdUnLink_Click();  // undoes 71
  form.reset_Click();
  EXPECT_EQ(texts(form.MapList), QStringList{"易 <----> 容易"});
  EXPECT_EQ(pairs(form.PartitionPairMap()), (QList<std::pair<qint32, qint32>>{{71, dest[0]}}));
  EXPECT_EQ(texts(form.SourceList), (QStringList{"中", "难", "极难"}));
  EXPECT_TRUE(form.cmdUnLinkEnabled);
  expectConsistent(form.PartitionPairMap());
}

TEST_F(MappingLists, CancelUnloadsAndLoadClearsIt) {
  subjects();
  openStep(1);
  form.cmdCancel_Click();
  EXPECT_TRUE(form.bCancel);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_EQ(form.intStep, 0);
  EXPECT_TRUE(form.SourceList.empty());
  openStep(1);
  EXPECT_FALSE(form.bCancel);
}

TEST_F(MappingLists, ADatabaseErrorDuringAButtonIsShownAndChangesNothing) {
  subjects();
  openStep(1);
  link("物理", "物理");
  exchange().ExecQuery({}, QStringLiteral("drop table Subject"));
  form.reset_Click();
  const QStringList shown = messages();
  ASSERT_EQ(shown.size(), 1);
  EXPECT_TRUE(shown.front().contains(QStringLiteral("Subject"), Qt::CaseInsensitive)) << shown.front().toStdString();
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(texts(form.MapList), QStringList{"物理 <----> 物理"});
  EXPECT_EQ(texts(form.SourceList), (QStringList{"数学", "化学"}));
  expectConsistent(form.SubjectPairMap());
}

}  // namespace
