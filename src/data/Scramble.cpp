#include "data/Scramble.h"

#include <QRandomGenerator>

#include "core/AnsiCode.h"

namespace {
// XOR of every character's ANSI code with (key digit) x (round number),
// positions from 1, as the other programs of the system scramble: a Chinese
// character changes in the trail byte of its GBK code. Applying it twice gives
// the text back. The products stay below 128, so ASCII stays ASCII.
QString xorWithKey(const QString& text, const QString& key) {
  const qsizetype n = key.size();
  if (n == 0) return text;
  QString out = text;
  for (qsizetype i = 1; i <= out.size(); ++i) {
    const int digit = key.at(i % n).digitValue();
    const int d = digit < 0 ? 0 : digit;
    const int f = static_cast<int>((i / n) % 9) + 1;
    out[i - 1] = fromAnsiCode(ansiCode(out.at(i - 1)) ^ (f * d));
  }
  return out;
}
}  // namespace

QString ScrambleText(const QString& text, const QString& key) {
  QString padded = text;
  // Filler "A" to "[": unscrambling drops it, it only hides the length pattern.
  for (qsizetype i = 0; i < key.size(); ++i)
    padded += QChar(65 + static_cast<int>(QRandomGenerator::global()->bounded(27)));
  return xorWithKey(padded, key);
}

QString UnscrambleText(const QString& text, const QString& key) {
  const QString plain = xorWithKey(text, key);
  if (plain.size() <= key.size()) return {};
  return plain.left(plain.size() - key.size());
}
