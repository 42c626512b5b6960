#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "import/CGuid.h"

// Problem codes: the bytes in memory order with leading zeros, upper-case
// groups, never the same code twice.
TEST(CGuid, CodesAreUpperCaseGroupsInMemoryOrderAndUnique) {
  const unsigned char bytes[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                   0x00, 0x0F, 0xF0, 0xFF, 0x10, 0x02, 0x30, 0x04};
  EXPECT_EQ(CGuid::FromBytes(bytes), QStringLiteral("01234567-89AB-CDEF-000F-F0FF10023004"));
  const QRegularExpression layout(
      QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
  const CGuid guid;
  QSet<QString> seen;
  for (int i = 0; i < 200; ++i) {
    const QString code = guid.CreateGUID();
    EXPECT_TRUE(layout.match(code).hasMatch()) << code.toStdString();
    seen.insert(code);
  }
  EXPECT_EQ(seen.size(), 200);
}
