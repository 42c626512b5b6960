#include "data/jet/JetPageTable.h"

#include <algorithm>

namespace Jet::writer {

namespace {

constexpr quint32 CatalogTdefPage = 2;
constexpr int ColumnBlockSize = 25;
constexpr int PhysicalIndexBlockSize = 52;
constexpr int LogicalIndexBlockSize = 28;
constexpr quint32 MaxTdefLength = 1u << 20;

// The definition as one byte stream: the first page whole, then bytes 8..
// of every continuation page.
QByteArray tdefStream(const PageFile& file, quint32 first) {
  QByteArray page = file.readPage(first);
  if (quint8(page[0]) != TdefPage) fail(QStringLiteral("第 %1 页不是表定义。").arg(first));
  const quint32 length = u32(page, 8);
  if (length < 63 || length > MaxTdefLength) fail(QStringLiteral("第 %1 页的表定义已损坏。").arg(first));
  QByteArray stream = page;
  quint32 next = u32(page, 4);
  int guard = 0;
  while (quint32(stream.size()) < length && next != 0) {
    if (++guard > 256) fail(QStringLiteral("第 %1 页的表定义已损坏。").arg(first));
    page = file.readPage(next);
    if (quint8(page[0]) != TdefPage) fail(QStringLiteral("第 %1 页的表定义已损坏。").arg(first));
    stream += page.mid(8);
    next = u32(page, 4);
  }
  if (quint32(stream.size()) < length) fail(QStringLiteral("第 %1 页的表定义不完整。").arg(first));
  stream.truncate(int(length));
  return stream;
}

class StreamReader {
 public:
  StreamReader(const QByteArray& bytes, int offset, quint32 page) : bytes_(bytes), offset_(offset), page_(page) {}
  void need(int count) const {
    if (count < 0 || offset_ + count > bytes_.size())
      fail(QStringLiteral("第 %1 页的表定义已损坏。").arg(page_));
  }
  quint16 take16() {
    need(2);
    offset_ += 2;
    return u16(bytes_, offset_ - 2);
  }
  quint32 take32() {
    need(4);
    offset_ += 4;
    return u32(bytes_, offset_ - 4);
  }
  QByteArray take(int count) {
    need(count);
    offset_ += count;
    return bytes_.mid(offset_ - count, count);
  }
  void skip(int count) {
    need(count);
    offset_ += count;
  }
  bool atEnd() const { return offset_ + 2 > bytes_.size(); }

 private:
  const QByteArray& bytes_;
  int offset_;
  quint32 page_;
};

ColumnDef columnFrom(const QByteArray& block) {
  ColumnDef c;
  c.type = quint8(block[0]);
  c.number = u16(block, 5);
  c.varIndex = u16(block, 7);
  c.flags = quint8(block[15]);
  c.extFlags = quint8(block[16]);
  c.fixedOffset = u16(block, 21);
  c.length = u16(block, 23);
  return c;
}

void readLongValueMaps(StreamReader& in, TableDef& t) {
  while (!in.atEnd()) {
    const quint16 column = in.take16();
    if (column == 0xFFFF) break;
    LongValueMaps maps;
    maps.owned = RowPointer::from(in.take32());
    maps.free = RowPointer::from(in.take32());
    t.columnMaps[column] = maps;
  }
}

// A row moved to another page: its slot holds the page/row pointer.
QByteArray movedRow(const PageFile& file, const QByteArray& pointer) {
  if (pointer.size() < 4) return {};
  const RowPointer to = RowPointer::from(u32(pointer, 0));
  if (to.page == 0 || to.page >= file.pageCount()) return {};
  const QByteArray page = file.readPage(to.page);
  const int slotCount = std::min<int>(u16(page, 12), 255);
  if (quint8(page[0]) != DataPage || to.row >= slotCount) return {};
  const int start = u16(page, 14 + 2 * to.row) & 0x1FFF;
  const int end = to.row == 0 ? PageSize : (u16(page, 14 + 2 * (to.row - 1)) & 0x1FFF);
  return start >= 14 && start < end ? page.mid(start, end - start) : QByteArray();
}

}  // namespace

TableDef readTableDef(const PageFile& file, quint32 tdefPage) {
  const QByteArray s = tdefStream(file, tdefPage);
  TableDef t;
  t.tdefPage = tdefPage;
  t.rowCount = u32(s, 16);
  t.lastAutoNumber = u32(s, 20);
  t.maxColumns = u16(s, 41);
  t.varColumns = u16(s, 43);
  const int columnCount = u16(s, 45);
  t.logicalIndexes = u32(s, 47);
  t.physicalIndexes = u32(s, 51);
  t.ownedMap = RowPointer::from(u32(s, 55));
  t.freeMap = RowPointer::from(u32(s, 59));
  if (t.physicalIndexes > 1000 || t.logicalIndexes > 1000)
    fail(QStringLiteral("第 %1 页的表定义已损坏。").arg(tdefPage));

  StreamReader in(s, 63 + 12 * int(t.physicalIndexes), tdefPage);
  for (int i = 0; i < columnCount; ++i) t.columns.push_back(columnFrom(in.take(ColumnBlockSize)));
  for (ColumnDef& c : t.columns) {
    const int bytes = in.take16();
    c.name = QString::fromUtf16(reinterpret_cast<const char16_t*>(in.take(bytes).constData()), bytes / 2);
  }
  in.skip(PhysicalIndexBlockSize * int(t.physicalIndexes));
  in.skip(LogicalIndexBlockSize * int(t.logicalIndexes));
  for (quint32 i = 0; i < t.logicalIndexes; ++i) in.skip(in.take16());
  readLongValueMaps(in, t);

  std::sort(t.columns.begin(), t.columns.end(), [](const ColumnDef& a, const ColumnDef& b) { return a.number < b.number; });
  for (const ColumnDef& c : t.columns) {
    const bool badFixed = c.fixed() && c.type != BoolColumn && c.fixedOffset + c.length > 4000;
    const bool badVar = !c.fixed() && c.varIndex >= t.varColumns;
    if (c.number >= t.maxColumns || badFixed || badVar)
      fail(QStringLiteral("第 %1 页的表定义已损坏。").arg(tdefPage));
  }
  return t;
}

void writeTableCounts(PageFile& file, const TableDef& table) {
  QByteArray& page = file.page(table.tdefPage);
  put32(page, 16, table.rowCount);
  put32(page, 20, table.lastAutoNumber);
}

QString decodeText(const QByteArray& bytes) {
  if (bytes.size() >= 2 && quint8(bytes[0]) == 0xFF && quint8(bytes[1]) == 0xFE) {
    // Compressed: one byte per character until a 0x00 switches to UCS-2 and back.
    QString text;
    bool oneByte = true;
    for (int i = 2; i < bytes.size();) {
      if (bytes[i] == 0) {
        oneByte = !oneByte;
        ++i;
      } else if (oneByte) {
        text += QChar(quint8(bytes[i++]));
      } else if (i + 1 < bytes.size()) {
        text += QChar(u16(bytes, i));
        i += 2;
      } else {
        break;
      }
    }
    return text;
  }
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
}

std::vector<QVariant> decodeRow(const PageFile&, const TableDef& table, const QByteArray& row) {
  std::vector<QVariant> values(table.columns.size());
  if (row.size() < 2) return values;
  const int rowColumns = u16(row, 0);
  const int maskBytes = (rowColumns + 7) / 8;
  if (row.size() < 2 + maskBytes) return values;
  const int maskAt = row.size() - maskBytes;
  const auto present = [&](int n) { return n < rowColumns && (quint8(row[maskAt + n / 8]) >> (n % 8)) & 1; };
  const bool hasVar = std::any_of(table.columns.begin(), table.columns.end(), [](const ColumnDef& c) { return !c.fixed(); });
  const int varCount = hasVar && maskAt >= 2 ? u16(row, maskAt - 2) : 0;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& c = table.columns[i];
    if (!present(c.number)) continue;
    if (c.fixed()) {
      const int at = 2 + c.fixedOffset;
      if (c.type == LongColumn && at + 4 <= maskAt) values[i] = qint32(u32(row, at));
      if (c.type == IntColumn && at + 2 <= maskAt) values[i] = qint16(u16(row, at));
      continue;
    }
    if (c.varIndex >= varCount) continue;
    const int entry = maskAt - 4 - 2 * c.varIndex;
    const int start = u16(row, entry);
    const int end = c.varIndex + 1 < varCount ? u16(row, entry - 2) : u16(row, maskAt - 4 - 2 * varCount);
    if (entry < 0 || start > end || end > maskAt) continue;
    if (c.type == TextColumn) values[i] = decodeText(row.mid(start, end - start));
  }
  return values;
}

std::vector<CatalogEntry> readCatalog(PageFile& file) {
  const TableDef catalog = readTableDef(file, CatalogTdefPage);
  const auto columnOf = [&](const char* name) {
    for (size_t i = 0; i < catalog.columns.size(); ++i)
      if (catalog.columns[i].name.compare(QLatin1String(name), Qt::CaseInsensitive) == 0) return int(i);
    fail(QStringLiteral("表目录中没有列 %1。").arg(QLatin1String(name)));
  };
  const int idColumn = columnOf("Id");
  const int nameColumn = columnOf("Name");
  const int typeColumn = columnOf("Type");
  const int flagsColumn = columnOf("Flags");

  std::vector<CatalogEntry> entries;
  for (quint32 pageNumber : UsageMap(file, catalog.ownedMap).pages()) {
    if (pageNumber >= file.pageCount()) continue;
    const QByteArray page = file.readPage(pageNumber);
    if (quint8(page[0]) != DataPage || u32(page, 4) != catalog.tdefPage) continue;
    const int slotCount = std::min<int>(u16(page, 12), 255);
    int end = PageSize;
    for (int i = 0; i < slotCount; ++i) {
      const quint16 slot = u16(page, 14 + 2 * i);
      const int start = slot & 0x1FFF;
      const int rowEnd = end;
      end = start;
      if (slot & 0x8000 || start >= rowEnd || start < 14) continue;  // deleted or reached by its pointer
      QByteArray row = page.mid(start, rowEnd - start);
      if (slot & 0x4000) row = movedRow(file, row);
      const std::vector<QVariant> v = decodeRow(file, catalog, row);
      if (v[typeColumn].toInt() != 1 || v[nameColumn].isNull()) continue;
      CatalogEntry e;
      e.name = v[nameColumn].toString();
      e.tdefPage = quint32(v[idColumn].toInt()) & 0x00FFFFFF;
      e.system = (quint32(v[flagsColumn].toInt()) & 0x80000002u) != 0 || e.name.startsWith(QLatin1String("MSys"), Qt::CaseInsensitive);
      entries.push_back(e);
    }
  }
  return entries;
}

}  // namespace Jet::writer
