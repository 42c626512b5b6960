#include "import/CGuid.h"

#include <QUuid>

QString CGuid::ByteToHex(unsigned char b) {
  return QString::number(b, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

QString CGuid::FromBytes(const unsigned char (&bytes)[16]) {
  QString text;
  text.reserve(36);
  for (int i = 0; i < 16; ++i) {
    text += ByteToHex(bytes[i]);
    if (i == 3 || i == 5 || i == 7 || i == 9) text += QLatin1Char('-');
  }
  return text;
}

QString CGuid::CreateGUID() const {
  const QUuid id = QUuid::createUuid();
  // The GUID structure as it lies in memory on the original platform.
  unsigned char bytes[16];
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(id.data1 >> (8 * i));
  for (int i = 0; i < 2; ++i) bytes[4 + i] = static_cast<unsigned char>(id.data2 >> (8 * i));
  for (int i = 0; i < 2; ++i) bytes[6 + i] = static_cast<unsigned char>(id.data3 >> (8 * i));
  for (int i = 0; i < 8; ++i) bytes[8 + i] = id.data4[i];
  return FromBytes(bytes);
}
