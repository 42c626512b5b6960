#include "resources/Strings.h"

#include <QHash>

namespace {
const QHash<int, QString>& table() {
  static const QHash<int, QString> t{
      {110, QStringLiteral("Template.mdb")},
      {200, QStringLiteral("Yarrow考试系统")},
      {203, QStringLiteral("[课程导入]")},
      {301, QStringLiteral("导入导出")},
      {302, QStringLiteral("工作数据库中没有做对应的题目指标都将在系统数据库中新建，确定么?")},
      {303, QStringLiteral("请正确选择要取消的题目指标对应关系")},
      {304, QStringLiteral("请正确选择要对应的题目指标")},
      {305, QStringLiteral("所对应的指标类型不符")},
      {306, QStringLiteral("所对应的指标最小值不符")},
      {307, QStringLiteral("所对应的指标最大值不符")},
      {308, QStringLiteral("所对应的指标增长单位不符")},
      {309, QStringLiteral("工作数据库中没有做对应的题目指标分布都将在系统数据库中新建，确定么?")},
      {310, QStringLiteral("请正确选择要取消对应的题目指标分布关系")},
      {311, QStringLiteral("请正确选择要对应的题目指标分布")},
      {312, QStringLiteral("工作数据库中没有做对应的专业都将在系统数据库中新建，确定么?")},
      {313, QStringLiteral("请正确选择要取消的课程对应关系")},
      {314, QStringLiteral("请正确选择要对应的课程")},
      {315, QStringLiteral("导入操作成功")},
      {316, QStringLiteral("此操作将删除Access数据库中原有数据，确认么？")},
      {318, QStringLiteral("选择的Access数据库不正确，请重新选择!")},
      {321, QStringLiteral("您选择的是数据库模版，请重新输入文件名！")},
      {322, QStringLiteral("数据库模板不存在，请选择数据库文件")},
      {323, QStringLiteral("正在导入课程信息...")},
      {324, QStringLiteral("正在导入指标...")},
      {325, QStringLiteral("正在导入章节内容...")},
      {326, QStringLiteral("正在导入组题题干...")},
      {327, QStringLiteral("正在导入题目...")},
      {328, QStringLiteral("正在导入题目内容关联...")},
      {329, QStringLiteral("正在导入题目指标值...")},
      {330, QStringLiteral("正在导入课程提纲...")},
      {331, QStringLiteral("正在更新课程信息...")},
      {332, QStringLiteral("正在导入专业信息...")},
      {333, QStringLiteral("导入完成！")},
      {334, QStringLiteral("正在删除原有数据...")},
      {335, QStringLiteral("正在导出专业信息...")},
      {336, QStringLiteral("正在导出课程信息...")},
      {337, QStringLiteral("正在导出课程专业...")},
      {338, QStringLiteral("正在导出章节内容...")},
      {339, QStringLiteral("正在导出课程提纲...")},
      {340, QStringLiteral("正在导出指标信息...")},
      {341, QStringLiteral("正在导出指标分布信息...")},
      {342, QStringLiteral("正在导出课程指标分布...")},
      {343, QStringLiteral("正在导出组题题干...")},
      {344, QStringLiteral("正在导出题目...")},
      {345, QStringLiteral("正在导出课程内容关联...")},
      {346, QStringLiteral("正在导出题目指标值...")},
      {347, QStringLiteral("导出完成！")},
      {348, QStringLiteral("所做题型对应不正确")},
      {350, QStringLiteral("该课程的相应Access文件已经存在,要覆盖该文件么？要新建文件请选择否。")},
      {351, QStringLiteral("请输入要生成的导出文件的名字")},
      {352, QStringLiteral("请先选择试卷")},
  };
  return t;
}
}  // namespace

namespace Res {
QString str(int id) { return table().value(id); }
}  // namespace Res
