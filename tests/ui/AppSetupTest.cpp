#include <gtest/gtest.h>

#include <QPushButton>
#include <QFileDialog>
#include <QMessageBox>

#include "ui/AppSetup.h"
#include "ui/UiTestApp.h"

namespace {

// Whatever LANG says, Qt's own buttons read as the program's messages name them.
TEST(AppSetup, QtsOwnButtonsAndDialogsSpeakChinese) {
  PrepareApplication(uiTestApp());
  const struct {
    QMessageBox::StandardButton button;
    const char* caption;
  } rows[] = {{QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是"},
              {QMessageBox::No, "否"}};
  QMessageBox box;
  for (const auto& row : rows) {
    const QString text = box.addButton(row.button)->text();
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(row.caption))) << text.toStdString();
  }
  QFileDialog save;
  save.setAcceptMode(QFileDialog::AcceptSave);
  EXPECT_EQ(save.labelText(QFileDialog::FileName), QStringLiteral("文件名称(&N)："));
  EXPECT_FALSE(QApplication::windowIcon().isNull());
}

}  // namespace
