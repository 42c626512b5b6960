// What the trees of an exchange file become: contents placed inside the new
// course whatever the tree holds, trees stored with new IDs and otherwise as
// written, trees past the XML limits (fuzzer findings) reported instead of read.
#include "import/HierarchyXml.h"
#include "import/ImportFixture.h"

namespace {
const QString kFileParents = QStringLiteral("31:0/0,32:31/1,33:32/2,34:0/0");  // exchange ID:parent/level

QString Nested(const QString& open, const QString& close, int depth) {
  return QStringLiteral("<ROOT>") + open.repeated(depth) + close.repeated(depth) + QStringLiteral("</ROOT>");
}
QString SqlText(const QString& text) {
  return text.isNull() ? QStringLiteral("NULL") : "'" + QString(text).replace("'", "''") + "'";
}
}  // namespace

class ContentTree : public ImportTest {};

TEST_F(ContentTree, ContentsStayInsideTheCourseAndTheTreesKeepTheirText) {
  const QString rewritten = QStringLiteral(
      "<?xml version=\"1.0\"?>\r\n<ROOT z=\"1\" a='2' xmlns:n=\"urn:n\"><!-- 目录 -->"
      "<CONTENT n:title=\"第&amp;一章\" ID = '%1' M=\"&#x41;\"><CONTENT ID=\"%2\"><CONTENT ID=\"%3\" /></CONTENT>"
      "<n:NOTE ID=\"77\">&lt;x&gt;</n:NOTE></CONTENT><CONTENT ID=\"%4\"></CONTENT ></ROOT>");
  const QString demo = QStringLiteral("<ROOT><CONTENT ID=\"%1\"><CONTENT ID=\"%2\"><CONTENT ID=\"%3\"/></CONTENT>"
                                      "</CONTENT><CONTENT ID=\"%4\"/></ROOT>");
  const QString group = QStringLiteral("<GROUP M=\"3\" a=\"2\" z=\"1\" xmlns:q=\"urn:q\"><q:NOTE ID=\"51\">&lt;b&gt;"
                                       "</q:NOTE><PROBLEM Tag='x' ID = '%1' /><PROBLEM ID=\"%2\"/></GROUP>");
  const QString content = "update Course set ContentHierarchy=", problem = "update ProblemGroup set ProblemHierarchy=";
  const struct {
    QStringList fileChanges;
    QString parents;  // of the contents afterwards, as kFileParents
    QString stored;   // {n}: the new ID of exchange row n; null or {null}: NULL; {problem}: ProblemHierarchy instead
    int skipped;      // trees reported as unusable
    int doctype = 0;  // trees refused for declaring a document type
  } rows[] = {
      // Every ID translated, nothing else touched; an element that is no content leaves the tree unused.
      {{content + SqlText(rewritten.arg(31).arg(32).arg(33).arg(34))}, kFileParents, rewritten.arg("{31}", "{32}", "{33}", "{34}"), 1},
      {{content + SqlText(demo.arg(34).arg(31).arg(32).arg(33))}, "31:34/1,32:31/2,33:0/0,34:0/0", demo.arg("{34}", "{31}", "{32}", "{33}"), 0},
      // A partial tree places what it names; the rest follow the file inside the course.
      {{content + "'<ROOT><CONTENT ID=\"34\"><CONTENT ID=\"31\"/></CONTENT></ROOT>'"}, "31:34/1,32:31/2,33:32/3,34:0/0",
       "<ROOT><CONTENT ID=\"{34}\"><CONTENT ID=\"{31}\"/></CONTENT></ROOT>", 0},
      // IDs the file lacks and contents named twice: the tree is unused and stored without them.
      {{content + "'<ROOT><CONTENT ID=\"99\"><CONTENT ID=\"31\"/></CONTENT><CONTENT ID=\"x\"/></ROOT>'"}, kFileParents,
       "<ROOT><CONTENT ID=\"{31}\"/></ROOT>", 1},
      {{content + "'<ROOT><CONTENT ID=\"31\"><CONTENT ID=\"31\"/></CONTENT></ROOT>'"}, kFileParents,
       "<ROOT><CONTENT ID=\"{31}\"></CONTENT></ROOT>", 1},
      {{content + "'<ROOT><CONTENT ID=\"31\"><CONTENT ID=\"32\">t</CONTENT><CONTENT ID=\"31\">u</CONTENT></CONTENT></ROOT>'"},
       kFileParents, "<ROOT><CONTENT ID=\"{31}\"><CONTENT ID=\"{32}\">t</CONTENT>u</CONTENT></ROOT>", 1},
      // Trees that do not read are not stored; parents outside the file, the content itself or a loop go to the top.
      {{content + "'<ROOT><CONTENT'"}, kFileParents, QString(), 1},
      {{content + "''"}, kFileParents, "", 1},
      {{content + "'<ROOT><SECTION ID=\"31\"/></ROOT>'"}, kFileParents, "<ROOT><SECTION ID=\"31\"/></ROOT>", 1},
      {{content + "NULL", "update Content set PARENTCONTENTID=500 where ContentID=31",
        "update Content set PARENTCONTENTID=32 where ContentID=32", "update Content set PARENTCONTENTID=34 where ContentID=33",
        "update Content set PARENTCONTENTID=33 where ContentID=34"},
       "31:0/0,32:0/0,33:0/0,34:33/1", QString(), 1},
      // A document type is refused as such, whatever it declares; nothing it names is read or fetched.
      {{content + "'<!DOCTYPE ROOT [<!ENTITY c \"<CONTENT ID=''31''/>\">]><ROOT>&c;</ROOT>'"}, kFileParents, QString(), 0, 1},
      {{content + "'<!DOCTYPE ROOT SYSTEM \"http://127.0.0.1:9/tree.dtd\"><ROOT><CONTENT ID=\"34\"/></ROOT>'"}, kFileParents,
       QString(), 0, 1},
      {{content + "'<?xml version=\"1.0\"?><!DOCTYPE ROOT [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><ROOT>&x;</ROOT>'"},
       kFileParents, QString(), 0, 1},
      {{problem + "'<!DOCTYPE GROUP [<!ENTITY p \"<PROBLEM ID=''51''/>\">]><GROUP>&p;</GROUP>'"}, kFileParents,
       "{problem}{null}", 0, 1},
      {{content + SqlText(Nested("<CONTENT ID=\"31\">", "</CONTENT>", 100000))}, kFileParents, QString(), 1},
      // Problem trees: kept as written but for the IDs, reported when they do not read.
      {{problem + SqlText(group.arg(51).arg(999))}, kFileParents, "{problem}" + group.arg("{51}").arg(999), 0},
      {{problem + "'<GROUP><PROBLEM'"}, kFileParents, "{problem}<GROUP><PROBLEM", 1},
      {{problem + SqlText(Nested("<P>", "</P>", 100000))}, kFileParents, "{problem}" + Nested("<P>", "</P>", 100000), 1},
  };
  int round = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.fileChanges.first().left(120).toStdString());
    const QString name = QStringLiteral("课程%1").arg(++round);
    ScriptDemoMapping();
    ASSERT_TRUE(ImportCourse(DemoFile(name + ".mdb", row.fileChanges, name)));
    EXPECT_EQ(progress.back().first, 100);
    const QString course = Scalar("select CourseID from Course where Name='" + name + "'").toString();
    QString stored = row.stored;
    for (int n = 31; n <= 34; ++n)
      stored.replace(QStringLiteral("{%1}").arg(n), Scalar(QStringLiteral("select ContentID from Content where CourseID=%1 and "
                                                                          "Description='c%2'").arg(course).arg(n - 30)).toString());
    stored.replace("{51}", Scalar("select max(ProblemID) from Problem where Body='b51'").toString());
    // Parents by exchange ID, or the stored ID when it is no content of this course.
    EXPECT_EQ(Scalar("select group_concat(r) from (select '3' || substr(c.Description, 2) || ':' || coalesce('3' || "
                     "substr(p.Description, 2), cast(c.PARENTCONTENTID as varchar(20))) || '/' || c.LEVEL as r from Content c left join Content p "
                     "on p.ContentID=c.PARENTCONTENTID and p.CourseID=c.CourseID where c.CourseID=" + course +
                     " order by c.ContentID) t").toString().toStdString(), row.parents.toStdString());
    const bool problemTree = stored.startsWith("{problem}");
    const QVariant tree = Scalar(problemTree ? "select ProblemHierarchy from ProblemGroup where ProblemGroupID="
                                               "(select max(ProblemGroupID) from ProblemGroup)"
                                             : "select ContentHierarchy from Course where CourseID=" + course);
    stored.remove("{problem}");
    EXPECT_EQ(tree.isNull(), row.stored.isNull() || stored == "{null}");
    EXPECT_EQ(tree.toString().toStdString(), stored.remove("{null}").toStdString());
    const QString column = problemTree ? "ProblemHierarchy" : "ContentHierarchy";
    EXPECT_EQ(import.SkippedRows().value(column), row.skipped);
    EXPECT_EQ(import.UnusedTrees().value(column), row.doctype);
    EXPECT_EQ(import.SkippedSummary().contains("文件中的目录结构含有文档类型定义，未使用：" + column), row.doctype > 0)
        << import.SkippedSummary().toStdString();
  }
}

// Contents a tree does not name yet go inside their parent's element (an
// empty one is opened for them), inside each other, or at the end of the
// root; a chain of parents that loops still puts each in once; the rest of
// the text stays as written.
TEST(ContentTreeText, ContentsAddedToATreeGoUnderTheirParent) {
  const struct {
    const char* tree;
    std::vector<std::pair<qint32, qint32>> contents;  // ID, parent
    const char* expected;                             // null: not a tree
  } rows[] = {
      {"<R><CONTENT ID=\"1\"/></R>", {{1, 0}, {2, 1}}, "<R><CONTENT ID=\"1\"><CONTENT ID=\"2\"/></CONTENT></R>"},
      {"<R><CONTENT ID='1'></CONTENT> </R>", {{2, 0}, {3, 2}, {4, 9}},
       "<R><CONTENT ID='1'></CONTENT> <CONTENT ID=\"2\"><CONTENT ID=\"3\"/></CONTENT><CONTENT ID=\"4\"/></R>"},
      {"<R/>", {{5, 6}, {6, 5}}, "<R><CONTENT ID=\"5\"><CONTENT ID=\"6\"/></CONTENT></R>"},
      {"<R><CONTENT ID=\"1\"/></R>", {{1, 0}}, "<R><CONTENT ID=\"1\"/></R>"},
      {"<R><CONTENT ID=\"1\">", {{2, 1}}, nullptr},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.tree);
    const std::optional<QString> merged = AddContents(QString::fromUtf8(row.tree), row.contents);
    ASSERT_EQ(merged.has_value(), row.expected != nullptr);
    if (merged) {
      EXPECT_EQ(merged->toStdString(), row.expected);
    }
  }
}
