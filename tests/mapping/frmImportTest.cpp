#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "MappingFixture.h"
#include "ui/frmImport.h"

namespace {

class MappingDialog : public MappingTest {
 protected:
  MappingDialog() {
    static int argc = 1;
    static char name[] = "test_mapping";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    for (auto [id, name] : {std::pair{-1, "公共"}, {12, "数学"}, {15, "物理"}}) subject(exchange(), id, name);
    subject(system(), {}, "物理");
    subject(system(), {}, "数学");
  }
  static QStringList rows(QWidget& dialog, const char* name) {
    QStringList out;
    auto* list = dialog.findChild<QListWidget*>(name);
    for (int i = 0; list && i < list->count(); ++i) out << list->item(i)->text();
    return out;
  }
  static void click(QWidget& dialog, const char* name) { dialog.findChild<QPushButton*>(name)->click(); }
};

TEST_F(MappingDialog, ThePersonsChoicesPairAndFinishTheStep) {
  openStep(1);
  frmImport dialog(form);
  dialog.findChild<QListWidget*>("DestList")->setCurrentRow(1);
  click(dialog, "Link");
  EXPECT_EQ(rows(dialog, "MapList"), QStringList{"数学 <----> 数学"});
  EXPECT_EQ(rows(dialog, "DestList"), QStringList{"物理"});
  EXPECT_TRUE(dialog.findChild<QPushButton*>("cmdUnLink")->isEnabled());
  click(dialog, "cmdNameLink");
  EXPECT_EQ(rows(dialog, "MapList"), (QStringList{"数学 <----> 数学", "物理 <----> 物理"}));
  EXPECT_FALSE(dialog.findChild<QPushButton*>("Link")->isEnabled());
  click(dialog, "Finish");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(session.SubjectMap.size(), 3);
}

TEST_F(MappingDialog, ClosingTheWindowCancelsTheImport) {
  form.intStep = 1;
  bool shown = false;
  QTimer::singleShot(0, [&shown] {
    if (QWidget* dialog = QApplication::activeModalWidget()) shown = dialog->close();
  });
  showMappingDialog(form);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(form.bCancel);
  EXPECT_FALSE(form.isLoaded());
  EXPECT_TRUE(session.SubjectMap.empty());
}

}  // namespace
