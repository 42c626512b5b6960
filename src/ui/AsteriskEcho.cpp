#include "ui/AsteriskEcho.h"

#include <QLineEdit>
#include <QProxyStyle>

namespace {
class AsteriskStyle : public QProxyStyle {
 public:
  int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                QStyleHintReturn* returnData) const override {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    return QProxyStyle::styleHint(hint, option, widget, returnData);
  }
};
}  // namespace

void echoAsterisks(QLineEdit* box) {
  box->setEchoMode(QLineEdit::Password);
  // A widget does not own the style it is given: the box does, as its parent.
  auto* style = new AsteriskStyle;
  style->setParent(box);
  box->setStyle(style);
}
