#include "core/AnsiCode.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

int ansiCode(QChar c) {
  if (c.unicode() < 0x80) return c.unicode();
  QStringEncoder gbk("GBK");
  const QByteArray bytes = gbk.isValid() ? gbk.encode(QString(c)) : QByteArray();
  if (gbk.hasError() || bytes.isEmpty() || bytes.size() > 2) return '?';
  if (bytes.size() == 1) return static_cast<unsigned char>(bytes[0]);
  return (static_cast<unsigned char>(bytes[0]) << 8) | static_cast<unsigned char>(bytes[1]);
}

QChar fromAnsiCode(int code) {
  if (code >= 0 && code < 0x80) return QChar(code);
  QByteArray bytes;
  if (code > 0xFF) bytes += static_cast<char>((code >> 8) & 0xFF);
  bytes += static_cast<char>(code & 0xFF);
  QStringDecoder gbk("GBK");
  const QString text = gbk.isValid() ? gbk.decode(bytes) : QString();
  if (gbk.hasError() || text.size() != 1 || text.at(0) == QChar::ReplacementCharacter) return QLatin1Char('?');
  return text.at(0);
}
