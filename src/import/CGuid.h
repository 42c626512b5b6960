#pragma once
#include <QString>

// Gives a problem without a code a new unique code.
class CGuid {
 public:
  // 36 upper-case hex digits in groups of 8-4-4-4-12, no braces. The 16 bytes
  // are written in their order in memory as Windows keeps a GUID: the first
  // three fields little-endian, so the first three groups do not read like
  // the usual registry text of the same GUID.
  QString CreateGUID() const;

  // The GUID text of 16 bytes in memory order (exposed so the layout can be checked).
  static QString FromBytes(const unsigned char (&bytes)[16]);

 private:
  static QString ByteToHex(unsigned char b);
};
