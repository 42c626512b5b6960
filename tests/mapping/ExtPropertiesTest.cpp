#include <gtest/gtest.h>

#include "mapping/CExtPropertiesMapItem.h"

namespace {

QString doc(const QString& elements) { return "<EXT>" + elements + "</EXT>"; }
QString full(const char* group, const char* serial, const char* random, const char* more = "") {
  return doc(QString("<GROUP>%1</GROUP><SERIAL>%2</SERIAL><RANDOM>%3</RANDOM><SEL>2</SEL><BASICTYPE>4</BASICTYPE>"
                     "<NUMCHOICES>4</NUMCHOICES><DEFINECHOICES>ABCD</DEFINECHOICES>%4")
                 .arg(group, serial, random, more));
}

// Two problem types are the same when what shapes a problem agrees; an
// unreadable description matches nothing, not even itself.
TEST(ExtProperties, ProblemTypesCompare) {
  const QString deep = "<HELP>" + QString("<B>").repeated(100000) + QString("</B>").repeated(100000) + "</HELP>";
  const struct {
    QString a, b;
    bool same;
  } rows[] = {
      {full("false", "false", "false"), full("false", "false", "false", "<LOWDEDUCT>9</LOWDEDUCT><UPDEDUCT>1</UPDEDUCT><HELP>x</HELP>"), true},
      {full("false", "true", "false"), full("false", "false", "true"), true},  // drawing counts for groups only
      {full("true", "true", "false"), full("true", "false", "true"), false},
      {full("true", "false", "false"), full("false", "false", "false"), false},
      {full("TRUE", "1", ""), full("true", "True", "false"), true},
      {full("false", "false", "false"), full("0", "FALSE", "false", "<SHAREGROUP/>"), true},
      {full("false", "false", "false"), full("false", "false", "false", "<DEFINECHOICES>abcd</DEFINECHOICES>"), false},
      {doc("<BASICTYPE>4</BASICTYPE>"), doc("<BASICTYPE>5</BASICTYPE>"), false},
      {doc(""), doc("<SEL>3</SEL>"), false}, {doc(""), doc("<NUMCHOICES>5</NUMCHOICES>"), false},
      {doc(""), doc("<NUMSEL>2</NUMSEL>"), false}, {doc(""), doc("<SHAREGROUP>true</SHAREGROUP>"), false},
      {doc("<DEFINECHOICES/><NUMCHOICES></NUMCHOICES>"), doc("<DEFINECHOICES>0</DEFINECHOICES><NUMCHOICES>0</NUMCHOICES>"), true},
      {doc("<!-- by hand --><BasicType>4</BasicType><COLOUR>red</COLOUR>stray<numchoices>5</numchoices>"),
       doc("<BASICTYPE>4</BASICTYPE><NUMCHOICES>5</NUMCHOICES>"), true},
      {"<?xml version=\"1.0\" encoding=\"GB2312\"?>\n<EXT>\n  <BASICTYPE TYPE=\"INTEGER\">7</BASICTYPE>\n</EXT>\n",
       doc("<BASICTYPE>7</BASICTYPE>"), true},
      {"", "", false}, {"not xml", "not xml", false}, {doc("<GROUP>true"), doc("<GROUP>true"), false},
      {doc("<BASICTYPE>four</BASICTYPE>"), doc("<BASICTYPE>four</BASICTYPE>"), false},
      {doc("<BASICTYPE>70000</BASICTYPE>"), doc("<BASICTYPE>70000</BASICTYPE>"), false},
      {doc("<GROUP>maybe</GROUP>"), doc(""), false},
      {doc(deep), doc(deep), false},  // nested past the limit: refused, not a crash
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
