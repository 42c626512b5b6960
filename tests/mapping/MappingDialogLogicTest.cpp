#include "MappingFixture.h"

namespace {

// One exchange file and system database with something to pair in every step.
class MappingDialogLogic : public MappingTest {
 protected:
  MappingDialogLogic() {
    for (auto [id, name] : {std::pair{-1, "公共"}, {12, "数学"}, {15, "物理"}, {16, "化学"}}) subject(exchange(), id, name);
    for (const char* name : {"物理", "数学"}) subject(system(), {}, name);
    using F = std::tuple<QVariant, const char*, QVariant, Range>;
    for (auto [id, name, type, r] : {F{30, "难度", 0, {}}, F{40, "E0", 0, {1, 10, 1}}, F{41, "E1", 1, {0, 100, 1}},
                                     F{42, "E1b", 1, {10, {}, 1}}, F{43, "Enull", {}, {0, 1, 1}}, F{44, "能力", 0, {}}})
      feature(exchange(), id, name, type, r);
    // The first 能力 fails the check: the next of that name is taken.
    for (auto [id, name, type, r] : {F{{}, "T0", 0, {0, 100, 5}}, F{{}, "T1", 1, {0, 100, 1}}, F{{}, "T1min", 1, {1, 50, 2}},
                                     F{{}, "T1max", 1, {0, 50, 2}}, F{{}, "T1inc", 1, {0, 100, 0.5}},
                                     F{{}, "T1nul", 1, {10.0, 100, {}}}, F{{}, "能力", 1, {0, 1, 1}}, F{{}, "能力", 0, {}}})
      feature(system(), id, name, type, r);
    feature(exchange(), 3, "题型", 0, {}, 1);
    types = feature(system(), {}, "题型", 0, {}, 1);
    levels = feature(system(), {}, "难度");
    for (auto [id, name, value] : {std::tuple{71, "易", 1}, {72, "中", 2}, {73, "难", 3}, {74, "难", 8}})
      partition(exchange(), id, 30, name, value);
    for (auto [name, value] : {std::pair{"容易", 1}, {"一般", 2}, {"难", 30}}) partition(system(), {}, levels, name, value);
    // Problem types pair only when their properties agree; guidance and deductions do not count.
    const QString single = "<BASICTYPE>4</BASICTYPE><GROUP>false</GROUP><NUMCHOICES>4</NUMCHOICES>";
    using P = std::tuple<QVariant, qint32, const char*, int, QVariant>;
    for (auto [id, feature, name, value, properties] :
         {P{11, 3, "单选", 4, ext(single)}, P{12, 3, "判断题", 2, ext("<BASICTYPE>2</BASICTYPE>")}, P{13, 3, "无属性", 5, {}},
          P{14, 3, "坏属性", 6, "<EXT><BASICTYPE>4</EXT>"}, P{{}, types, "单选", 5, ext("<BASICTYPE>5</BASICTYPE>")},
          P{{}, types, "单选", 4, ext(QString(single).replace("false", "0") + "<LOWDEDUCT>50</LOWDEDUCT><HELP>x</HELP>")},
          P{{}, types, "判断题", 2, ext("<BASICTYPE>7</BASICTYPE>")}})
      partition(id.isNull() ? system() : exchange(), id, feature, name, value, properties);
  }
  qint32 partitionId(CDataAccess& dal, const QString& name) {
    return column(dal, "select FeaturePartitionID from FeaturePartition where name=?", {name}).value(0).toInt();
  }
  // The pairs by name, "-1=-1" for the subject every file shares.
  QStringList pairTexts() const {
    const IdMap& map = form.intStep == 1 ? form.SubjectPairMap()
                       : form.intStep == 2 ? form.FeaturePairMap() : form.PartitionPairMap();
    QStringList out;
    for (const auto& [s, d] : map)
      out << (s == -1 ? QString("-1=%1").arg(d)
                      : form.SourceTextMap().value(s).value_or("?") + '=' + form.DestTextMap().value(d).value_or("?"));
    return out;
  }
  qint32 types = 0, levels = 0;
};

// Actions: "=a=b" pairs partitions before the dialog opens, "+a=b" selects and links ("" selects
// nothing), "-N" unlinks map entry N ("-": none chosen), "name", "reset"; "drop" and "gone" take
// the exchange file's Subject table and feature 能力 away. Lists {"*"} are not checked; a
// message starting with "~" is one that contains the rest.
TEST_F(MappingDialogLogic, ButtonsChangeListsAndPairs) {
  const struct {
    int step;
    const char* feature;
    QStringList actions, source, dest, pairs;
    bool link, unlink;
    QStringList messages;
  } rows[] = {
      {1, "", {}, {"数学", "物理", "化学"}, {"物理", "数学"}, {"-1=-1"}, true, false, {}},
      {1, "", {"+物理=物理", "+化学=数学"}, {"数学"}, {}, {"-1=-1", "物理=物理", "化学=数学"}, false, true, {}},
      {1, "", {"+物理=物理", "+化学=数学", "-0"}, {"数学", "物理"}, {"物理"}, {"-1=-1", "化学=数学"}, true, true, {}},
      // A pair undone and made again, the same or another way.
      {1, "", {"+物理=物理", "-0", "+物理=物理"}, {"数学", "化学"}, {"数学"}, {"-1=-1", "物理=物理"}, true, true, {}},
      {1, "", {"+物理=物理", "-0", "+物理=数学", "-"}, {"数学", "化学"}, {"物理"}, {"-1=-1", "物理=数学"}, true, true,
       {"请正确选择要取消的课程对应关系"}},
      {1, "", {"name"}, {"化学"}, {}, {"-1=-1", "数学=数学", "物理=物理"}, false, true, {}},
      {1, "", {"+数学=物理", "name"}, {"物理", "化学"}, {"数学"}, {"-1=-1", "数学=物理"}, true, true, {}},
      {1, "", {"+物理=物理", "reset"}, {"数学", "物理", "化学"}, {"物理", "数学"}, {"-1=-1"}, true, false, {}},
      {1, "", {"+数学=", "-"}, {"数学", "物理", "化学"}, {"物理", "数学"}, {"-1=-1"}, true, false,
       {"请正确选择要对应的课程", "请正确选择要取消的课程对应关系"}},
      {2, "", {}, {"难度", "E0", "E1", "E1b", "Enull", "能力"}, {"*"}, {}, true, false, {}},
      {2, "", {"+E0=T0", "+E1b=T1nul", "+Enull=T1"}, {"*"}, {"*"}, {"E0=T0", "E1b=T1nul", "Enull=T1"}, true, true, {}},
      {2, "", {"+E0=T1", "+E1=T1min", "+E1=T1max", "+E1=T1inc"}, {"*"}, {"*"}, {}, true, false,
       {"所对应的指标类型不符", "所对应的指标最小值不符", "所对应的指标最大值不符", "所对应的指标增长单位不符"}},
      {2, "", {"name"}, {"E0", "E1", "E1b", "Enull"}, {"*"}, {"难度=难度", "能力=能力"}, true, true, {}},
      {2, "", {"+E0=", "-"}, {"*"}, {"*"}, {}, true, false,
       {"请正确选择要对应的题目指标", "请正确选择要取消的题目指标对应关系"}},
      {3, "难度", {"=中=一般", "=易=容易"}, {"难", "难"}, {"容易", "一般", "难"}, {"中=一般", "易=容易"}, true, true, {}},
      {3, "难度", {"+易=一般", "+中=一般"}, {"难", "难"}, {"容易", "一般", "难"}, {"易=一般", "中=一般"}, true, true, {}},
      {3, "难度", {"+易=一般", "+中=一般", "-0"}, {"难", "难", "易"}, {"*"}, {"中=一般"}, true, true, {}},
      {3, "难度", {"=易=容易", "+中=一般", "-0", "reset"}, {"中", "难", "难"}, {"*"}, {"易=容易"}, true, true, {}},
      {3, "难度", {"+易=一般", "-0", "+易=容易"}, {"中", "难", "难"}, {"容易", "一般", "难"}, {"易=容易"}, true, true, {}},
      {2, "", {"+E0=T0", "-0", "+E0=T0", "-0", "+E1=T1"}, {"*"}, {"*"}, {"E1=T1"}, true, true, {}},
      {3, "难度", {"name"}, {"易", "中"}, {"容易", "一般", "难"}, {"难=难", "难=难"}, true, true, {}},
      {3, "难度", {"+易=", "-"}, {"*"}, {"*"}, {}, true, false,
       {"请正确选择要对应的题目指标分布", "请正确选择要取消对应的题目指标分布关系"}},
      {3, "题型", {"+单选=单选"}, {"判断题", "无属性", "坏属性"}, {"*"}, {"单选=单选"}, true, true, {}},
      {3, "题型", {"+判断题=判断题", "+无属性=单选", "+坏属性=单选"}, {"*"}, {"*"}, {}, true, false,
       QStringList(3, "所做题型对应不正确")},
      {3, "题型", {"name"}, {"判断题", "无属性", "坏属性"}, {"*"}, {"单选=单选"}, true, true, {}},
      // A database error part-way is shown and leaves lists and pairs as they were.
      {1, "", {"+物理=物理", "drop", "reset"}, {"数学", "化学"}, {"数学"}, {"-1=-1", "物理=物理"}, true, true,
       {"~Subject"}},
      {2, "", {"gone", "name"}, {"难度", "E0", "E1", "E1b", "Enull", "能力"}, {"*"}, {}, true, false, {"~"}},
  };
  for (const auto& row : rows) {
    const std::string what = QString("step %1 %2 %3").arg(row.step).arg(row.feature, row.actions.join(' ')).toStdString();
    if (form.isLoaded()) form.cancel();
    ui->shown.clear();
    form.bProblemType = row.feature == QString("题型");
    form.bIntegerType = true;
    std::tie(form.SourceFeatureID, form.DestFeatureID) = form.bProblemType ? std::pair(3, types) : std::pair(30, levels);
    form.tmpPartitionMap = {};
    for (const QString& a : row.actions)
      if (a.startsWith('=')) form.tmpPartitionMap.add(partitionId(exchange(), a.section('=', 1, 1)), partitionId(system(), a.section('=', 2)));
    openStep(row.step);
    for (const QString& a : row.actions) {
      if (a.startsWith('+')) link(a.mid(1).section('=', 0, 0), a.section('=', 1));
      if (a.startsWith('-')) (form.MapList.ListIndex = a.size() > 1 ? a.mid(1).toInt() : -1, form.unlink());
      if (a == "name") form.pairByName();
      if (a == "reset") form.reset();
      if (a == "drop") exchange().ExecQuery("drop table Subject");
      if (a == "gone") exchange().ExecQuery("delete from Feature where FeatureID=44");
    }
    QStringList mapTexts, shown = ui->prompts();
    for (const QString& p : pairTexts())
      if (!p.startsWith("-1=")) mapTexts << QString(p).replace('=', " <----> ");
    EXPECT_EQ(texts(form.MapList), mapTexts) << what;
    for (int i = 0; i < shown.size() && i < row.messages.size(); ++i)
      if (row.messages[i].startsWith('~') && shown[i].contains(row.messages[i].mid(1), Qt::CaseInsensitive))
        shown[i] = row.messages[i];
    const QStringList any{"*"};
    EXPECT_EQ((QList<QStringList>{row.source == any ? any : texts(form.SourceList), row.dest == any ? any : texts(form.DestList),
                                  pairTexts(), shown}),
              (QList<QStringList>{row.source, row.dest, row.pairs, row.messages})) << what;
    EXPECT_EQ(std::pair(form.LinkEnabled, form.cmdUnLinkEnabled), std::pair(row.link, row.unlink)) << what;
    EXPECT_TRUE(form.isLoaded()) << what;
  }
}

}  // namespace
