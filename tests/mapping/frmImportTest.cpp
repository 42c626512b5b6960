#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "MappingFixture.h"
#include "ui/frmImport.h"

namespace {

void ensureApplication() {
  static int argc = 1;
  static char name[] = "test_mapping";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
}

class MappingDialog : public MappingTest {
 protected:
  MappingDialog() {
    ensureApplication();
    exchangeSubject(-1, QStringLiteral("公共"));
    exchangeSubject(12, QStringLiteral("数学"));
    exchangeSubject(15, QStringLiteral("物理"));
    physics = systemSubject(QStringLiteral("物理"));
    math = systemSubject(QStringLiteral("数学"));
  }
  template <class W>
  static W* child(QWidget& w, const char* name) {
    W* found = w.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  static QStringList rows(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }
  qint32 physics = 0;
  qint32 math = 0;
};

TEST_F(MappingDialog, ShowsTheStepWithTheFormsControls) {
  openStep(1);
  frmImport dialog(form);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("专业对应"));
  QStringList labels;
  for (QLabel* l : dialog.findChildren<QLabel*>()) labels << l->text();
  EXPECT_TRUE(labels.contains(QStringLiteral("Access数据库")));
  EXPECT_TRUE(labels.contains(QStringLiteral("系统数据库")));
  const std::pair<const char*, const char*> buttons[] = {
      {"Link", "对应(&M)"},     {"cmdUnLink", "取消对应(&U)"},     {"cmdNameLink", "名称对应(&A)"},
      {"reset", "重设(&R)"}, {"Finish", "下一步(&N) --->"}, {"cmdCancel", "取消(&C)"}};
  for (const auto& [name, caption] : buttons) {
    auto* b = child<QPushButton>(dialog, name);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->text(), QString::fromUtf8(caption));
  }
  EXPECT_EQ(rows(child<QListWidget>(dialog, "SourceList")), (QStringList{"数学", "物理"}));
  EXPECT_EQ(rows(child<QListWidget>(dialog, "DestList")), (QStringList{"物理", "数学"}));
  EXPECT_EQ(child<QListWidget>(dialog, "SourceList")->currentRow(), 0);
  EXPECT_TRUE(child<QPushButton>(dialog, "Link")->isEnabled());
  EXPECT_FALSE(child<QPushButton>(dialog, "cmdUnLink")->isEnabled());
}

TEST_F(MappingDialog, ThePersonsChoicesPairAndFinishTheStep) {
  openStep(1);
  frmImport dialog(form);
  child<QListWidget>(dialog, "DestList")->setCurrentRow(1);
  EXPECT_EQ(form.DestList.ListIndex, 1);
  child<QPushButton>(dialog, "Link")->click();
  EXPECT_EQ(rows(child<QListWidget>(dialog, "MapList")), QStringList{"数学 <----> 数学"});
  EXPECT_EQ(rows(child<QListWidget>(dialog, "DestList")), QStringList{"物理"});
  EXPECT_TRUE(child<QPushButton>(dialog, "cmdUnLink")->isEnabled());

  child<QPushButton>(dialog, "cmdNameLink")->click();
  EXPECT_EQ(rows(child<QListWidget>(dialog, "MapList")), (QStringList{"数学 <----> 数学", "物理 <----> 物理"}));
  EXPECT_FALSE(child<QPushButton>(dialog, "Link")->isEnabled());

  child<QPushButton>(dialog, "Finish")->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_FALSE(form.bCancel);
  EXPECT_EQ(pairs(session.SubjectMap),
            (QList<std::pair<qint32, qint32>>{{-1, -1}, {12, math}, {15, physics}}));
}

TEST_F(MappingDialog, ClosingTheWindowCancelsTheImport) {
  form.intStep = 1;
  session.SubjectMap.add(1, 1);
  bool shown = false;
  QTimer::singleShot(0, [&shown] {
    QWidget* dialog = QApplication::activeModalWidget();
    shown = dialog != nullptr;
    if (dialog) dialog->close();
  });
  showMappingDialog(form);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(form.bCancel);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_EQ(form.intStep, 0);
  EXPECT_EQ(session.SubjectMap.size(), 1);
}

TEST_F(MappingDialog, ADatabaseErrorKeepsTheDialogOpenAndUnchanged) {
  openStep(1);
  frmImport dialog(form);
  dialog.show();
  exchange().ExecQuery({}, QStringLiteral("drop table Subject"));
  child<QPushButton>(dialog, "reset")->click();
  ASSERT_EQ(ui->prompts().size(), 1);
  EXPECT_EQ(ui->shown.front().title, QStringLiteral("导入导出"));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_TRUE(form.isLoaded());
  EXPECT_EQ(rows(child<QListWidget>(dialog, "SourceList")), (QStringList{"数学", "物理"}));
}

}  // namespace
