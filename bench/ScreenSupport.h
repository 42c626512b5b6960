#pragma once
// Photographing the X screen for the screenshot programs (run under Xvfb).
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QTextStream>
#include <QThread>

namespace Screens {

// The folder the pictures go to, set by the program from its argument.
inline QString& outputFolder() {
  static QString folder;
  return folder;
}

// Lets pending paint events through before a picture is taken.
inline void settle() {
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::processEvents();
    QThread::msleep(30);
  }
}

// Takes the whole screen with ImageMagick's `import` as OUTPUT/name.png.
inline void shoot(const QString& name) {
  settle();
  const QString file = outputFolder() + '/' + name + QStringLiteral(".png");
  QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), file});
  QTextStream(stdout) << file << '\n';
}

}  // namespace Screens
