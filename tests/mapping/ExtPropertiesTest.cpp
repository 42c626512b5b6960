#include <gtest/gtest.h>

#include "mapping/CExtPropertiesMapItem.h"

namespace {

// Two problem types are the same when what shapes a problem agrees; how a
// group is drawn counts for groups only. An unreadable description matches
// nothing, not even itself.
TEST(ExtProperties, ProblemTypesCompare) {
  const QString common = "<SEL>2</SEL><BASICTYPE>4</BASICTYPE><NUMCHOICES>4</NUMCHOICES><DEFINECHOICES>AB</DEFINECHOICES>";
  const auto doc = [&](const QString& group, const QString& serial, const QString& random, const QString& more = {}) {
    return QString("<EXT><GROUP>%1</GROUP><SERIAL>%2</SERIAL><RANDOM>%3</RANDOM>%4</EXT>").arg(group, serial, random, common + more);
  };
  const QString deep = QString("<B>").repeated(100000) + QString("</B>").repeated(100000);
  const struct { QString a, b; bool same; } rows[] = {
      {doc("0", "0", "0"), doc("0", "0", "0", "<LOWDEDUCT>9</LOWDEDUCT><UPDEDUCT>1</UPDEDUCT><HELP>x</HELP>"), true},
      {doc("0", "1", "0"), doc("0", "0", "1"), true},
      {doc("1", "1", "0"), doc("1", "0", "1"), false},
      {doc("1", "0", "0"), doc("0", "0", "0"), false},
      {doc("TRUE", "1", ""), doc("true", "True", "false", "<SHAREGROUP/>"), true},
      {doc("0", "0", "0"), doc("FALSE", "0", "0", "<DEFINECHOICES>ab</DEFINECHOICES>"), false},
      {doc("0", "0", "0"), doc("0", "0", "0", "<BASICTYPE>5</BASICTYPE>"), false},
      {doc("0", "0", "0"), doc("0", "0", "0", "<sel>3</sel>"), false},  // names without case
      {doc("0", "0", "0"), doc("0", "0", "0", "<NUMCHOICES>5</NUMCHOICES>"), false},
      {doc("0", "0", "0"), doc("0", "0", "0", "<NUMSEL>2</NUMSEL>"), false},
      {doc("0", "0", "0"), doc("0", "0", "0", "<SHAREGROUP>true</SHAREGROUP>"), false},
      {"<EXT><DEFINECHOICES/></EXT>", "<EXT><DEFINECHOICES>0</DEFINECHOICES></EXT>", true},  // empty reads 0
      {"<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<EXT>\n <!-- x --><BASICTYPE TYPE=\"INTEGER\">7</BASICTYPE>stray<C>1</C>\n</EXT>",
       "<EXT><BASICTYPE>7</BASICTYPE></EXT>", true},
      {"", "", false},
      {"<EXT><GROUP>true</EXT>", "<EXT><GROUP>true</EXT>", false},
      {"<EXT><BASICTYPE>four</BASICTYPE></EXT>", "<EXT><BASICTYPE>four</BASICTYPE></EXT>", false},
      {"<EXT><BASICTYPE>70000</BASICTYPE></EXT>", "<EXT><BASICTYPE>70000</BASICTYPE></EXT>", false},
      {"<EXT><GROUP>maybe</GROUP></EXT>", "<EXT></EXT>", false},
      {"<EXT><HELP>" + deep + "</HELP></EXT>", "<EXT><HELP>" + deep + "</HELP></EXT>", false},  // refused, no crash
  };
  for (const auto& row : rows) {
    CExtPropertiesMapItem a, b;
    a.DeSerialize(row.a);
    b.DeSerialize(row.b);
    EXPECT_EQ(std::pair(a.Compare(b), b.Compare(a)), std::pair(row.same, row.same))
        << row.a.left(200).toStdString() << " / " << row.b.left(200).toStdString();
  }
}

}  // namespace
