#include "core/Interaction.h"

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
  void ShowMappingDialog(MappingModel&) override;
};

std::shared_ptr<Interaction>& slot() {
  static std::shared_ptr<Interaction> s = std::make_shared<QuietInteraction>();
  return s;
}
}  // namespace

#include "mapping/MappingModel.h"

void QuietInteraction::ShowMappingDialog(MappingModel& model) {
  model.cmdCancel_Click();
}

Interaction& Interaction::current() { return *slot(); }

std::shared_ptr<Interaction> Interaction::install(std::shared_ptr<Interaction> next) {
  auto previous = slot();
  slot() = next ? std::move(next) : std::make_shared<QuietInteraction>();
  return previous;
}
