#include "core/Interaction.h"

#include "core/UpdatePreview.h"
#include "resources/Strings.h"

namespace {
// Before anything else is installed: answers every question with the choice
// that changes nothing.
class QuietInteraction : public Interaction {
 public:
  Answer MsgBox(const QString&, MessageStyle style, const QString&) override { return cautiousAnswer(style.buttons); }
  std::optional<QString> InputBox(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
};

std::shared_ptr<Interaction>& slot() {
  static std::shared_ptr<Interaction> s = std::make_shared<QuietInteraction>();
  return s;
}

QString transferTitle() { return Res::str(Res::TransferTitle); }

constexpr MessageStyle kConfirm{MessageKind::Question, Buttons::YesNo, Answer::No};
}  // namespace

QList<Answer> answersOf(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: break;
    case Buttons::OkCancel: return {Answer::Ok, Answer::Cancel};
    case Buttons::YesNo: return {Answer::Yes, Answer::No};
    case Buttons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
  }
  return {Answer::Ok};
}

Answer cautiousAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok: break;
    case Buttons::YesNo: return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel: return Answer::Cancel;
  }
  return Answer::Ok;
}

Prompt promptFor(Question question, const QString& argument) {
  switch (question) {
    case Question::ReplaceExchangeFile:
      return {Res::str(350) + argument, {MessageKind::Warning, Buttons::YesNoCancel, Answer::No}, transferTitle()};
    case Question::EmptyExchangeFile:
      return {Res::str(316) + argument, kConfirm, transferTitle()};
    case Question::RenameConflictingCourse:
      return {QStringLiteral("已经存在相同名称的课程") + argument +
                  QStringLiteral("，请选择是否继续\r\n   选择[确定]更改名称后继续导入课程，\r\n"
                                 "   选择[取消]则不导入该课程。"),
              {MessageKind::Warning, Buttons::OkCancel}, QStringLiteral("请选择")};
    case Question::CreateUnpairedSubjects:
      return {Res::str(312), kConfirm, transferTitle()};
    case Question::CreateUnpairedFeatures:
      return {Res::str(302), kConfirm, transferTitle()};
    case Question::CreateUnpairedPartitions:
      return {Res::str(309), kConfirm, transferTitle()};
    case Question::ApplyCourseUpdate:
      return {QStringLiteral("按以上内容更新课程") + argument +
                  QStringLiteral("？\r\n   选择[确定]写入系统数据库，\r\n   选择[取消]则不做任何改动。"),
              {MessageKind::Question, Buttons::OkCancel}, QStringLiteral("更新课程")};
  }
  return {};
}

Prompt promptFor(TextQuestion question) {
  switch (question) {
    case TextQuestion::NewExchangeFileName: return {Res::str(351), {}, transferTitle()};
  }
  return {};
}

Answer Interaction::Ask(Question question, const QString& argument) {
  const Prompt p = promptFor(question, argument);
  return MsgBox(p.text, p.style, p.title);
}

std::optional<QString> Interaction::AskText(TextQuestion question) {
  const Prompt p = promptFor(question);
  return InputBox(p.text, p.title, QString());
}

Answer Interaction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  const Prompt p = promptFor(Question::ApplyCourseUpdate, preview.course);
  return MsgBox(preview.lines().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n") + p.text, p.style, p.title);
}

Interaction& Interaction::current() { return *slot(); }

std::shared_ptr<Interaction> Interaction::install(std::shared_ptr<Interaction> next) {
  auto previous = slot();
  slot() = next ? std::move(next) : std::make_shared<QuietInteraction>();
  return previous;
}
