// What the trees of an exchange file become: contents placed inside the new
// course whatever the tree holds, trees stored with new IDs and otherwise as
// written, trees past the XML limits reported instead of read.
#include "import/ImportFixture.h"

namespace {
// The demo course's contents by exchange ID; the file's own parents are
// 31:0, 32:31, 33:32, 34:0.
const QList<std::pair<int, QString>> kContents{{31, QStringLiteral("第一章")},
                                               {32, QStringLiteral("第一节")},
                                               {33, QStringLiteral("第一小节")},
                                               {34, QStringLiteral("第二章")}};
const QString kFileParents = QStringLiteral("31:0/0,32:31/1,33:32/2,34:0/0");

QString Nested(int depth) {
  return QStringLiteral("<ROOT>") + QStringLiteral("<CONTENT ID=\"31\">").repeated(depth) +
         QStringLiteral("</CONTENT>").repeated(depth) + QStringLiteral("</ROOT>");
}

QString SqlText(const QString& text) {
  return text.isNull()
             ? QStringLiteral("NULL")
             : QLatin1Char('\'') + QString(text).replace(QLatin1Char('\''), QStringLiteral("''")) + QLatin1Char('\'');
}

struct TreeRow {
  QString tree;             // null: the column is NULL
  QStringList fileChanges;  // statements run on the exchange file first
  QString parents;          // exchange ID:parent's exchange ID/level, in ID order
  QString stored;           // {n}: the new ID of exchange content n; null: NULL
  int skipped;              // "ContentHierarchy" count
};
}  // namespace

class ContentTree : public ImportTest {
 protected:
  void Check(const TreeRow& row) {
    const QString name = QStringLiteral("课程%1").arg(++round_);
    ScriptDemoMapping();
    ASSERT_TRUE(ImportCourse(DemoFile(name + QStringLiteral(".mdb"),
                                      QStringList{QStringLiteral("update Course set ContentHierarchy=") + SqlText(row.tree)} +
                                          row.fileChanges,
                                      name)));
    const int course = Count(QStringLiteral("select CourseID from Course where Name='%1'").arg(name));
    const auto column = [&](const char* col, const QString& title) {
      return Count(QStringLiteral("select %1 from Content where CourseID=%2 and Name='%3'")
                       .arg(QLatin1String(col)).arg(course).arg(title));
    };
    QHash<int, int> exchangeIdOf{{0, 0}};
    QString stored = row.stored;
    for (const auto& [oldId, title] : kContents) {
      exchangeIdOf.insert(column("ContentID", title), oldId);
      stored.replace(QStringLiteral("{%1}").arg(oldId), QString::number(column("ContentID", title)));
    }
    QStringList parents;
    for (const auto& [oldId, title] : kContents)
      parents << QStringLiteral("%1:%2/%3").arg(oldId).arg(exchangeIdOf.value(column("PARENTCONTENTID", title), -1))
                     .arg(column("LEVEL", title));
    EXPECT_EQ(parents.join(QLatin1Char(',')).toStdString(), row.parents.toStdString());
    const QVariant tree = Scalar(QStringLiteral("select ContentHierarchy from Course where CourseID=%1").arg(course));
    EXPECT_EQ(tree.isNull(), row.stored.isNull());
    EXPECT_EQ(tree.toString().toStdString(), stored.toStdString());
    EXPECT_EQ(import.SkippedRows().value(QStringLiteral("ContentHierarchy")), row.skipped);
    EXPECT_EQ(progress.back().first, 100);
  }
  int round_ = 0;
};

TEST_F(ContentTree, ContentsStayInsideTheCourseAndTheTreeKeepsItsText) {
  const QString rewritten = QStringLiteral(
      "<?xml version=\"1.0\"?>\r\n<ROOT z=\"1\" a='2' xmlns:n=\"urn:n\"><!-- 目录 -->"
      "<CONTENT n:title=\"第&amp;一章\" ID = '%1' M=\"&#x41;\"><CONTENT ID=\"%2\"><CONTENT ID=\"%3\" /></CONTENT>"
      "<n:NOTE ID=\"77\">&lt;x&gt;</n:NOTE></CONTENT><CONTENT ID=\"%4\"></CONTENT ></ROOT>");
  const QString demoTree = QStringLiteral(
      "<ROOT><CONTENT ID=\"%1\"><CONTENT ID=\"%2\"><CONTENT ID=\"%3\"/></CONTENT>"
      "</CONTENT><CONTENT ID=\"%4\"/></ROOT>");
  const QStringList outsideSelfAndLoop{QStringLiteral("update Content set PARENTCONTENTID=500 where ContentID=31"),
                                       QStringLiteral("update Content set PARENTCONTENTID=32 where ContentID=32"),
                                       QStringLiteral("update Content set PARENTCONTENTID=34 where ContentID=33"),
                                       QStringLiteral("update Content set PARENTCONTENTID=33 where ContentID=34")};
  const std::vector<TreeRow> rows{
      // Every ID translated, nothing else touched; an element that is no content leaves the tree unused.
      {rewritten.arg(31).arg(32).arg(33).arg(34), {}, kFileParents, rewritten.arg("{31}", "{32}", "{33}", "{34}"), 1},
      {demoTree.arg(34).arg(31).arg(32).arg(33),
       {},
       QStringLiteral("31:34/1,32:31/2,33:0/0,34:0/0"),
       demoTree.arg("{34}", "{31}", "{32}", "{33}"),
       0},
      // A partial tree places what it names; the rest follow the file inside the course.
      {QStringLiteral("<ROOT><CONTENT ID=\"34\"><CONTENT ID=\"31\"/></CONTENT></ROOT>"),
       {},
       QStringLiteral("31:34/1,32:31/2,33:32/3,34:0/0"),
       QStringLiteral("<ROOT><CONTENT ID=\"{34}\"><CONTENT ID=\"{31}\"/></CONTENT></ROOT>"),
       0},
      // IDs the file lacks and contents named twice: the tree is unused and stored without them.
      {QStringLiteral("<ROOT><CONTENT ID=\"99\"><CONTENT ID=\"31\"/></CONTENT><CONTENT ID=\"x\"/></ROOT>"),
       {},
       kFileParents,
       QStringLiteral("<ROOT><CONTENT ID=\"{31}\"/></ROOT>"),
       1},
      {QStringLiteral("<ROOT><CONTENT ID=\"31\"><CONTENT ID=\"31\"/></CONTENT></ROOT>"),
       {},
       kFileParents,
       QStringLiteral("<ROOT><CONTENT ID=\"{31}\"></CONTENT></ROOT>"),
       1},
      {QStringLiteral(
           "<ROOT><CONTENT ID=\"31\"><CONTENT ID=\"32\">t</CONTENT><CONTENT ID=\"31\">u</CONTENT></CONTENT></ROOT>"),
       {},
       kFileParents,
       QStringLiteral("<ROOT><CONTENT ID=\"{31}\"><CONTENT ID=\"{32}\">t</CONTENT>u</CONTENT></ROOT>"),
       1},
      // Trees that do not read are not stored; parents outside the file, the content itself or a loop go to the top.
      {QStringLiteral("<ROOT><CONTENT"), {}, kFileParents, QString(), 1},
      {QStringLiteral(""), {}, kFileParents, QStringLiteral(""), 1},
      {QStringLiteral("<ROOT><SECTION ID=\"31\"/></ROOT>"), {}, kFileParents, QStringLiteral("<ROOT><SECTION ID=\"31\"/></ROOT>"), 1},
      {QString(), outsideSelfAndLoop, QStringLiteral("31:0/0,32:0/0,33:0/0,34:33/1"), QString(), 1},
      {QStringLiteral("<!DOCTYPE ROOT [<!ENTITY c \"<CONTENT ID='31'/>\">]><ROOT>&c;</ROOT>"),
       {},
       kFileParents,
       QString(),
       1},
      {Nested(5000), {}, kFileParents, QString(), 1},
      {Nested(100000), {}, kFileParents, QString(), 1},
  };
  for (const TreeRow& row : rows) {
    SCOPED_TRACE(row.tree.left(120).toStdString());
    Check(row);
  }
}

TEST_F(ContentTree, ProblemTreesKeepTheirTextAndUnreadableOnesAreReported) {
  const QString kept = QStringLiteral(
      "<GROUP M=\"3\" a=\"2\" z=\"1\" xmlns:q=\"urn:q\"><q:NOTE ID=\"51\">&lt;b&gt;</q:NOTE>"
      "<PROBLEM Tag='x' ID = '%1' /><PROBLEM ID=\"%2\"/></GROUP>");
  for (const auto& [tree, expected, skipped] : std::vector<std::tuple<QString, QString, int>>{
           {kept.arg(51).arg(999), kept, 0},
           {QStringLiteral("<GROUP><PROBLEM"), QString(), 1},
           {QStringLiteral("<G>") + QStringLiteral("<P>").repeated(100000) + QStringLiteral("</P>").repeated(100000) +
                QStringLiteral("</G>"),
            QString(), 1}}) {
    SCOPED_TRACE(tree.left(120).toStdString());
    ScriptDemoMapping();
    ++round_;
    ASSERT_TRUE(ImportCourse(DemoFile(QStringLiteral("groups%1.mdb").arg(round_),
                                      {QStringLiteral("update ProblemGroup set ProblemHierarchy=") + SqlText(tree)},
                                      QStringLiteral("课程%1").arg(round_))));
    const int problem = Count(QStringLiteral("select max(ProblemID) from Problem where Body='b51'"));
    EXPECT_EQ(Scalar(QStringLiteral("select ProblemHierarchy from ProblemGroup where ProblemGroupID=(select "
                                    "max(ProblemGroupID) from ProblemGroup)"))
                  .toString()
                  .toStdString(),
              (expected.isNull() ? tree : QString(expected).arg(problem).arg(999)).toStdString());
    EXPECT_EQ(import.SkippedRows().value(QStringLiteral("ProblemHierarchy")), skipped);
  }
}
