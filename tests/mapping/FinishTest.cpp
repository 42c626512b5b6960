#include "MappingFixture.h"

namespace {

using Pairs = QList<std::pair<qint32, qint32>>;

class Finishing : public MappingTest {
 protected:
  const ScriptedInteraction::Shown* question() const {
    for (const auto& s : ui->shown)
      if (s.style.buttons == Buttons::YesNo) return &s;
    return nullptr;
  }
  // Exchange feature 7 with these partitions and its system partner, paired by the engine.
  qint32 pairedFeature(const char* name, int number, std::initializer_list<std::tuple<int, const char*, int, QString>> parts) {
    feature(exchange(), 7, name, 0, {}, number);
    for (auto [id, part, value, properties] : parts) partition(exchange(), id, 7, part, value, properties);
    const qint32 id = feature(system(), {}, name, 0, {}, number);
    session.FeatureMap.add(7, id);
    form.SourceFeatureID = 7;
    form.DestFeatureID = id;
    form.bIntegerType = true;
    form.bProblemType = number == 1;
    return id;
  }
};

// No keeps the step open; Yes creates the unpaired items and maps everything.
// With nothing left unpaired nobody is asked.
TEST_F(Finishing, NoKeepsTheStepOpenAndYesCreatesTheUnpairedItems) {
  subject(exchange(), 12, "数学", "理科");
  subject(exchange(), 15, "物理");
  subject(system(), {}, "物理");
  const qint32 physics = lastId("Subject");
  openStep(1);
  link("物理", "物理");
  ui->answers = {Answer::No};
  form.finish();
  ASSERT_NE(question(), nullptr);
  EXPECT_EQ(question()->prompt, "工作数据库中没有做对应的专业都将在系统数据库中新建，确定么?");
  EXPECT_EQ(question()->style, (MessageStyle{MessageKind::Question, Buttons::YesNo, Answer::No}));
  EXPECT_TRUE(form.isLoaded() && count("Subject") == 1);
  ui->answers = {Answer::Yes};
  form.finish();
  EXPECT_FALSE(form.isLoaded() || form.bCancel);
  const qint32 created = lastId("Subject");
  EXPECT_EQ(pairs(session.SubjectMap), (Pairs{{-1, -1}, {15, physics}, {12, created}}));
  EXPECT_EQ(column(system(), "select name || '/' || description from Subject where SubjectID=?", {created}),
            QStringList{"数学/理科"});

  ui->shown.clear();
  openStep(1);
  link("数学", "数学");
  link("物理", "物理");
  form.finish();
  EXPECT_EQ(question(), nullptr);
  EXPECT_EQ(pairs(session.SubjectMap), (Pairs{{-1, -1}, {12, created}, {15, physics}}));
}

// Values pair as their partitions do, except where one side has none.
TEST_F(Finishing, PartitionValuesArePairedAndNewPartitionsJoinThePairedFeature) {
  const qint32 levels = pairedFeature("难度", 0, {{71, "易", 1, {}}, {72, "中", 2, {}}, {73, "难", 3, {}}, {74, "极难", 4, {}}});
  const qint32 easy = partition(system(), {}, levels, "容易", 10);
  const qint32 hard = partition(system(), {}, levels, "难", 30);
  const qint32 none = partition(system(), {}, levels, "无值", {});
  session.FeaturePartitionMap.add(501, 601);  // an earlier feature's pair
  const auto valueMap = session.PartitionValueMap;
  form.tmpPartitionMap.add(71, easy);
  openStep(3);
  link("难", "难");
  link("极难", "无值");
  ui->answers = {Answer::Yes};
  form.finish();
  EXPECT_EQ(ui->lastPrompt(), "工作数据库中没有做对应的题目指标分布都将在系统数据库中新建，确定么?");
  const qint32 middle = lastId("FeaturePartition");
  EXPECT_EQ(pairs(session.FeaturePartitionMap), (Pairs{{501, 601}, {71, easy}, {73, hard}, {74, none}, {72, middle}}));
  EXPECT_EQ(session.PartitionValueMap, valueMap);  // the engine's map object is the one filled
  EXPECT_EQ(pairs(*valueMap), (Pairs{{1, 10}, {3, 30}, {2, 2}}));
  EXPECT_EQ(column(system(), "select FeatureID||'|'||name||'|'||Minimum||'|'||Maximum from FeaturePartition "
                             "where FeaturePartitionID=?", {middle}),
            QStringList{QString::number(levels) + "|中|2|2"});
}

// A new problem type keeps its value when free, else takes the largest
// partition ID, else the largest value plus one.
TEST_F(Finishing, NewProblemTypesGetAValueNoOtherProblemTypeUses) {
  const qint32 types =
      pairedFeature("题型", 1, {{11, "辨析题", 2, ext("<BASICTYPE>7</BASICTYPE>")}, {12, "填空题", 9, ext("<BASICTYPE>3</BASICTYPE>")}});
  for (int v = 1; v <= 5; ++v) partition(system(), {}, types, QString("p%1").arg(v), v);
  partition(system(), 230, types + 1, "other", 230);
  session.bAutoMap = true;
  openStep(3);
  form.FinishFeaturePartitionMap();
  EXPECT_EQ(pairs(*session.PartitionValueMap), (Pairs{{2, 230}, {9, 9}}));
  const qint32 largest = partition(system(), {}, types, "p", 100);
  EXPECT_EQ(form.GetFreePartitionValue(4, types), largest);
  ASSERT_EQ(partition(system(), {}, types, "q", largest + 1), largest + 1);  // the largest ID is a value too
  EXPECT_EQ(form.GetFreePartitionValue(4, types), largest + 2);
}

// Inside the import's transaction a failed step goes back to where it began.
TEST_F(Finishing, AFailedStepIsShownAndLeavesNothingBehind) {
  partition(system(), {}, pairedFeature("难度", 0, {{71, "易", 5, {}}, {72, "也易", 5, {}}, {73, "新", 6, {}}}), "容易", 1);
  system().BeginTrans();
  openStep(3);
  link("易", "容易");
  link("也易", "容易");
  ui->answers = {Answer::Yes};
  form.finish();
  EXPECT_TRUE(ui->lastPrompt().contains("难度 的分区编号 5 重复")) << ui->lastPrompt().toStdString();
  EXPECT_TRUE(count("FeaturePartition") == 1 && form.isLoaded() && session.FeaturePartitionMap.empty());
  EXPECT_EQ(texts(form.SourceList), QStringList{"新"});
  system().RollbackTrans();  // the import's

  // The engine's direct call unloads the form, so the next import starts afresh.
  session.bAutoMap = true;
  feature(exchange(), 12, "能力");
  session.FeatureMap.add(12, 40);
  form.cancel();
  form.intStep = 2;
  form.AutoNameMap(2);
  EXPECT_THROW(form.FinishFeatureMap(), IdMap::DuplicateKey);
  EXPECT_TRUE(!form.isLoaded() && count("Feature") == 1);
}

}  // namespace
