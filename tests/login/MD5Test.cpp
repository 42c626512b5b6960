#include <gtest/gtest.h>

#include <QCryptographicHash>

#include "core/MD5bas.h"

namespace {

TEST(MD5, Rfc1321TestSuite) {
  EXPECT_EQ(MD5(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(MD5("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(MD5("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(MD5("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(MD5("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(MD5("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(MD5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5, ChineseTextFollowsTheDoubleByteRule) {
  EXPECT_EQ(MD5("管理员:密码"), "5c583e575ab1b118f3f7a1fed238eaaf");
  // Not the digest of the GBK bytes: the stored digests were never made that way.
  EXPECT_NE(MD5("管理员:密码"), QString::fromLatin1(QCryptographicHash::hash(
                                     QByteArray("\xb9\xdc\xc0\xed\xd4\xb1:\xc3\xdc\xc2\xeb"), QCryptographicHash::Md5)
                                     .toHex()));
}

TEST(MD5, AsciiTextAtEveryLengthAroundABlockMatchesStandardMd5) {
  // 55, 56 and 64 characters are where the padding changes shape.
  for (int n : {0, 1, 3, 4, 55, 56, 57, 63, 64, 65, 119, 120, 200}) {
    QString text;
    for (int i = 0; i < n; ++i) text += QChar('!' + (i * 7) % 90);
    const QByteArray standard = QCryptographicHash::hash(text.toLatin1(), QCryptographicHash::Md5).toHex();
    EXPECT_EQ(MD5(text), QString::fromLatin1(standard)) << n;
  }
}

TEST(MD5, OtherDigitCountsGiveTheMiddleSixteenDigits) {
  const QString full = MD5("admin:admin", 32);
  EXPECT_EQ(full.size(), 32);
  EXPECT_EQ(MD5("admin:admin", 16), full.mid(8, 16));
  EXPECT_EQ(MD5("admin:admin", 0), full.mid(8, 16));
}

TEST(MD5, BlanksArePartOfTheText) {
  EXPECT_NE(MD5(" admin:admin"), MD5("admin:admin"));
  EXPECT_EQ(MD5(" admin:admin "), QString::fromLatin1(QCryptographicHash::hash(" admin:admin ", QCryptographicHash::Md5).toHex()));
}

}  // namespace
