#include "ui/AppSetup.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void PrepareApplication(QApplication& app) {
  // The program speaks Chinese only, so Qt's buttons and dialogs must too.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  auto* qtTexts = new QTranslator(&app);
  if (qtTexts->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QApplication::installTranslator(qtTexts);
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/corvina.svg")));
  QGuiApplication::setDesktopFileName(QStringLiteral("corvina"));
}
