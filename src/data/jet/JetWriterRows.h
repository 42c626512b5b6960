#pragma once
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <map>
#include <vector>

#include "data/SqliteBackend.h"
#include "data/jet/JetPageFile.h"
#include "data/jet/JetPageTable.h"

// Turns rows of values into Jet 4 row bytes and places them on pages:
// data pages owned by the table, memo values inline or on LVAL pages.
namespace Jet::writer {

constexpr int MaxRowLength = 4060;
constexpr int MaxRowsPerPage = 255;

// Value encodings shared by rows and memos.
QByteArray encodeText(const QString& text, bool compress);
double toJetDate(const QVariant& value, bool* ok);

// A page being filled row after row (rows grow down from the page end).
class OpenPage {
 public:
  OpenPage() = default;
  OpenPage(quint32 number, quint32 owner);  // owner: TDEF page, or 0 for an LVAL page
  bool isOpen() const { return open_; }
  quint32 number() const { return number_; }
  bool fits(int length) const;
  int add(const QByteArray& row);  // returns the row number
  const QByteArray& bytes() const { return bytes_; }

 private:
  QByteArray bytes_;
  quint32 number_ = 0;
  bool open_ = false;
};

class TableWriter {
 public:
  TableWriter(PageFile& file, TableDef table);

  // Takes every row out of the table (its pages are released for reuse).
  void empty();
  // Matches the mirror's column names to the table's columns.
  void bindColumns(const QStringList& sourceNames);
  // One row of values, in the order bindColumns named them.
  void append(const Bulk::Row& sourceRow);
  // Writes the open pages, the free-space maps and the row count.
  void finish();

 private:
  struct Binding {
    const ColumnDef* column;
    int source;
  };
  QByteArray encodeRow(const std::vector<QVariant>& values);
  void encodeFixed(const ColumnDef& c, const QVariant& v, QByteArray& row);
  QByteArray encodeVar(const ColumnDef& c, const QVariant& v);
  QByteArray storeLongValue(const ColumnDef& c, const QByteArray& data, bool asInline);
  RowPointer placeLongValueRow(const ColumnDef& c, const QByteArray& row);
  void placeRow(const QByteArray& row);
  OpenPage startPage(quint32 owner);
  void registerLongValuePage(const ColumnDef& c, quint32 page);
  void closePage(const OpenPage& page);
  void releasePages(RowPointer ownedMap, const QByteArray& ownerTag);
  [[noreturn]] void failValue(const ColumnDef& c, const QString& why) const;

  PageFile& file_;
  TableDef table_;
  std::vector<Binding> bindings_;
  std::vector<QVariant> values_;  // the row being encoded
  int fixedSize_ = 0;
  int maskBytes_ = 0;
  OpenPage dataPage_;
  std::map<int, OpenPage> longValuePages_;  // by column number
};

}  // namespace Jet::writer
