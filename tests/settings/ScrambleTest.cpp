#include <gtest/gtest.h>

#include "data/ConnectionSettings.h"
#include "data/Scramble.h"

namespace {
const QString kKey = ConnectionSettings::Key;

TEST(Scramble, ValuesStoredByTheSystemsOtherProgramsUnscramble) {
  // Those programs change the ANSI (GBK) code of a character, not its Unicode one.
  const struct {
    const char* stored;
    const char* plain;
  } rows[] = {{"qaBKBBOBG", "sa"}, {"恿户BH@GKEA", "用户"}, {"涨三惯冷园GKEAGSC", "张三管理员"}};
  for (const auto& row : rows) {
    EXPECT_EQ(UnscrambleText(QString::fromUtf8(row.stored), kKey), QString::fromUtf8(row.plain)) << row.plain;
    EXPECT_EQ(UnscrambleText(ScrambleText(QString::fromUtf8(row.plain), kKey), kKey), QString::fromUtf8(row.plain));
  }
}

TEST(Scramble, RoundTripAddsSevenCharacters) {
  for (const QString& plain : {QString(), QString("sa"), QString("P@ss w0rd'\"!"), QString(60, 'h'),
                               QString("口令密码")}) {
    const QString scrambled = ScrambleText(plain, kKey);
    EXPECT_EQ(scrambled.size(), plain.size() + 7) << plain.toStdString();
    EXPECT_EQ(UnscrambleText(scrambled, kKey), plain) << plain.toStdString();
  }
}

TEST(Scramble, EmptyTextScramblesToSevenFillerCharacters) {
  const QString scrambled = ScrambleText(QString(), kKey);
  ASSERT_EQ(scrambled.size(), 7);
  EXPECT_EQ(UnscrambleText(scrambled, kKey), "");
}

TEST(Scramble, AsciiStaysAsciiAndTheTextIsHidden) {
  const QString plain = "administrator";
  const QString scrambled = ScrambleText(plain, kKey);
  EXPECT_FALSE(scrambled.contains(plain));
  for (QChar c : scrambled) EXPECT_LT(c.unicode(), 128);
}

TEST(Scramble, ScramblingTwiceGivesDifferentTextsThatBothUnscramble) {
  // The filler is random; both texts hold the same plain value.
  QString a = ScrambleText("sa", kKey);
  QString b;
  for (int i = 0; i < 20 && (b.isEmpty() || b == a); ++i) b = ScrambleText("sa", kKey);
  EXPECT_NE(a, b);
  EXPECT_EQ(UnscrambleText(a, kKey), UnscrambleText(b, kKey));
}

TEST(Scramble, TextNoLongerThanTheKeyUnscramblesToEmpty) {
  EXPECT_EQ(UnscrambleText("", kKey), "");
  EXPECT_EQ(UnscrambleText("ABCDEFG", kKey), "");
  EXPECT_EQ(UnscrambleText("ABCDEFGH", kKey).size(), 1);
}

}  // namespace
