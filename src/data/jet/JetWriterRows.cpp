#include "data/jet/JetWriterRows.h"

#include <QDateTime>
#include <QStringList>

#include "data/DateValue.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace Jet::writer {

namespace {

constexpr int PageHeaderSize = 14;
constexpr int EmptyPageFree = PageSize - PageHeaderSize;
constexpr int MaxInlineLongValue = 64;
constexpr int MaxSingleRowLongValue = 4076;
constexpr int ChainSegmentData = 4072;
constexpr int LongValueHeader = 12;
constexpr int MaxCompressedLength = 1024;
constexpr quint32 MaxLongValueLength = 0x3FFFFFFF;
const QByteArray LvalTag = QByteArrayLiteral("LVAL");
const QDate JetEpoch(1899, 12, 30);

bool compressible(const QString& text) {
  if (text.size() < 3 || text.size() > MaxCompressedLength) return false;
  return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x01 && c.unicode() <= 0xFF; });
}

QDateTime parseDateText(QString text) {
  text = text.trimmed();
  if (text.size() > 10 && text[10] == QLatin1Char(' ')) text[10] = QLatin1Char('T');
  QDateTime dt = QDateTime::fromString(text, Qt::ISODateWithMs);
  if (!dt.isValid()) {
    const QDate d = QDate::fromString(text, Qt::ISODate);
    if (d.isValid()) dt = QDateTime(d, QTime(0, 0));
  }
  return dt;
}

bool toInteger(const QVariant& v, qint64 low, qint64 high, qint64* out) {
  bool ok = false;
  const double d = v.toDouble(&ok);
  if (!ok || !std::isfinite(d) || d != std::floor(d)) return false;
  const qint64 n = v.toLongLong(&ok);
  const qint64 value = ok ? n : qint64(d);
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

}  // namespace

QByteArray encodeText(const QString& original, bool compress) {
  // A leading byte-order mark would be taken for the compression marker.
  const QString text = original.startsWith(QChar(0xFEFF)) ? original.mid(1) : original;
  if (compress && compressible(text)) {
    QByteArray bytes("\xFF\xFE", 2);
    bytes += text.toLatin1();
    return bytes;
  }
  QByteArray bytes(text.size() * 2, '\0');
  for (int i = 0; i < text.size(); ++i) put16(bytes, 2 * i, text[i].unicode());
  return bytes;
}

double toJetDate(const QVariant& value, bool* ok) {
  *ok = false;
  QDateTime dt;
  switch (value.typeId()) {
    case QMetaType::QDateTime: dt = value.toDateTime(); break;
    case QMetaType::QDate: dt = QDateTime(value.toDate(), QTime(0, 0)); break;
    case QMetaType::Double:
    case QMetaType::Int:
    case QMetaType::LongLong: *ok = true; return value.toDouble();
    default: {
      const QString text = value.toString();
      if (const std::optional<Dates::Stamp> stamp = Dates::parse(QStringView(text).trimmed())) {
        *ok = true;
        return Dates::toAccess(*stamp);
      }
      dt = parseDateText(text);  // with a zone or in another ISO form
    }
  }
  if (!dt.isValid()) return 0;
  *ok = true;
  const qint64 days = JetEpoch.daysTo(dt.date());
  const double fraction = dt.time().msecsSinceStartOfDay() / 86400000.0;
  // Before the epoch the time of day still counts forward from midnight.
  return days < 0 ? double(days) - fraction : double(days) + fraction;
}

// ---------------------------------------------------------------- OpenPage

OpenPage::OpenPage(quint32 number, quint32 owner) : bytes_(PageSize, '\0'), number_(number), open_(true) {
  bytes_[0] = char(DataPage);
  bytes_[1] = 0x01;
  put16(bytes_, 2, EmptyPageFree);
  if (owner == 0)
    bytes_.replace(4, 4, LvalTag);
  else
    put32(bytes_, 4, owner);
}

bool OpenPage::fits(int length) const {
  return open_ && u16(bytes_, 12) < MaxRowsPerPage && length + 2 <= u16(bytes_, 2);
}

int OpenPage::add(const QByteArray& row) {
  const int count = u16(bytes_, 12);
  const int end = count == 0 ? PageSize : (u16(bytes_, PageHeaderSize + 2 * (count - 1)) & 0x1FFF);
  const int start = end - int(row.size());
  bytes_.replace(start, row.size(), row);
  put16(bytes_, PageHeaderSize + 2 * count, quint16(start));
  put16(bytes_, 12, quint16(count + 1));
  put16(bytes_, 2, quint16(u16(bytes_, 2) - row.size() - 2));
  return count;
}

// ---------------------------------------------------------------- TableWriter

TableWriter::TableWriter(PageFile& file, TableDef table) : file_(file), table_(std::move(table)) {
  for (const ColumnDef& c : table_.columns)
    if (c.fixed() && c.type != BoolColumn) fixedSize_ = std::max(fixedSize_, c.fixedOffset + c.length);
  maskBytes_ = (table_.maxColumns + 7) / 8;
}

void TableWriter::empty() {
  releasePages(table_.ownedMap, QByteArray());
  UsageMap(file_, table_.ownedMap).clear();
  UsageMap(file_, table_.freeMap).clear();
  for (const auto& [column, maps] : table_.columnMaps) {
    releasePages(maps.owned, LvalTag);
    UsageMap(file_, maps.owned).clear();
    UsageMap(file_, maps.free).clear();
  }
  table_.rowCount = 0;
}

void TableWriter::releasePages(RowPointer ownedMap, const QByteArray& ownerTag) {
  QByteArray owner(4, '\0');
  put32(owner, 0, table_.tdefPage);
  if (!ownerTag.isEmpty()) owner = ownerTag;
  for (quint32 n : UsageMap(file_, ownedMap).pages()) {
    if (n >= file_.pageCount()) continue;
    const QByteArray page = file_.readPage(n);
    // Only pages that are really this table's: a damaged map must not free others.
    if (quint8(page[0]) == DataPage && page.mid(4, 4) == owner) file_.release(n);
  }
}

void TableWriter::bindColumns(const QStringList& sourceNames) {
  bindings_.clear();
  for (const ColumnDef& c : table_.columns) {
    int source = -1;
    for (int i = 0; i < sourceNames.size() && source < 0; ++i)
      if (sourceNames[i].compare(c.name, Qt::CaseInsensitive) == 0) source = i;
    if (source < 0) fail(QStringLiteral("缺少列 %1 的数据。").arg(c.name));
    bindings_.push_back({&c, source});
  }
  if (sourceNames.size() != int(bindings_.size()))
    fail(QStringLiteral("数据中有文件的表所没有的列。"));
}

void TableWriter::append(const Bulk::Row& sourceRow) {
  values_.resize(sourceRow.size());
  for (size_t i = 0; i < sourceRow.size(); ++i) values_[i] = sourceRow[i].toVariant();
  placeRow(encodeRow(values_));
  ++table_.rowCount;
}

void TableWriter::failValue(const ColumnDef& c, const QString& why) const {
  fail(QStringLiteral("列 %1：%2").arg(c.name, why));
}

QByteArray TableWriter::encodeRow(const std::vector<QVariant>& values) {
  QByteArray row(2 + fixedSize_, '\0');
  put16(row, 0, quint16(table_.maxColumns));
  QByteArray mask(maskBytes_, '\0');
  std::vector<QByteArray> vars(size_t(table_.varColumns));
  std::vector<std::pair<const ColumnDef*, QByteArray>> longValues;

  for (const Binding& b : bindings_) {
    const ColumnDef& c = *b.column;
    const QVariant& v = values[size_t(b.source)];
    if (v.isNull()) continue;
    const bool present = c.type != BoolColumn || v.toBool();
    if (present) mask[c.number / 8] = char(mask[c.number / 8] | (1 << (c.number % 8)));
    if (c.type == BoolColumn) continue;
    if (c.fixed())
      encodeFixed(c, v, row);
    else if (c.longValue())
      longValues.emplace_back(&c, encodeVar(c, v));
    else
      vars[size_t(c.varIndex)] = encodeVar(c, v);
  }

  qsizetype length = row.size() + maskBytes_ + (table_.varColumns > 0 ? 4 + 2 * table_.varColumns : 0);
  for (const QByteArray& v : vars) length += v.size();
  length += LongValueHeader * qsizetype(longValues.size());
  if (length > MaxRowLength) fail(QStringLiteral("有一行超过了 Access 允许的 %1 字节。").arg(MaxRowLength));
  for (const auto& [column, data] : longValues) {
    const bool asInline = data.size() <= MaxInlineLongValue && length + data.size() <= MaxRowLength;
    if (asInline) length += data.size();
    vars[size_t(column->varIndex)] = storeLongValue(*column, data, asInline);
  }

  if (table_.varColumns > 0) {
    std::vector<quint16> offsets;
    for (const QByteArray& v : vars) {
      offsets.push_back(quint16(row.size()));
      row += v;
    }
    QByteArray trailer(2 + 2 * table_.varColumns + 2, '\0');
    put16(trailer, 0, quint16(row.size()));  // end of the var data
    for (int k = 0; k < table_.varColumns; ++k)
      put16(trailer, 2 + 2 * (table_.varColumns - 1 - k), offsets[size_t(k)]);
    put16(trailer, trailer.size() - 2, quint16(table_.varColumns));
    row += trailer;
  }
  row += mask;
  return row;
}

void TableWriter::encodeFixed(const ColumnDef& c, const QVariant& v, QByteArray& row) {
  const int at = 2 + c.fixedOffset;
  qint64 n = 0;
  bool ok = false;
  switch (c.type) {
    case ByteColumn:
      if (!toInteger(v, 0, 255, &n)) failValue(c, QStringLiteral("'%1' is not a whole number from 0 to 255.").arg(v.toString()));
      row[at] = char(n);
      return;
    case IntColumn:
      if (!toInteger(v, -32768, 32767, &n)) failValue(c, QStringLiteral("'%1' is not a 16-bit whole number.").arg(v.toString()));
      put16(row, at, quint16(qint16(n)));
      return;
    case LongColumn:
      if (!toInteger(v, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), &n))
        failValue(c, QStringLiteral("'%1' is not a 32-bit whole number.").arg(v.toString()));
      put32(row, at, quint32(qint32(n)));
      if (c.autoNumber() && n > qint64(table_.lastAutoNumber)) table_.lastAutoNumber = quint32(n);
      return;
    case FloatColumn:
    case DoubleColumn:
    case MoneyColumn:
    case DateColumn: {
      const double d = c.type == DateColumn ? toJetDate(v, &ok) : v.toDouble(&ok);
      if (!ok || !std::isfinite(d)) failValue(c, QStringLiteral("'%1' 不是%2。").arg(v.toString(), c.type == DateColumn ? QStringLiteral("日期") : QStringLiteral("数字")));
      if (c.type == FloatColumn) {
        const float f = float(d);
        quint32 bits = 0;
        std::memcpy(&bits, &f, 4);
        put32(row, at, bits);
        return;
      }
      quint64 bits = 0;
      if (c.type == MoneyColumn) {
        if (std::fabs(d) > 9.2e14) failValue(c, QStringLiteral("'%1' is too large for a currency.").arg(v.toString()));
        bits = quint64(qint64(std::llround(d * 10000.0)));
      } else {
        std::memcpy(&bits, &d, 8);
      }
      put32(row, at, quint32(bits & 0xFFFFFFFFu));
      put32(row, at + 4, quint32(bits >> 32));
      return;
    }
    default:
      failValue(c, QStringLiteral("这种类型的列的值不能写入。"));
  }
}

QByteArray TableWriter::encodeVar(const ColumnDef& c, const QVariant& v) {
  if (c.type == TextColumn) {
    const QString text = v.toString();
    if (text.size() > c.length / 2)
      failValue(c, QStringLiteral("文本有 %1 个字符，这一列只能存 %2 个。").arg(text.size()).arg(c.length / 2));
    return encodeText(text, c.compressible());
  }
  if (c.type == MemoColumn) {
    const QByteArray data = encodeText(v.toString(), c.compressible());
    if (quint32(data.size()) > MaxLongValueLength) failValue(c, QStringLiteral("文本太长。"));
    return data;
  }
  if (c.type == OleColumn || c.type == BinaryColumn) {
    const QByteArray data = v.toByteArray();
    if (c.type == BinaryColumn && data.size() > c.length) failValue(c, QStringLiteral("值太长。"));
    return data;
  }
  failValue(c, QStringLiteral("这种类型的列的值不能写入。"));
}

QByteArray TableWriter::storeLongValue(const ColumnDef& c, const QByteArray& data, bool asInline) {
  QByteArray header(LongValueHeader, '\0');
  const quint32 length = quint32(data.size());
  if (asInline) {
    put32(header, 0, length | 0x80000000u);
    return header + data;
  }
  if (data.size() <= MaxSingleRowLongValue) {
    put32(header, 0, length | 0x40000000u);
    put32(header, 4, placeLongValueRow(c, data).raw());
    return header;
  }
  // A chain: each row starts with the pointer to the next one. Whole
  // segments fill a page each; the last, shorter one is placed first so
  // that every pointer is known when its row is written.
  const int segments = int((data.size() + ChainSegmentData - 1) / ChainSegmentData);
  std::vector<OpenPage> pages;
  for (int i = 0; i + 1 < segments; ++i) {
    pages.push_back(startPage(0));
    registerLongValuePage(c, pages.back().number());
  }
  QByteArray lastRow(4, '\0');
  lastRow += data.mid(qsizetype(segments - 1) * ChainSegmentData);
  const RowPointer lastPlace = placeLongValueRow(c, lastRow);
  for (int i = 0; i + 1 < segments; ++i) {
    QByteArray row(4, '\0');
    put32(row, 0, i + 2 < segments ? RowPointer{pages[size_t(i + 1)].number(), 0}.raw() : lastPlace.raw());
    row += data.mid(qsizetype(i) * ChainSegmentData, ChainSegmentData);
    pages[size_t(i)].add(row);
    closePage(pages[size_t(i)]);
  }
  put32(header, 0, length);
  put32(header, 4, RowPointer{pages.front().number(), 0}.raw());
  return header;
}

RowPointer TableWriter::placeLongValueRow(const ColumnDef& c, const QByteArray& row) {
  OpenPage& page = longValuePages_[c.number];
  if (!page.fits(int(row.size()))) {
    if (page.isOpen()) closePage(page);
    page = startPage(0);
    registerLongValuePage(c, page.number());
  }
  return {page.number(), page.add(row)};
}

void TableWriter::registerLongValuePage(const ColumnDef& c, quint32 page) {
  // Files that keep maps per memo column list their LVAL pages there; older
  // ones only mark them used in the global map (done by allocate()).
  if (const auto it = table_.columnMaps.find(c.number); it != table_.columnMaps.end())
    UsageMap(file_, it->second.owned).add(page);
}

void TableWriter::placeRow(const QByteArray& row) {
  if (!dataPage_.fits(int(row.size()))) {
    if (dataPage_.isOpen()) closePage(dataPage_);
    dataPage_ = startPage(table_.tdefPage);
    UsageMap(file_, table_.ownedMap).add(dataPage_.number());
  }
  dataPage_.add(row);
}

OpenPage TableWriter::startPage(quint32 owner) { return OpenPage(file_.allocate(), owner); }

void TableWriter::closePage(const OpenPage& page) { file_.writePage(page.number(), page.bytes()); }

void TableWriter::finish() {
  if (dataPage_.isOpen()) {
    closePage(dataPage_);
    UsageMap(file_, table_.freeMap).add(dataPage_.number());
  }
  for (const auto& [column, page] : longValuePages_) {
    if (!page.isOpen()) continue;
    closePage(page);
    if (const auto it = table_.columnMaps.find(column); it != table_.columnMaps.end())
      UsageMap(file_, it->second.free).add(page.number());
  }
  writeTableCounts(file_, table_);
}

}  // namespace Jet::writer
