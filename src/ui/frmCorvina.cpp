#include "ui/frmCorvina.h"

#include "resources/Strings.h"

frmCorvina::frmCorvina(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("frmCorvina"));
  setWindowTitle(Res::str(Res::AppTitle) + '-' + Res::str(Res::ImportCaption));
}
