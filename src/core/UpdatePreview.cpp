#include "core/UpdatePreview.h"

void UpdatePreview::note(Group& group, Row row) {
  ++group.count;
  if (int(group.first.size()) < kFirstRows) group.first.push_back(std::move(row));
}

QString UpdatePreview::kindName(Kind kind) {
  switch (kind) {
    case Kind::Added: return QStringLiteral("新增");
    case Kind::Changed: return QStringLiteral("修改");
    case Kind::Unchanged: return QStringLiteral("不变");
    case Kind::OnlyInSystem: return QStringLiteral("仅在系统中（保留）");
  }
  return {};
}

QStringList UpdatePreview::lines() const {
  QStringList out{QStringLiteral("更新课程：%1（%2）").arg(course).arg(courseId)};
  const auto section = [&out](const QString& what, const std::vector<Group>& groups) {
    for (const Group& g : groups) {
      out << QStringLiteral("%1 %2：%3").arg(what, kindName(g.kind)).arg(g.count);
      if (g.kind == Kind::Unchanged) continue;  // their rows say nothing new
      for (const Row& r : g.first)
        out << QStringLiteral("  %1  %2%3").arg(r.key, r.text, r.columns.isEmpty() ? QString() : QStringLiteral("  [") + r.columns + ']');
      if (g.count > int(g.first.size())) out << QStringLiteral("  ……另有 %1 个").arg(g.count - int(g.first.size()));
    }
  };
  section(QStringLiteral("题目"), problems);
  if (uncodedProblems) out << QStringLiteral("其中没有编码的题目 %1 个，以新编码增加").arg(uncodedProblems);
  section(QStringLiteral("章节"), contents);
  return out;
}

bool UpdatePreview::changesNothing() const {
  for (const auto* groups : {&problems, &contents})
    for (const Group& g : *groups)
      if ((g.kind == Kind::Added || g.kind == Kind::Changed) && g.count) return false;
  return true;
}
