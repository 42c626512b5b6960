#include <gtest/gtest.h>

#include <QFileInfo>

#include "data/IniFile.h"
#include "settings/SettingsFixture.h"

namespace {

TEST(IniFile, MissingFileSectionOrKeyReadsEmpty) {
  SettingsFolder folder;
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "");
  folder.writeFile(folder.ini(), "[Other]\r\nData Source=elsewhere\r\n[ODBC]\r\nProvider=x\r\n");
  EXPECT_EQ(ReadIniString("Missing", "Provider", folder.ini()), "");
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "");
  EXPECT_EQ(ReadIniString("ODBC", "Provider", folder.ini()), "x");
}

TEST(IniFile, ValuesAreTrimmedAndNamesMatchWithoutCase) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(), "; stored settings\n[odbc]\n  data source =   db-host  \nInitial Catalog=yarrow\n");
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "db-host");
  EXPECT_EQ(ReadIniString("ODBC", "INITIAL CATALOG", folder.ini()), "yarrow");
}

TEST(IniFile, ReadingGivesAtMost127Characters) {
  SettingsFolder folder;
  const QString longValue = QString(120, 'a') + QString(80, 'b');
  ASSERT_TRUE(WriteIniString("ODBC", "ConnectionString", longValue.left(128), folder.ini()));
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()), longValue.left(127));
  folder.writeFile(folder.ini(), "[ODBC]\nConnectionString=" + longValue.toUtf8() + "\n");
  EXPECT_EQ(ReadIniString("ODBC", "ConnectionString", folder.ini()).size(), 127);
}

TEST(IniFile, WritingCutsAt128CharactersAndKeepsTheValueAsGiven) {
  SettingsFolder folder;
  ASSERT_TRUE(WriteIniString("ODBC", "PassWord", " spaced " + QString(200, 'x'), folder.ini()));
  const QByteArray file = folder.readFile(folder.ini());
  EXPECT_TRUE(file.contains("PassWord= spaced " + QByteArray(120, 'x') + "\r\n")) << file.constData();
  EXPECT_FALSE(file.contains(QByteArray(121, 'x')));
}

TEST(IniFile, WritingReplacesOneKeyAndKeepsEverythingElse) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(),
                   "; kept\r\n[ODBC]\r\nProvider={SQL Server}\r\nData Source=old\r\n\r\n[Other]\r\nx=1\r\n");
  ASSERT_TRUE(WriteIniString("odbc", "data source", "new", folder.ini()));
  ASSERT_TRUE(WriteIniString("ODBC", "Initial Catalog", "yarrow", folder.ini()));
  ASSERT_TRUE(WriteIniString("Third", "k", "v", folder.ini()));
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "new");
  EXPECT_EQ(ReadIniString("ODBC", "Provider", folder.ini()), "{SQL Server}");
  EXPECT_EQ(ReadIniString("ODBC", "Initial Catalog", folder.ini()), "yarrow");
  EXPECT_EQ(ReadIniString("Other", "x", folder.ini()), "1");
  EXPECT_EQ(ReadIniString("Third", "k", folder.ini()), "v");
  const QByteArray file = folder.readFile(folder.ini());
  EXPECT_TRUE(file.startsWith("; kept\r\n[ODBC]\r\n"));
  // The new key joins its own section, before the blank line and the next section.
  EXPECT_LT(file.indexOf("Initial Catalog=yarrow"), file.indexOf("[Other]"));
  EXPECT_EQ(file.count("Data Source"), 1);
  EXPECT_FALSE(file.contains("data source"));
}

TEST(IniFile, KeysWithBlanksAndChineseTextAreNotEncoded) {
  SettingsFolder folder;
  ASSERT_TRUE(WriteIniString("ODBC", "Data Source", "服务器一", folder.ini()));
  EXPECT_TRUE(folder.readFile(folder.ini()).contains(QString("Data Source=服务器一").toUtf8()));
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "服务器一");
}

TEST(IniFile, AFileWrittenInGbkReadsBack) {
  SettingsFolder folder;
  // "服务器" in GBK.
  folder.writeFile(folder.ini(), "[ODBC]\r\nData Source=\xb7\xfe\xce\xf1\xc6\xf7\r\n");
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "服务器");
}

TEST(IniFile, TheWrittenFileIsReadableByItsOwnerOnly) {
  SettingsFolder folder;
  ASSERT_TRUE(WriteIniString("ODBC", "PassWord", "secret", folder.ini()));
  const auto perms = QFileInfo(folder.ini()).permissions();
  EXPECT_TRUE(perms & QFile::ReadOwner);
  EXPECT_FALSE(perms & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));
}

TEST(IniFile, AnUnwritableFolderReportsFailure) {
  SettingsFolder folder;
  EXPECT_FALSE(WriteIniString("ODBC", "Provider", "x", folder.dir.path() + "/no/such/folder/odbc.ini"));
}

}  // namespace

namespace {
TEST(IniFile, AByteOrderMarkFromAnEditorIsIgnored) {
  SettingsFolder folder;
  folder.writeFile(folder.ini(), "\xef\xbb\xbf[ODBC]\r\nData Source=db01\r\n");
  EXPECT_EQ(ReadIniString("ODBC", "Data Source", folder.ini()), "db01");
  ASSERT_TRUE(WriteIniString("ODBC", "Initial Catalog", "yarrow", folder.ini()));
  EXPECT_EQ(folder.readFile(folder.ini()).count("[ODBC]"), 1);
}
}  // namespace
