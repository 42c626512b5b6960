#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "cli/CliInteraction.h"
#include "support/UiTestApp.h"
#include "ui/QtInteraction.h"

namespace {

using Box = QMessageBox;

// What the person sees of a question: the box's icon, title, buttons and the
// one Enter presses.
struct Seen {
  Box::Icon icon;
  QString title;
  Box::StandardButtons buttons;
  Box::StandardButton byDefault;
  bool operator==(const Seen&) const = default;
};

// Notes what the next box shows and presses one of its buttons.
void pressOnceShown(Box::StandardButton press, Seen& seen) {
  QTimer::singleShot(0, [&seen, press] {
    auto* box = qobject_cast<Box*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    seen = {box->icon(), box->windowTitle(), box->standardButtons(), box->standardButton(box->defaultButton())};
    box->button(press)->click();
  });
}

TEST(MessageBoxes, EachQuestionShowsItsIconButtonsAndDefaultAndAnswersByTheButtonPressed) {
  uiTestApp();
  const QString transfer = QStringLiteral("导入导出");
  const struct {
    Question question;
    Seen seen;
    Box::StandardButton press;
    Answer answer;
  } rows[] = {
      {Question::ReplaceExchangeFile, {Box::Warning, transfer, Box::Yes | Box::No | Box::Cancel, Box::No}, Box::Cancel, Answer::Cancel},
      {Question::ReplaceExchangeFile, {Box::Warning, transfer, Box::Yes | Box::No | Box::Cancel, Box::No}, Box::No, Answer::No},
      {Question::EmptyExchangeFile, {Box::Question, transfer, Box::Yes | Box::No, Box::No}, Box::Yes, Answer::Yes},
      {Question::RenameConflictingCourse, {Box::Warning, QStringLiteral("请选择"), Box::Ok | Box::Cancel, Box::Ok}, Box::Ok, Answer::Ok},
      {Question::CreateUnpairedSubjects, {Box::Question, transfer, Box::Yes | Box::No, Box::No}, Box::No, Answer::No},
      {Question::CreateUnpairedFeatures, {Box::Question, transfer, Box::Yes | Box::No, Box::No}, Box::Yes, Answer::Yes},
      {Question::CreateUnpairedPartitions, {Box::Question, transfer, Box::Yes | Box::No, Box::No}, Box::Yes, Answer::Yes},
  };
  QtInteraction ui;
  for (const auto& row : rows) {
    const int at = int(&row - rows);
    Seen seen{};
    pressOnceShown(row.press, seen);
    EXPECT_EQ(ui.Ask(row.question, QStringLiteral("a.mdb")), row.answer) << at;
    EXPECT_TRUE(seen == row.seen) << at << ": icon " << seen.icon << ", title " << seen.title.toStdString()
                                  << ", buttons " << seen.buttons.toInt() << ", default " << seen.byDefault;
  }
}

// The command line answers without asking: the safe answer unless told otherwise.
TEST(MessageBoxes, TheCommandLineAnswersEachQuestionAsItsOptionsSay) {
  const struct {
    Question question;
    bool overwrite, rename;
    Answer answer;
  } rows[] = {
      {Question::ReplaceExchangeFile, false, false, Answer::Cancel},
      {Question::ReplaceExchangeFile, true, false, Answer::Yes},
      {Question::EmptyExchangeFile, false, false, Answer::No},
      {Question::EmptyExchangeFile, true, false, Answer::Yes},
      {Question::RenameConflictingCourse, true, false, Answer::Cancel},
      {Question::RenameConflictingCourse, false, true, Answer::Ok},
      {Question::CreateUnpairedSubjects, false, false, Answer::Yes},
  };
  for (const auto& row : rows) {
    CliInteraction cli;
    cli.overwrite = row.overwrite;
    cli.renameOnConflict = row.rename;
    EXPECT_EQ(cli.Ask(row.question, QStringLiteral("a.mdb")), row.answer) << int(&row - rows);
    EXPECT_EQ(cli.takeMessages(), QStringList{promptFor(row.question, QStringLiteral("a.mdb")).text.replace("\r\n", " ")});
  }
  CliInteraction cli;
  Interaction& ui = cli;
  EXPECT_EQ(ui.MsgBox(QStringLiteral("正在进行导入导出，是否取消？"), {MessageKind::Question, Buttons::YesNo}), Answer::No);
  EXPECT_EQ(ui.MsgBox(QStringLiteral("连接成功！")), Answer::Ok);
}

}  // namespace
