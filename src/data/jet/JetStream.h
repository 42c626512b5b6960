#pragma once
#include <cstdint>

// The stream the reading process sends to the loading one. Every message is
// a kind byte, a 32-bit little-endian payload length and the payload; numbers
// inside are little-endian, strings a 32-bit byte count and the bytes.
namespace Jet::Stream {

enum Message : std::uint8_t {
  FileHeader = 'H',  // u32 Jet version, u32 encryption key (0: none)
  TableStart = 'T',  // str name (UTF-8), u32 index count, u16 columns, per column:
                     //   str name (UTF-8), u8 Jet type, u32 size in bytes, u8 scale, u8 precision
  Row = 'R',         // one value per column (below)
  Done = 'Z',        // u32 tables sent
  Failure = 'X',     // str message (UTF-8)
};

enum Value : std::uint8_t {
  Null = 0,
  Int32 = 1,     // i32
  Double = 2,    // f64
  Text = 3,      // str, UTF-16LE code units
  Binary = 4,    // str, raw bytes
  DateTime = 5,  // f64, days since 1899-12-30 (Access's own encoding)
  Ascii = 6,     // str, ASCII text made by the reader (decimal numbers, GUIDs)
};

constexpr std::uint32_t MaxMessage = 1u << 30;  // Access's own limit for one long value
constexpr int MaxColumns = 255;

}  // namespace Jet::Stream
