#include "core/MD5bas.h"

#include "core/AnsiCode.h"

#include <array>
#include <cstdint>
#include <vector>

namespace {
using Word = std::uint32_t;

// The character's ANSI code as a 32-bit value: a byte for single-byte
// characters, the sign-extended 16-bit code for double-byte ones.
Word ansiWord(QChar c) {
  const int code = ansiCode(c);
  if (code <= 0xFF) return static_cast<Word>(code);
  return static_cast<Word>(static_cast<std::int32_t>(static_cast<std::int16_t>(code)));
}

std::vector<Word> toWordArray(const QString& message) {
  const std::size_t length = static_cast<std::size_t>(message.size());
  const std::size_t wordCount = ((length + 8) / 64 + 1) * 16;
  std::vector<Word> words(wordCount, 0);
  for (std::size_t pos = 0; pos < length; ++pos)
    words[pos / 4] |= ansiWord(message.at(static_cast<qsizetype>(pos))) << (8 * (pos % 4));
  words[length / 4] |= Word{0x80} << (8 * (length % 4));
  const std::uint64_t bits = static_cast<std::uint64_t>(length) * 8;
  words[wordCount - 2] = static_cast<Word>(bits);
  words[wordCount - 1] = static_cast<Word>(bits >> 32);
  return words;
}

constexpr Word rotl(Word x, int n) { return (x << n) | (x >> (32 - n)); }

constexpr std::array<int, 64> kShift = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

constexpr std::array<Word, 64> kSine = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void transform(std::array<Word, 4>& state, const Word* block) {
  Word a = state[0], b = state[1], c = state[2], d = state[3];
  for (int i = 0; i < 64; ++i) {
    Word f = 0;
    int g = 0;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (b & d) | (c & ~d);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const Word next = b + rotl(a + f + kSine[i] + block[g], kShift[i]);
    a = d;
    d = c;
    c = b;
    b = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

// A word as its four bytes from the lowest, the way RFC 1321 prints a digest.
QString wordToHex(Word w) {
  QString hex;
  for (int i = 0; i < 4; ++i) hex += QStringLiteral("%1").arg((w >> (8 * i)) & 0xff, 2, 16, QChar('0'));
  return hex;
}
}  // namespace

QString MD5(const QString& sMessage, int nDigits) {
  const std::vector<Word> words = toWordArray(sMessage);
  std::array<Word, 4> state = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  for (std::size_t k = 0; k < words.size(); k += 16) transform(state, &words[k]);
  if (nDigits == 32)
    return wordToHex(state[0]) + wordToHex(state[1]) + wordToHex(state[2]) + wordToHex(state[3]);
  return wordToHex(state[1]) + wordToHex(state[2]);
}
