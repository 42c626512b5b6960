#include "support/ScriptedInteraction.h"

#include <gtest/gtest.h>

#include <utility>

#include "mapping/MappingModel.h"

Answer ScriptedInteraction::MsgBox(const QString& prompt, MessageStyle style, const QString& title) {
  shown.push_back({QStringLiteral("msgbox"), prompt, style, title});
  const int withdrawnBefore = withdrawn;
  const Shown current = shown.back();
  if (whileShown) std::exchange(whileShown, nullptr)(current);  // once: the messages it causes are not waited on
  if (style.buttons == Buttons::Ok) return Answer::Ok;
  if (withdrawn != withdrawnBefore) return cautiousAnswer(style.buttons);
  if (answers.empty()) {
    ADD_FAILURE() << "unexpected question: " << prompt.toStdString();
    return Answer::Cancel;
  }
  const Answer a = answers.front();
  answers.pop_front();
  return a;
}

std::optional<QString> ScriptedInteraction::InputBox(const QString& prompt, const QString& title,
                                                     const QString&) {
  shown.push_back({QStringLiteral("inputbox"), prompt, {}, title});
  if (inputs.empty()) {
    ADD_FAILURE() << "unexpected input box: " << prompt.toStdString();
    return std::nullopt;
  }
  const bool cancelled = !inputs.front().has_value();
  const QString text = inputs.front().value_or(QString());
  inputs.pop_front();
  if (cancelled) return std::nullopt;
  return text;
}

void ScriptedInteraction::ShowMappingDialog(MappingModel& model) {
  shown.push_back({QStringLiteral("mapping"), QString::number(model.intStep), {}, QString()});
  if (mappingSteps.empty()) {
    ADD_FAILURE() << "unexpected mapping dialog for step " << model.intStep;
    model.cancel();
    return;
  }
  auto step = std::move(mappingSteps.front());
  mappingSteps.pop_front();
  if (!model.isLoaded()) model.press(&MappingModel::Load);
  step(model);
  if (model.isLoaded()) ADD_FAILURE() << "scripted mapping step left the form loaded";
}

QStringList ScriptedInteraction::prompts() const {
  QStringList out;
  for (const Shown& s : shown)
    if (s.kind == QLatin1String("msgbox")) out << s.prompt;
  return out;
}

QString ScriptedInteraction::lastPrompt() const {
  const QStringList p = prompts();
  return p.isEmpty() ? QString() : p.last();
}
