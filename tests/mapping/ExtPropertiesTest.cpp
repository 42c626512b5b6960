#include <gtest/gtest.h>

#include "mapping/CExtPropertiesMapItem.h"

namespace {

CExtPropertiesMapItem read(const QString& xml) {
  CExtPropertiesMapItem item;
  EXPECT_TRUE(item.DeSerialize(xml)) << xml.toStdString();
  return item;
}

// The empty template the examination system writes, with values filled in.
QString document(const QString& group, const QString& serial, const QString& random, const QString& basicType,
                 const QString& defineChoices = QStringLiteral("ABCD")) {
  return QStringLiteral(
             "<EXT><GROUP TYPE=\"BOOL\">%1</GROUP><SERIAL TYPE=\"BOOL\">%2</SERIAL>"
             "<RANDOM TYPE=\"BOOL\">%3</RANDOM><SHAREGROUP TYPE=\"BOOL\">false</SHAREGROUP>"
             "<SEL TYPE=\"INTEGER\">2</SEL><BASICTYPE TYPE=\"INTEGER\">%4</BASICTYPE>"
             "<NUMCHOICES TYPE=\"INTEGER\">4</NUMCHOICES><NUMSEL TYPE=\"INTEGER\">0</NUMSEL>"
             "<DEFINECHOICES TYPE=\"STRING\">%5</DEFINECHOICES><LOWDEDUCT TYPE=\"INTEGER\">50</LOWDEDUCT>"
             "<UPDEDUCT TYPE=\"INTEGER\">25</UPDEDUCT><HELP TYPE=\"STRING\">选出正确答案</HELP></EXT>")
      .arg(group, serial, random, basicType, defineChoices);
}

TEST(ExtProperties, ReadsEveryElementIntoItsField) {
  const CExtPropertiesMapItem item = read(document("true", "false", "1", "5"));
  EXPECT_TRUE(item.Group);
  EXPECT_FALSE(item.Serial);
  EXPECT_TRUE(item.Random);
  EXPECT_FALSE(item.ShareGroup);
  EXPECT_EQ(item.Sel, 2);
  EXPECT_EQ(item.BasicType, 5);
  EXPECT_EQ(item.NumChoices, 4);
  EXPECT_EQ(item.NumSel, 0);
  EXPECT_EQ(item.DefineChoices, QStringLiteral("ABCD"));
  EXPECT_EQ(item.LOWDEDUCT, QStringLiteral("50"));
  EXPECT_EQ(item.UPDEDUCT, QStringLiteral("25"));
  EXPECT_EQ(item.Help, QStringLiteral("选出正确答案"));
}

TEST(ExtProperties, ReadsIndentedDocumentsWithAnEncodingDeclaration) {
  const CExtPropertiesMapItem item = read(QStringLiteral(
      "<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<EXT>\n  <GROUP TYPE=\"BOOL\">true</GROUP>\n"
      "  <BASICTYPE TYPE=\"INTEGER\">7</BASICTYPE>\n  <HELP TYPE=\"STRING\">判断正误并说明理由。</HELP>\n</EXT>\n"));
  EXPECT_TRUE(item.Group);
  EXPECT_EQ(item.BasicType, 7);
  EXPECT_EQ(item.Help, QStringLiteral("判断正误并说明理由。"));
}

TEST(ExtProperties, BooleansAcceptTheirSpellingsAndEmptyMeansOff) {
  for (const char* on : {"true", "1", "TRUE", "True"})
    EXPECT_TRUE(read(QStringLiteral("<EXT><GROUP>%1</GROUP></EXT>").arg(on)).Group) << on;
  for (const char* off : {"false", "0", "", "FALSE"})
    EXPECT_FALSE(read(QStringLiteral("<EXT><GROUP TYPE=\"BOOL\">%1</GROUP></EXT>").arg(off)).Group) << off;
  EXPECT_FALSE(read(QStringLiteral("<EXT><SHAREGROUP/></EXT>")).ShareGroup);
}

TEST(ExtProperties, EmptyElementsReadAsZeroAndMissingOnesKeepTheirValue) {
  const CExtPropertiesMapItem item =
      read(QStringLiteral("<EXT><NUMCHOICES></NUMCHOICES><DEFINECHOICES/><HELP></HELP></EXT>"));
  EXPECT_EQ(item.NumChoices, 0);
  EXPECT_EQ(item.DefineChoices, QStringLiteral("0"));
  EXPECT_EQ(item.Help, QStringLiteral("0"));
  EXPECT_TRUE(item.LOWDEDUCT.isEmpty());
  // An empty list of choices and the text "0" are the same.
  EXPECT_TRUE(item.Compare(read(QStringLiteral("<EXT><DEFINECHOICES>0</DEFINECHOICES></EXT>"))));
}

TEST(ExtProperties, ElementNamesAreMatchedWithoutCaseAndUnknownNodesAreSkipped) {
  CExtPropertiesMapItem item;
  EXPECT_TRUE(item.DeSerialize(QStringLiteral(
      "<EXT><!-- written by hand --><BasicType>4</BasicType><COLOUR>red</COLOUR>stray<numchoices>5</numchoices></EXT>")));
  EXPECT_TRUE(item.IsReadable());
  EXPECT_EQ(item.BasicType, 4);
  EXPECT_EQ(item.NumChoices, 5);
}

TEST(ExtProperties, UnreadableDocumentsMatchNothing) {
  const CExtPropertiesMapItem plain;
  for (const QString& bad : {QString(), QStringLiteral(""), QStringLiteral("<EXT><GROUP>true</EXT>"),
                             QStringLiteral("not xml"), QStringLiteral("<EXT><BASICTYPE>four</BASICTYPE></EXT>"),
                             QStringLiteral("<EXT><GROUP>maybe</GROUP></EXT>"),
                             QStringLiteral("<EXT><BASICTYPE>70000</BASICTYPE></EXT>"),
                             // Nested past the depth limit: refused, not a crash.
                             QStringLiteral("<EXT><HELP>") + QStringLiteral("<B>").repeated(100000) +
                                 QStringLiteral("</B>").repeated(100000) + QStringLiteral("</HELP></EXT>")}) {
    CExtPropertiesMapItem item;
    EXPECT_FALSE(item.DeSerialize(bad)) << bad.toStdString();
    EXPECT_FALSE(item.Compare(plain)) << bad.toStdString();
    EXPECT_FALSE(plain.Compare(item)) << bad.toStdString();
    EXPECT_FALSE(item.Compare(item)) << bad.toStdString();
  }
}

TEST(ExtProperties, DeductionsAndGuideTakeNoPartInTheComparison) {
  const CExtPropertiesMapItem a = read(document("false", "false", "false", "5"));
  CExtPropertiesMapItem b = read(document("false", "false", "false", "5"));
  b.DeSerialize(QStringLiteral("<EXT><LOWDEDUCT>100</LOWDEDUCT><UPDEDUCT>0</UPDEDUCT><HELP>另一指南</HELP></EXT>"));
  EXPECT_TRUE(a.Compare(b));
  // A document without LOWDEDUCT against one with 50.
  const CExtPropertiesMapItem noDeduct = read(QStringLiteral("<EXT><BASICTYPE>5</BASICTYPE></EXT>"));
  const CExtPropertiesMapItem deduct = read(QStringLiteral("<EXT><BASICTYPE>5</BASICTYPE><LOWDEDUCT>50</LOWDEDUCT></EXT>"));
  EXPECT_TRUE(noDeduct.Compare(deduct));
}

TEST(ExtProperties, HowAGroupIsDrawnOnlyCountsForGroupedProblems) {
  EXPECT_TRUE(read(document("false", "true", "false", "4")).Compare(read(document("false", "false", "true", "4"))));
  EXPECT_FALSE(read(document("true", "true", "false", "4")).Compare(read(document("true", "false", "true", "4"))));
  EXPECT_FALSE(read(document("true", "false", "false", "4")).Compare(read(document("true", "false", "true", "4"))));
  EXPECT_FALSE(read(document("true", "false", "false", "4")).Compare(read(document("false", "false", "false", "4"))));
}

TEST(ExtProperties, EveryComparedFieldMatters) {
  const QString base = document("false", "false", "false", "4");
  EXPECT_FALSE(read(base).Compare(read(document("false", "false", "false", "5"))));
  EXPECT_FALSE(read(base).Compare(read(document("false", "false", "false", "4", "abcd"))));
  for (const char* change : {"<SEL>3</SEL>", "<NUMCHOICES>5</NUMCHOICES>", "<NUMSEL>2</NUMSEL>",
                             "<SHAREGROUP>true</SHAREGROUP>"}) {
    CExtPropertiesMapItem changed = read(base);
    changed.DeSerialize(QStringLiteral("<EXT>%1</EXT>").arg(change));
    EXPECT_FALSE(read(base).Compare(changed)) << change;
  }
}

}  // namespace
