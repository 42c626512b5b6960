// Times reading the trees an exchange file carries: content trees nested
// deep (refused at the depth limit), wide trees of many contents, a problem
// tree of the largest accepted length, and placing contents whose file
// parents form one long chain; problem-type documents deep and long.
// usage: bench_trees
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include "core/BoundedXml.h"
#include "import/HierarchyXml.h"
#include "mapping/CExtPropertiesMapItem.h"

namespace {
IdMap Contents(int n) {
  IdMap map;
  for (int i = 1; i <= n; ++i) map.add(i, 100000 + i);
  return map;
}

QString Deep(int depth) {
  QString text = QStringLiteral("<ROOT>");
  for (int i = 1; i <= depth; ++i) text += QStringLiteral("<CONTENT ID=\"%1\">").arg(i);
  return text + QStringLiteral("</CONTENT>").repeated(depth) + QStringLiteral("</ROOT>");
}

// n contents, ten under each chapter.
QString Wide(int n) {
  QString text = QStringLiteral("<ROOT>");
  for (int i = 1; i <= n; i += 10) {
    text += QStringLiteral("<CONTENT ID=\"%1\" NAME=\"第%1章\">").arg(i);
    for (int j = i + 1; j < i + 10 && j <= n; ++j) text += QStringLiteral("<CONTENT ID=\"%1\"/>").arg(j);
    text += QStringLiteral("</CONTENT>");
  }
  return text + QStringLiteral("</ROOT>");
}

template <class F>
double Millis(F&& f) {
  QElapsedTimer timer;
  timer.start();
  f();
  return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}
}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout);
  for (const int depth : {5000, 10000, 100000}) {
    const QString text = Deep(depth);
    const IdMap map = Contents(depth);
    bool usable = true;
    const double ms = Millis([&] { usable = TranslateContentTree(text, map).usable; });
    out << "content tree " << depth << " deep (" << text.size() << " chars): " << ms << " ms, "
        << (usable ? "used" : "refused") << Qt::endl;
  }
  for (const int n : {1000, 10000, 100000, 150000}) {
    const QString text = Wide(n);
    const IdMap map = Contents(n);
    ContentTreeResult tree;
    const double read = Millis([&] { tree = TranslateContentTree(text, map); });
    const double place = Millis([&] { PlaceContents(map, tree.parents, {}); });
    out << "content tree of " << n << " contents (" << text.size() << " chars): read " << read << " ms, place " << place
        << " ms, " << (tree.usable ? "used" : "refused") << Qt::endl;
  }
  {
    QString text = QStringLiteral("<GROUP>");
    while (text.size() < kMaxXmlLength - 64) text += QStringLiteral("<PROBLEM ID=\"%1\"/>").arg(text.size() % 1000);
    text += QStringLiteral("</GROUP>");
    const IdMap map = Contents(1000);
    bool read = false;
    const double ms = Millis([&] { read = TranslateProblemTree(text, map).has_value(); });
    out << "problem tree of " << text.size() << " chars: " << ms << " ms, " << (read ? "read" : "refused") << Qt::endl;
  }
  {
    const int n = 100000;
    const IdMap map = Contents(n);
    QHash<qint32, qint32> fileParents;
    for (int i = 2; i <= n; ++i) fileParents.insert(i, i - 1);
    fileParents.insert(1, n);  // and round again: a loop
    const double ms = Millis([&] { PlaceContents(map, {}, fileParents); });
    out << "placing " << n << " contents whose file parents form one loop: " << ms << " ms" << Qt::endl;
  }
  for (const int depth : {5000, 100000}) {
    const QString text = QStringLiteral("<EXT><HELP>") + QStringLiteral("<B>").repeated(depth) +
                         QStringLiteral("</B>").repeated(depth) + QStringLiteral("</HELP></EXT>");
    CExtPropertiesMapItem item;
    bool read = false;
    const double ms = Millis([&] { read = item.DeSerialize(text); });
    out << "properties nested " << depth << " deep: " << ms << " ms, " << (read ? "read" : "refused") << Qt::endl;
  }
  {
    QString text = QStringLiteral("<EXT>");
    while (text.size() < kMaxXmlLength - 64) text += QStringLiteral("<HELP>说明</HELP>\n");
    text += QStringLiteral("</EXT>");
    CExtPropertiesMapItem item;
    bool read = false;
    const double ms = Millis([&] { read = item.DeSerialize(text); });
    out << "properties document of " << text.size() << " chars: " << ms << " ms, " << (read ? "read" : "refused")
        << Qt::endl;
  }
  return 0;
}
