#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include "MappingFixture.h"
#include "ui/frmImport.h"

namespace {

class MappingDialog : public MappingTest {};

// The real dialog on the person's clicks: closing it cancels the import;
// choosing, pairing by name and finishing fills the import's map.
TEST_F(MappingDialog, FollowsThePersonsClicks) {
  static int argc = 1;
  static char name[] = "test_mapping";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  for (auto [id, name] : {std::pair{-1, "公共"}, {12, "数学"}, {15, "物理"}}) subject(exchange(), id, name);
  for (const char* name : {"物理", "数学"}) subject(system(), {}, name);
  for (const bool finish : {false, true}) {
    form.intStep = 1;
    QStringList mapRows;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      if (!dialog) return;
      const auto click = [dialog](const char* button) { dialog->findChild<QPushButton*>(button)->click(); };
      dialog->findChild<QListWidget*>("DestList")->setCurrentRow(1);
      click("Link");
      click("cmdNameLink");
      for (const auto* item : dialog->findChild<QListWidget*>("MapList")->findItems("*", Qt::MatchWildcard))
        mapRows << item->text();
      mapRows << (dialog->findChild<QPushButton*>("Link")->isEnabled() ? "link" : "no link");
      finish ? click("Finish") : (void)dialog->close();
      if (dialog->isVisible()) dialog->close();  // a refused finish fails the test instead of hanging it
    });
    showMappingDialog(form);
    EXPECT_EQ(mapRows, (QStringList{"数学 <----> 数学", "物理 <----> 物理", "no link"}));
    EXPECT_TRUE(form.bCancel != finish && !form.isLoaded());
    EXPECT_EQ(session.SubjectMap.size(), finish ? 3 : 0);
  }
}

}  // namespace
