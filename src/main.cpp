#include <QApplication>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

#include "data/DataError.h"
#include "data/Schema.h"

namespace {
int makeTemplate(const QStringList& args) {
  if (args.size() < 3) {
    QTextStream(stderr) << "usage: corvina make-template FILE\n";
    return 2;
  }
  Schema::writeSqliteTemplate(args.at(2));
  return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args << QString::fromLocal8Bit(argv[i]);
  try {
    if (args.size() > 1 && args.at(1) == QLatin1String("make-template")) {
      QCoreApplication app(argc, argv);
      return makeTemplate(args);
    }
    QApplication app(argc, argv);
    return 0;
  } catch (const DataError& e) {
    QTextStream(stderr) << e.description() << '\n';
    return 1;
  }
}
