#include "core/Interaction.h"

#include "core/UpdatePreview.h"
#include "resources/Strings.h"

namespace {
// Before anything else is installed: answers every question with the choice
// that changes nothing and never shows a mapping form (it counts as cancel).
class QuietInteraction : public Interaction {
 public:
  int MsgBox(const QString&, int flags, const QString&) override {
    switch (flags & Vb::ButtonsMask) {
      case Vb::OKCancel:
      case Vb::YesNoCancel: return Vb::Cancel;
      case Vb::YesNo: return Vb::No;
      default: return Vb::OK;
    }
  }
  std::optional<QString> InputBox(const QString&, const QString&, const QString&) override {
    return std::nullopt;
  }
  void ShowMappingDialog(MappingModel&) override {}
};

std::shared_ptr<Interaction>& slot() {
  static std::shared_ptr<Interaction> s = std::make_shared<QuietInteraction>();
  return s;
}

QString transferTitle() { return Res::str(Res::TransferTitle); }
}  // namespace

Prompt promptFor(Question question, const QString& argument) {
  switch (question) {
    case Question::ReplaceExchangeFile:
      return {Res::str(350) + argument, Vb::YesNoCancel | Vb::Exclamation | Vb::DefaultButton2, transferTitle()};
    case Question::EmptyExchangeFile:
      return {Res::str(316) + argument, Vb::YesNo | Vb::Question | Vb::DefaultButton2, transferTitle()};
    case Question::RenameConflictingCourse:
      return {QStringLiteral("已经存在相同名称的课程") + argument +
                  QStringLiteral("，请选择是否继续\r\n   选择[确定]更改名称后继续导入课程，\r\n"
                                 "   选择[取消]则不导入该课程。"),
              Vb::OKCancel | Vb::Exclamation, QStringLiteral("请选择")};
    case Question::CreateUnpairedSubjects:
      return {Res::str(312), Vb::YesNo | Vb::Question | Vb::DefaultButton2, transferTitle()};
    case Question::CreateUnpairedFeatures:
      return {Res::str(302), Vb::YesNo | Vb::Question | Vb::DefaultButton2, transferTitle()};
    case Question::CreateUnpairedPartitions:
      return {Res::str(309), Vb::YesNo | Vb::Question | Vb::DefaultButton2, transferTitle()};
    case Question::ApplyCourseUpdate:
      return {QStringLiteral("按以上内容更新课程") + argument +
                  QStringLiteral("？\r\n   选择[确定]写入系统数据库，\r\n   选择[取消]则不做任何改动。"),
              Vb::OKCancel | Vb::Question, QStringLiteral("更新课程")};
  }
  return {};
}

Prompt promptFor(TextQuestion question) {
  switch (question) {
    case TextQuestion::NewExchangeFileName: return {Res::str(351), 0, transferTitle()};
  }
  return {};
}

int Interaction::Ask(Question question, const QString& argument) {
  const Prompt p = promptFor(question, argument);
  return MsgBox(p.text, p.flags, p.title);
}

std::optional<QString> Interaction::AskText(TextQuestion question) {
  const Prompt p = promptFor(question);
  return InputBox(p.text, p.title, QString());
}

int Interaction::ConfirmCourseUpdate(const UpdatePreview& preview) {
  const Prompt p = promptFor(Question::ApplyCourseUpdate, preview.course);
  return MsgBox(preview.lines().join(QStringLiteral("\r\n")) + QStringLiteral("\r\n\r\n") + p.text, p.flags, p.title);
}

Interaction& Interaction::current() { return *slot(); }

std::shared_ptr<Interaction> Interaction::install(std::shared_ptr<Interaction> next) {
  auto previous = slot();
  slot() = next ? std::move(next) : std::make_shared<QuietInteraction>();
  return previous;
}
