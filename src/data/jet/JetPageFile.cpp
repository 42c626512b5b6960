#include "data/jet/JetPageFile.h"

#include "data/DataError.h"

#include <algorithm>
#include <set>

namespace Jet::writer {

namespace {
constexpr int InlineMap = 0;
constexpr int ReferenceMap = 1;
constexpr quint32 PagesPerBitmapPage = (PageSize - 4) * 8;
}  // namespace

quint16 u16(const QByteArray& b, int off) {
  return quint16(quint8(b[off]) | (quint8(b[off + 1]) << 8));
}

quint32 u32(const QByteArray& b, int off) { return quint32(u16(b, off)) | (quint32(u16(b, off + 2)) << 16); }

void put16(QByteArray& b, int off, quint16 v) {
  b[off] = char(v & 0xFF);
  b[off + 1] = char(v >> 8);
}

void put32(QByteArray& b, int off, quint32 v) {
  put16(b, off, quint16(v & 0xFFFF));
  put16(b, off + 2, quint16(v >> 16));
}

void fail(const QString& description) {
  throw DataError(QStringLiteral("Microsoft JET Database Engine"), description);
}

// ---------------------------------------------------------------- UsageMap

UsageMap::UsageMap(PageFile& file, RowPointer where, bool inverted)
    : file_(file), where_(where), inverted_(inverted) {
  if (where.page == 0 || where.page >= file.pageCount()) fail(QStringLiteral("有一个使用位图指向文件之外。"));
  int offset = 0;
  int length = 0;
  const QByteArray& page = row(&offset, &length);
  if (length < 5 || (page[offset] != InlineMap && page[offset] != ReferenceMap))
    fail(QStringLiteral("第 %1 页的使用位图无法识别。").arg(where.page));
}

QByteArray& UsageMap::row(int* offset, int* length) const {
  QByteArray& page = file_.page(where_.page);
  const int slotCount = u16(page, 12);
  if (quint8(page[0]) != DataPage || where_.row >= slotCount)
    fail(QStringLiteral("第 %1 页缺少使用位图的行。").arg(where_.page));
  const int start = u16(page, 14 + 2 * where_.row) & 0x1FFF;
  const int end = where_.row == 0 ? PageSize : (u16(page, 14 + 2 * (where_.row - 1)) & 0x1FFF);
  if (start < 14 + 2 * slotCount || end > PageSize || end <= start)
    fail(QStringLiteral("第 %1 页的使用位图行已损坏。").arg(where_.page));
  *offset = start;
  *length = end - start;
  return page;
}

std::vector<quint32> UsageMap::pages() const {
  int offset = 0;
  int length = 0;
  const QByteArray page = row(&offset, &length);
  std::vector<quint32> result;
  const auto collect = [&](const QByteArray& bits, int from, int bytes, quint32 first) {
    for (int i = 0; i < bytes; ++i) {
      const quint8 byte = quint8(bits[from + i]);
      for (int bit = 0; byte && bit < 8; ++bit)
        if ((byte >> bit) & 1) result.push_back(first + quint32(i * 8 + bit));
    }
  };
  if (page[offset] == InlineMap) {
    collect(page, offset + 5, length - 5, u32(page, offset + 1));
    return result;
  }
  for (int slot = 0; slot < (length - 1) / 4; ++slot) {
    const quint32 bitmap = u32(page, offset + 1 + 4 * slot);
    if (bitmap == 0 || bitmap >= file_.pageCount()) continue;
    collect(file_.readPage(bitmap), 4, PageSize - 4, quint32(slot) * PagesPerBitmapPage);
  }
  return result;
}

void UsageMap::clear() {
  int offset = 0;
  int length = 0;
  QByteArray& page = row(&offset, &length);
  if (page[offset] == InlineMap) {
    std::fill(page.begin() + offset + 5, page.begin() + offset + length, char(inverted_ ? 0xFF : 0));
    return;
  }
  for (int slot = 0; slot < (length - 1) / 4; ++slot) {
    const quint32 bitmap = u32(page, offset + 1 + 4 * slot);
    if (bitmap == 0 || bitmap >= file_.pageCount()) continue;
    QByteArray& bits = file_.page(bitmap);
    std::fill(bits.begin() + 4, bits.end(), char(inverted_ ? 0xFF : 0));
  }
}

void UsageMap::add(quint32 page) { setBit(page, true); }

void UsageMap::remove(quint32 page) { setBit(page, false); }

void UsageMap::setBit(quint32 n, bool member) {
  int offset = 0;
  int length = 0;
  QByteArray& page = row(&offset, &length);
  const bool bitValue = member != inverted_;
  if (page[offset] == ReferenceMap) {
    addReferenced(n, bitValue);
    return;
  }
  const quint32 start = u32(page, offset + 1);
  const quint32 capacity = quint32(length - 5) * 8;
  if (n >= start && n < start + capacity) {
    const int byte = offset + 5 + int((n - start) / 8);
    const char mask = char(1 << ((n - start) % 8));
    page[byte] = char(bitValue ? (page[byte] | mask) : (page[byte] & ~mask));
    return;
  }
  if (!member) return;  // outside the window: nothing is recorded about it
  if (inverted_) {
    if (n < start) return;  // below the window every page counts as used
    slideGlobalWindow(n, start, capacity);
    return;
  }
  std::vector<quint32> members = pages();
  members.push_back(n);
  const auto [low, high] = std::minmax_element(members.begin(), members.end());
  const quint32 first = *low & ~7u;
  if (*high - first + 1 < capacity)
    placeInline(first, members);
  else
    promote(members);
}

void UsageMap::slideGlobalWindow(quint32 n, quint32 start, quint32 capacity) {
  // Move the window over the new page; pages that fall out of it count as
  // used, which at worst strands a few free pages. Pages newly covered are
  // free only past the end of the file.
  const std::vector<quint32> free = pages();
  const std::set<quint32> freePages(free.begin(), free.end());
  const quint32 newStart = (n - capacity / 2) & ~7u;
  int offset = 0;
  int length = 0;
  QByteArray& page = row(&offset, &length);
  std::fill(page.begin() + offset + 5, page.begin() + offset + length, char(0xFF));
  put32(page, offset + 1, newStart);
  for (quint32 p = newStart; p < newStart + capacity && p < file_.pageCount(); ++p) {
    const bool wasFree = p < start + capacity && freePages.count(p);
    if (!wasFree) setBit(p, true);
  }
}

void UsageMap::placeInline(quint32 start, const std::vector<quint32>& members) {
  int offset = 0;
  int length = 0;
  QByteArray& page = row(&offset, &length);
  std::fill(page.begin() + offset + 5, page.begin() + offset + length, char(0));
  put32(page, offset + 1, start);
  for (quint32 m : members) setBit(m, true);
}

void UsageMap::promote(const std::vector<quint32>& members) {
  int offset = 0;
  int length = 0;
  QByteArray& page = row(&offset, &length);
  std::fill(page.begin() + offset, page.begin() + offset + length, char(0));
  page[offset] = char(ReferenceMap);
  for (quint32 m : members) addReferenced(m, true);
}

void UsageMap::addReferenced(quint32 n, bool bitValue) {
  int offset = 0;
  int length = 0;
  const int slot = int(n / PagesPerBitmapPage);
  {
    const QByteArray& page = row(&offset, &length);
    if (slot >= (length - 1) / 4) fail(QStringLiteral("文件超出了使用位图能记的大小。"));
    if (u32(page, offset + 1 + 4 * slot) == 0) {
      if (inverted_) return;  // the global map records nothing for this range
      const quint32 bitmap = file_.allocate();
      QByteArray& fresh = file_.page(bitmap);
      fresh.fill(0);
      fresh[0] = char(MapBitmapPage);
      fresh[1] = 0x01;
      // allocate() may have edited page 1; look the row up again.
      QByteArray& again = row(&offset, &length);
      put32(again, offset + 1 + 4 * slot, bitmap);
    }
  }
  const QByteArray& page = row(&offset, &length);
  const quint32 bitmapPage = u32(page, offset + 1 + 4 * slot);
  if (bitmapPage >= file_.pageCount()) fail(QStringLiteral("有一个使用位图指向文件之外。"));
  QByteArray& bits = file_.page(bitmapPage);
  const quint32 index = n % PagesPerBitmapPage;
  const int byte = 4 + int(index / 8);
  const char mask = char(1 << (index % 8));
  bits[byte] = char(bitValue ? (bits[byte] | mask) : (bits[byte] & ~mask));
}

// ---------------------------------------------------------------- PageFile

PageFile::PageFile(QFile& file) : file_(file) {
  if (file.size() % PageSize != 0 || file.size() < 3 * PageSize)
    fail(QStringLiteral("文件长度不是整页。"));
  pageCount_ = quint32(file.size() / PageSize);
}

QByteArray& PageFile::page(quint32 n) {
  auto it = cache_.find(n);
  if (it == cache_.end()) it = cache_.emplace(n, readPage(n)).first;
  return it->second;
}

QByteArray PageFile::readPage(quint32 n) const {
  if (auto it = cache_.find(n); it != cache_.end()) return it->second;
  if (n >= pageCount_) fail(QStringLiteral("第 %1 页在文件之外。").arg(n));
  if (!file_.seek(qint64(n) * PageSize)) fail(file_.errorString());
  QByteArray content = file_.read(PageSize);
  if (content.size() != PageSize) fail(QStringLiteral("第 %1 页不能读取：%2").arg(n).arg(file_.errorString()));
  return content;
}

void PageFile::writePage(quint32 n, const QByteArray& content) {
  if (auto it = cache_.find(n); it != cache_.end()) it->second = content;
  if (!file_.seek(qint64(n) * PageSize) || file_.write(content) != PageSize)
    fail(QStringLiteral("第 %1 页不能写入：%2").arg(n).arg(file_.errorString()));
}

quint32 PageFile::allocate() {
  quint32 n = 0;
  if (!released_.empty()) {
    n = released_.front();
    released_.pop_front();
  } else {
    if (pageCount_ >= MaxPages) fail(QStringLiteral("文件将超过 Access 文件 2 GB 的上限。"));
    n = pageCount_++;
    writePage(n, QByteArray(PageSize, '\0'));
  }
  UsageMap(*this, RowPointer{1, 0}, true).add(n);
  return n;
}

void PageFile::release(quint32 n) {
  writePage(n, QByteArray(PageSize, '\0'));
  UsageMap(*this, RowPointer{1, 0}, true).remove(n);
  released_.insert(std::upper_bound(released_.begin(), released_.end(), n), n);
}

void PageFile::flush() {
  for (const auto& [n, content] : cache_) {
    if (!file_.seek(qint64(n) * PageSize) || file_.write(content) != PageSize)
      fail(QStringLiteral("第 %1 页不能写入：%2").arg(n).arg(file_.errorString()));
  }
  if (!file_.flush()) fail(file_.errorString());
}

}  // namespace Jet::writer
