#include "ui/frmUpdatePreview.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/Interaction.h"
#include "resources/Strings.h"

frmUpdatePreview::frmUpdatePreview(const UpdatePreview& preview, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("frmUpdatePreview"));
  const Prompt question = promptFor(Question::ApplyCourseUpdate, preview.course);
  setWindowTitle(question.title);
  auto* layout = new QVBoxLayout(this);
  auto* summary = new QLabel(QStringLiteral("课程：%1（编号 %2）").arg(preview.course).arg(preview.courseId), this);
  summary->setObjectName(QStringLiteral("lblCourse"));
  layout->addWidget(summary);
  m_sprPreview = new QTableWidget(0, 5, this);
  m_sprPreview->setObjectName(QStringLiteral("sprPreview"));
  m_sprPreview->setHorizontalHeaderLabels({QStringLiteral("对象"), QStringLiteral("情况"), QStringLiteral("编码/路径"),
                                           QStringLiteral("内容/名称"), QStringLiteral("修改的列")});
  m_sprPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_sprPreview->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_sprPreview->verticalHeader()->hide();
  m_sprPreview->horizontalHeader()->setStretchLastSection(true);
  layout->addWidget(m_sprPreview);
  auto* ask = new QLabel(question.text, this);
  ask->setObjectName(QStringLiteral("lblQuestion"));
  layout->addWidget(ask);
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole)->setObjectName(QStringLiteral("cmdOK"));
  buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole)->setObjectName(QStringLiteral("cmdCancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
  fill(preview);
  resize(860, 560);
}

// A line per group with its count, then its first rows.
void frmUpdatePreview::fill(const UpdatePreview& preview) {
  const auto add = [this](const QStringList& cells, bool heading) {
    const int row = m_sprPreview->rowCount();
    m_sprPreview->insertRow(row);
    for (int col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      if (heading) {
        QFont font = item->font();
        font.setBold(true);
        item->setFont(font);
      }
      m_sprPreview->setItem(row, col, item);
    }
  };
  const auto section = [&](const QString& what, const std::vector<UpdatePreview::Group>& groups) {
    for (const UpdatePreview::Group& g : groups) {
      add({what, UpdatePreview::kindName(g.kind), QStringLiteral("%1 个").arg(g.count)}, true);
      if (g.kind == UpdatePreview::Kind::Unchanged) continue;
      for (const UpdatePreview::Row& r : g.first) add({QString(), QString(), r.key, r.text, r.columns}, false);
      if (g.count > int(g.first.size()))
        add({QString(), QString(), QStringLiteral("……另有 %1 个").arg(g.count - int(g.first.size()))}, false);
    }
  };
  section(QStringLiteral("题目"), preview.problems);
  if (preview.uncodedProblems)
    add({QStringLiteral("题目"), QStringLiteral("没有编码"), QStringLiteral("%1 个").arg(preview.uncodedProblems),
         QStringLiteral("以新编码增加")},
        true);
  section(QStringLiteral("章节"), preview.contents);
  m_sprPreview->resizeColumnsToContents();
  // Long paths and texts are cut rather than push the changed columns out of sight.
  for (const auto& [col, widest] : {std::pair{2, 220}, {3, 300}})
    if (m_sprPreview->columnWidth(col) > widest) m_sprPreview->setColumnWidth(col, widest);
}

Answer showUpdatePreview(const UpdatePreview& preview) {
  frmUpdatePreview dialog(preview, QApplication::activeWindow());
  return dialog.exec() == QDialog::Accepted ? Answer::Ok : Answer::Cancel;
}
