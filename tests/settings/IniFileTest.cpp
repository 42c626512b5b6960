#include <gtest/gtest.h>

#include <QFileInfo>
#include <QSet>

#include "data/ConnectionSettings.h"
#include "data/IniFile.h"
#include "data/Scramble.h"
#include "settings/SettingsFixture.h"

namespace {

TEST(IniFile, Reading) {
  const struct {
    QByteArray file;  // empty: no file
    const char* section;
    const char* key;
    QString expected;
  } rows[] = {
      {"", "ODBC", "Data Source", ""},
      {"[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n", "ODBC", "Data Source", ""},
      {"[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n", "Missing", "Provider", ""},
      {"[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n", "ODBC", "Provider", "x"},
      {"; comment\n[odbc]\n  data source =   db-host  \n", "ODBC", "Data Source", "db-host"},
      {"[ODBC]\r\nData Source=\xb7\xfe\xce\xf1\xc6\xf7\r\n", "ODBC", "Data Source", "服务器"},  // GBK
      {"\xef\xbb\xbf[ODBC]\r\nData Source=db01\r\n", "ODBC", "Data Source", "db01"},
      {"[ODBC]\nConnectionString=" + QByteArray(200, 'c') + "\n", "ODBC", "ConnectionString", QString(127, 'c')},
  };
  for (const auto& row : rows) {
    SettingsFolder folder;
    if (!row.file.isEmpty()) folder.writeFile(folder.ini(), row.file);
    EXPECT_EQ(ReadIniString(row.section, row.key, folder.ini()), row.expected) << row.file.constData();
  }
}

TEST(IniFile, WritingReplacesOneKeyKeepsTheRestAndIsPrivate) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(),
                   "\xef\xbb\xbf; kept\r\n[ODBC]\r\nProvider={SQL Server}\r\nData Source=old\r\n\r\n[Other]\r\nx=1\r\n");
  ASSERT_TRUE(WriteIniString("odbc", "data source", "服务器一", folder.ini()));
  ASSERT_TRUE(WriteIniString("ODBC", "Initial Catalog", "yarrow", folder.ini()));
  ASSERT_TRUE(WriteIniString("ODBC", "PassWord", " spaced " + QString(200, 'x'), folder.ini()));
  ASSERT_TRUE(WriteIniString("Third", "k", "v", folder.ini()));
  const QByteArray file = folder.readFile(folder.ini());
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "服务器一");
  EXPECT_TRUE(file.contains(QString("Data Source=服务器一").toUtf8())) << file.constData();
  EXPECT_EQ(ReadIniString("ODBC", "Provider", folder.ini()), "{SQL Server}");
  EXPECT_EQ(ReadIniString("Other", "x", folder.ini()), "1");
  EXPECT_EQ(ReadIniString("Third", "k", folder.ini()), "v");
  EXPECT_TRUE(file.contains("; kept\r\n[ODBC]\r\n"));
  EXPECT_EQ(file.count("[ODBC]"), 1);
  EXPECT_LT(file.indexOf("Initial Catalog=yarrow"), file.indexOf("[Other]"));  // in its own section
  EXPECT_TRUE(file.contains("PassWord= spaced " + QByteArray(120, 'x') + "\r\n"));  // cut at 128
  EXPECT_FALSE(file.contains(QByteArray(121, 'x')));
  const auto perms = QFileInfo(folder.ini()).permissions();
  EXPECT_FALSE(perms & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));
  EXPECT_FALSE(WriteIniString("ODBC", "Provider", "x", folder.dir.path() + "/no/such/folder/odbc.ini"));
}

const QString kKey = ConnectionSettings::Key;

TEST(Scramble, ValuesStoredByTheSystemsOtherProgramsUnscramble) {
  // Those programs change the ANSI (GBK) code of a character, not its Unicode one.
  const struct {
    const char* stored;
    const char* plain;
  } rows[] = {{"qaBKBBOBG", "sa"}, {"恿户BH@GKEA", "用户"}, {"涨三惯冷园GKEAGSC", "张三管理员"},
              {"ABCDEFG", ""}, {"", ""}};  // no longer than the key: nothing
  for (const auto& row : rows)
    EXPECT_EQ(UnscrambleText(QString::fromUtf8(row.stored), kKey), QString::fromUtf8(row.plain)) << row.stored;
  EXPECT_EQ(UnscrambleText("ABCDEFGH", kKey).size(), 1);
}

TEST(Scramble, RoundTripsHideTheTextAndKeepAsciiAscii) {
  for (const QString& plain : {QString(), QString("sa"), QString("P@ss w0rd'\"!"), QString(60, 'h'),
                               QString("口令密码"), QString("张三管理员")}) {
    const QString scrambled = ScrambleText(plain, kKey);
    EXPECT_EQ(scrambled.size(), plain.size() + 7) << plain.toStdString();
    EXPECT_EQ(UnscrambleText(scrambled, kKey), plain) << plain.toStdString();
    if (plain.size() > 2) {
      EXPECT_FALSE(scrambled.contains(plain));
    }
    if (plain.toUtf8().size() == plain.size()) {  // ASCII stays ASCII
      for (QChar c : scrambled) EXPECT_LT(c.unicode(), 128);
    }
  }
  // The filler is random: scrambling twice gives different texts.
  QSet<QString> texts;
  for (int i = 0; i < 5; ++i) texts.insert(ScrambleText("sa", kKey));
  EXPECT_GT(texts.size(), 1);
}

}  // namespace
