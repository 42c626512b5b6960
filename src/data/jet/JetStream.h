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
  Incomplete = 'I',  // u8 Shortfall, str table name (UTF-8; empty for the whole file), u32 a, u32 b
};

// Why not every row of a file can be read: the file is refused rather than
// imported short.
enum Shortfall : std::uint8_t {
  PartialPage = 1,  // a: file length modulo the page size
  RowCount = 2,     // a: rows read, b: rows the table definition holds
  PageMissing = 3,  // a: a page of the table's page map lies past the end of the file
  PageForeign = 4,  // a: a page of the table's page map is no data page of that table
  MemoCut = 5,      // a: row (from 1) whose memo or OLE value lacks some of its pages
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
