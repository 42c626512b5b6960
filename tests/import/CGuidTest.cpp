#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>

#include "import/CGuid.h"

TEST(CGuid, BytesAreWrittenInMemoryOrderWithLeadingZeros) {
  const unsigned char bytes[16] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                   0x00, 0x0F, 0xF0, 0xFF, 0x10, 0x02, 0x30, 0x04};
  EXPECT_EQ(CGuid::FromBytes(bytes), QStringLiteral("01234567-89AB-CDEF-000F-F0FF10023004"));
}

TEST(CGuid, CodesAreUpperCaseGroupsAndUnique) {
  const CGuid guid;
  const QRegularExpression layout(
      QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"));
  QSet<QString> seen;
  for (int i = 0; i < 200; ++i) {
    const QString code = guid.CreateGUID();
    EXPECT_TRUE(layout.match(code).hasMatch()) << code.toStdString();
    seen.insert(code);
  }
  EXPECT_EQ(seen.size(), 200);
}

TEST(CGuid, VersionNibbleSitsWhereWindowsStoresTheThirdField) {
  // A random GUID has version 4 in the high nibble of its third field; stored
  // little-endian, that nibble appears in the second byte of the third group.
  const QString code = CGuid().CreateGUID();
  EXPECT_EQ(code.mid(16, 1), QStringLiteral("4")) << code.toStdString();
}
