#pragma once
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

// Page-level access to a Jet 4 file for the writer: reading, caching the few
// pages that are edited in place (page 1, table definitions, usage maps),
// allocating pages and keeping the global usage map in step.
namespace Jet::writer {

constexpr int PageSize = 4096;
constexpr quint32 MaxPages = 0x7FFFFFFFu / PageSize;  // 2 GiB, Jet's limit

enum PageType : quint8 { HeaderPage = 0x00, DataPage = 0x01, TdefPage = 0x02, MapBitmapPage = 0x05 };

quint16 u16(const QByteArray& b, int off);
quint32 u32(const QByteArray& b, int off);
void put16(QByteArray& b, int off, quint16 v);
void put32(QByteArray& b, int off, quint32 v);
[[noreturn]] void fail(const QString& description);

// A page/row pointer: row in the low byte, page in the upper three.
struct RowPointer {
  quint32 page = 0;
  int row = 0;
  static RowPointer from(quint32 raw) { return {raw >> 8, int(raw & 0xFF)}; }
  quint32 raw() const { return (page << 8) | quint32(row); }
};

class PageFile;

// One usage map: a row on a data-layout page, inline (type 0: start page +
// bitmap) or by reference (type 1: pointers to bitmap pages). Table maps set
// a bit for a member page; the global map sets it for a free page.
class UsageMap {
 public:
  UsageMap(PageFile& file, RowPointer where, bool inverted = false);

  std::vector<quint32> pages() const;  // member pages (for the global map: free ones)
  void clear();
  // Sets (table maps) or clears (global map) the bit of page; moves the
  // inline window or turns the map into a reference map when needed.
  void add(quint32 page);
  void remove(quint32 page);

 private:
  QByteArray& row(int* offset, int* length) const;
  void setBit(quint32 page, bool member);
  void slideGlobalWindow(quint32 n, quint32 start, quint32 capacity);
  void placeInline(quint32 start, const std::vector<quint32>& members);
  void promote(const std::vector<quint32>& members);
  void addReferenced(quint32 page, bool member);

  PageFile& file_;
  RowPointer where_;
  bool inverted_;
};

class PageFile {
 public:
  explicit PageFile(QFile& file);

  quint32 pageCount() const { return pageCount_; }
  // A cached copy that is written back by flush().
  QByteArray& page(quint32 n);
  // Reads a page without caching it (pages the writer only looks at once).
  QByteArray readPage(quint32 n) const;
  // Writes a complete page now (pages the writer builds whole).
  void writePage(quint32 n, const QByteArray& content);

  // A page for new content: a released one or a new one at the end; marked
  // used in the global map. The caller writes its content.
  quint32 allocate();
  // Takes a page out of use: zeroed, marked free, reused by allocate().
  void release(quint32 n);

  void flush();

 private:
  QFile& file_;
  quint32 pageCount_ = 0;
  std::map<quint32, QByteArray> cache_;
  std::deque<quint32> released_;
};

}  // namespace Jet::writer
