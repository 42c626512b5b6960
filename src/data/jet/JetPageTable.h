#pragma once
#include <QByteArray>
#include <QString>
#include <QVariant>

#include <map>
#include <vector>

#include "data/jet/JetPageFile.h"

// Table definitions (TDEF) and the catalog of a Jet 4 file, as far as the
// writer needs them.
namespace Jet::writer {

enum ColumnKind : quint8 {
  BoolColumn = 0x01,
  ByteColumn = 0x02,
  IntColumn = 0x03,
  LongColumn = 0x04,
  MoneyColumn = 0x05,
  FloatColumn = 0x06,
  DoubleColumn = 0x07,
  DateColumn = 0x08,
  BinaryColumn = 0x09,
  TextColumn = 0x0A,
  OleColumn = 0x0B,
  MemoColumn = 0x0C,
  GuidColumn = 0x0F,
  DecimalColumn = 0x10,
};

struct ColumnDef {
  QString name;
  quint8 type = 0;
  int number = 0;     // null-mask bit
  int varIndex = 0;   // var columns only
  int fixedOffset = 0;
  int length = 0;     // bytes
  quint8 flags = 0;
  quint8 extFlags = 0;
  bool fixed() const { return flags & 0x01; }
  bool autoNumber() const { return flags & 0x04; }
  bool compressible() const { return extFlags & 0x01; }
  bool longValue() const { return type == MemoColumn || type == OleColumn; }
};

struct LongValueMaps {
  RowPointer owned;
  RowPointer free;
};

struct TableDef {
  quint32 tdefPage = 0;
  quint32 rowCount = 0;
  quint32 lastAutoNumber = 0;
  int maxColumns = 0;    // columns every row carries, deleted ones included
  int varColumns = 0;    // var-offset entries every row carries
  quint32 logicalIndexes = 0;
  quint32 physicalIndexes = 0;
  RowPointer ownedMap;
  RowPointer freeMap;
  std::vector<ColumnDef> columns;           // in column-number order
  std::map<int, LongValueMaps> columnMaps;  // by column number, when the file keeps them
};

TableDef readTableDef(const PageFile& file, quint32 tdefPage);
// Row count @16 and last AutoNumber @20 live on the first TDEF page.
void writeTableCounts(PageFile& file, const TableDef& table);

// Name -> TDEF page of every table in the catalog (MSysObjects).
struct CatalogEntry {
  QString name;
  quint32 tdefPage = 0;
  bool system = false;
};
std::vector<CatalogEntry> readCatalog(PageFile& file);

// Values of one stored row (only what the catalog needs: numbers and text).
std::vector<QVariant> decodeRow(const PageFile& file, const TableDef& table, const QByteArray& row);
QString decodeText(const QByteArray& bytes);

}  // namespace Jet::writer
