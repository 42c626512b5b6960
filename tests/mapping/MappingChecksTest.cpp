#include "MappingFixture.h"

namespace {

class FeatureChecks : public MappingTest {
 protected:
  // Exchange feature 20 against a system feature of the same name.
  QStringList linkFeatures(QVariant sourceType, Range source, QVariant destType, Range dest) {
    exchangeFeature(20, QStringLiteral("分值"), sourceType, source);
    systemFeature(QStringLiteral("分值"), destType, dest);
    openStep(2);
    link("分值", "分值");
    return messages();
  }
  bool linked() const { return form.FeaturePairMap().contains(20); }
};

TEST_F(FeatureChecks, FeaturesOfTypeZeroOnlyNeedTheSameType) {
  EXPECT_TRUE(linkFeatures(0, {1, 10, 1}, 0, {0, 100, 5}).isEmpty());
  EXPECT_TRUE(linked());
}

TEST_F(FeatureChecks, DifferentTypesAreRefused) {
  EXPECT_EQ(linkFeatures(0, {}, 1, {}), QStringList{"所对应的指标类型不符"});
  EXPECT_FALSE(linked());
  EXPECT_EQ(texts(form.SourceList), QStringList{"分值"});
  EXPECT_EQ(texts(form.DestList), QStringList{"分值"});
  EXPECT_TRUE(form.MapList.empty());
}

TEST_F(FeatureChecks, RangeFeaturesReportTheFirstDifferenceOnly) {
  EXPECT_EQ(linkFeatures(1, {0, 100, 1}, 1, {1, 50, 2}), QStringList{"所对应的指标最小值不符"});
  EXPECT_FALSE(linked());
}

TEST_F(FeatureChecks, RangeFeaturesWithADifferentMaximum) {
  EXPECT_EQ(linkFeatures(1, {0, 100, 1}, 1, {0, 50, 2}), QStringList{"所对应的指标最大值不符"});
}

TEST_F(FeatureChecks, RangeFeaturesWithADifferentIncrement) {
  EXPECT_EQ(linkFeatures(1, {0, 100, 1}, 1, {0, 100, 0.5}), QStringList{"所对应的指标增长单位不符"});
  EXPECT_FALSE(linked());
}

TEST_F(FeatureChecks, ValuesAreComparedAsNumbersAndNullIsNoDifference) {
  EXPECT_TRUE(linkFeatures(1, {10, QVariant(), 1}, 1, {10.0, 100, QVariant()}).isEmpty());
  EXPECT_TRUE(linked());
}

TEST_F(FeatureChecks, ANullTypeOnTheExchangeSideIsNotARangeFeature) {
  EXPECT_TRUE(linkFeatures(QVariant(), {0, 1, 1}, 1, {5, 6, 7}).isEmpty());
  EXPECT_TRUE(linked());
}

TEST_F(FeatureChecks, TheCheckLeavesItsReason) {
  exchangeFeature(20, QStringLiteral("a"), 1, {0, 100, 1});
  const qint32 id = systemFeature(QStringLiteral("b"), 1, {0, 90, 1});
  openStep(2);
  EXPECT_FALSE(form.CheckFeatureMatch(20, id));
  EXPECT_EQ(form.strCheckMessage, QStringLiteral("所对应的指标最大值不符"));
}

class ProblemTypeCheck : public MappingTest {
 protected:
  void open(bool problemType) {
    exchangeFeature(1, QStringLiteral("题型"), 0, {}, 1);
    form.SourceFeatureID = 1;
    form.DestFeatureID = systemFeature(QStringLiteral("题型"), 0, {}, 1);
    form.bIntegerType = true;
    form.bProblemType = problemType;
  }
  QString single = ext({{"BASICTYPE", "4"}, {"GROUP", "false"}, {"NUMCHOICES", "4"}, {"LOWDEDUCT", "0"}});
};

TEST_F(ProblemTypeCheck, PartitionsThatDescribeTheSameProblemTypeArePaired) {
  open(true);
  exchangePartition(11, 1, QStringLiteral("单选"), 4, single);
  systemPartition(form.DestFeatureID, QStringLiteral("单项选择"), 4,
                  ext({{"BASICTYPE", "4"}, {"GROUP", "0"}, {"NUMCHOICES", "4"}, {"LOWDEDUCT", "50"}, {"HELP", "x"}}));
  openStep(3);
  link("单选", "单项选择");
  EXPECT_TRUE(messages().isEmpty());
  EXPECT_TRUE(form.PartitionPairMap().contains(11));
}

TEST_F(ProblemTypeCheck, DifferentOrUnreadablePropertiesAreRefused) {
  open(true);
  exchangePartition(11, 1, QStringLiteral("单选"), 4, single);
  exchangePartition(12, 1, QStringLiteral("无属性"), 5, QVariant());
  exchangePartition(13, 1, QStringLiteral("坏属性"), 6, QStringLiteral("<EXT><BASICTYPE>4</EXT>"));
  systemPartition(form.DestFeatureID, QStringLiteral("多选"), 5, ext({{"BASICTYPE", "5"}}));
  systemPartition(form.DestFeatureID, QStringLiteral("单项选择"), 4, single);
  openStep(3);
  link("单选", "多选");
  link("无属性", "单项选择");
  link("坏属性", "单项选择");
  EXPECT_EQ(messages(), QStringList(3, QStringLiteral("所做题型对应不正确")));
  EXPECT_TRUE(form.MapList.empty());
  EXPECT_EQ(form.SourceList.ListCount(), 3);
}

TEST_F(ProblemTypeCheck, PartitionsOfOtherFeaturesArePairedWithoutAnyTest) {
  open(false);
  exchangePartition(11, 1, QStringLiteral("单选"), 4, QStringLiteral("garbage"));
  systemPartition(form.DestFeatureID, QStringLiteral("多选"), 99, ext({{"BASICTYPE", "5"}}));
  openStep(3);
  link("单选", "多选");
  EXPECT_TRUE(messages().isEmpty());
  EXPECT_TRUE(form.PartitionPairMap().contains(11));
}

}  // namespace
