#include "data/jet/JetReader.h"

// glib goes first: mdbtools.h would pull it in inside its extern "C" block.
#include <glib.h>
#include <mdbtools.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "data/jet/JetStream.h"

namespace Jet {
namespace {

using Bytes = std::string;

// Reasons to stop reading; the text goes to the loading process.
struct ReadFailure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The file holds less than it says: not every row can be read.
struct Shortfall {
  Stream::Shortfall kind;
  std::string table;
  std::uint32_t a = 0;
  std::uint32_t b = 0;
};
// The loading process stopped listening: nothing more to do.
struct StreamClosed {};

constexpr unsigned long catalogDefinitionPage = 2;
constexpr std::uint32_t memoLengthMask = 0x3FFFFFFF;
constexpr std::uint32_t memoInline = 0x80000000;
constexpr std::uint32_t memoSinglePage = 0x40000000;

std::uint32_t le32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}

// Collects messages and writes them to the descriptor in large pieces.
class StreamWriter {
 public:
  explicit StreamWriter(int fd) : fd_(fd) {}

  void begin(Stream::Message kind) {
    messageStart_ = buffer_.size();
    buffer_.push_back(char(kind));
    buffer_.append(4, '\0');
  }
  void end() {
    const std::size_t length = buffer_.size() - messageStart_ - 5;
    if (length > Stream::MaxMessage) throw ReadFailure("有一个值比 Access 允许的大");
    for (int i = 0; i < 4; ++i) buffer_[messageStart_ + 1 + i] = char((length >> (8 * i)) & 0xFF);
    if (buffer_.size() >= flushSize) flush();
  }
  void u8(std::uint8_t v) { buffer_.push_back(char(v)); }
  void u16(std::uint16_t v) { put(&v, sizeof v); }
  void u32(std::uint32_t v) { put(&v, sizeof v); }
  void i32(std::int32_t v) { put(&v, sizeof v); }
  void f64(double v) { put(&v, sizeof v); }
  void str(const char* data, std::size_t size) {
    u32(std::uint32_t(size));
    buffer_.append(data, size);
  }
  void str(const Bytes& b) { str(b.data(), b.size()); }

  void flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw StreamClosed{};
      done += std::size_t(n);
    }
    buffer_.clear();
  }
  void discardPartialMessage() { buffer_.resize(messageStart_); }

 private:
  static constexpr std::size_t flushSize = 1 << 18;
  void put(const void* p, std::size_t n) { buffer_.append(static_cast<const char*>(p), n); }

  int fd_;
  Bytes buffer_;
  std::size_t messageStart_ = 0;
};

// Jet 4 text is UCS-2; "compressed" text starts with FF FE and holds runs of
// one-byte characters (the low byte, high byte 0) and of two-byte characters,
// each 00 byte switching between them.
Bytes textToUtf16(const unsigned char* p, std::size_t n) {
  Bytes out;
  if (n >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
    out.reserve((n - 2) * 2);
    bool compressed = true;
    std::size_t i = 2;
    while (i < n) {
      if (p[i] == 0) {
        compressed = !compressed;
        ++i;
      } else if (compressed) {
        out.push_back(char(p[i++]));
        out.push_back('\0');
      } else if (i + 1 < n) {
        out.push_back(char(p[i]));
        out.push_back(char(p[i + 1]));
        i += 2;
      } else {
        break;  // a lone last byte is no character
      }
    }
  } else {
    out.assign(reinterpret_cast<const char*>(p), n & ~std::size_t(1));
  }
  return out;
}

std::int32_t fixedInt(const unsigned char* p, int size) {
  switch (size) {
    case 1: return p[0];
    case 2: return std::int16_t(std::uint16_t(p[0] | p[1] << 8));
    default: return std::int32_t(le32(p));
  }
}

struct MdbClose {
  void operator()(MdbHandle* h) const { mdb_close(h); }
};
struct TableFree {
  void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
using MdbPtr = std::unique_ptr<MdbHandle, MdbClose>;
using TablePtr = std::unique_ptr<MdbTableDef, TableFree>;

class FileStreamer {
 public:
  FileStreamer(MdbHandle* mdb, StreamWriter& out, std::uint64_t fileSize, const char* onlyTable)
      : mdb_(mdb), out_(out), fileSize_(fileSize), onlyTable_(onlyTable),
        pageBuffer_(2 * std::size_t(mdb->fmt->pg_size)) {}

  void run() {
    out_.begin(Stream::FileHeader);
    out_.u32(mdb_->f->jet_version);
    out_.u32(mdb_->f->db_key);
    out_.end();
    if (mdb_->f->jet_version != MDB_VER_JET4)
      throw ReadFailure("文件不是 Access 2000 (Jet 4) 数据库");
    const std::uint64_t pageSize = mdb_->fmt->pg_size;
    if (fileSize_ % pageSize != 0) throw Shortfall{Stream::PartialPage, {}, std::uint32_t(fileSize_ % pageSize)};
    if (!mdb_read_catalog(mdb_, MDB_ANY)) throw ReadFailure("表目录不能读取");
    checkCatalogComplete();
    std::uint32_t tables = 0;
    for (unsigned i = 0; i < mdb_->num_catalog; ++i) {
      auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb_->catalog, i));
      if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) continue;
      if (onlyTable_ && g_ascii_strcasecmp(entry->object_name, onlyTable_) != 0) continue;
      streamTable(entry);
      ++tables;
    }
    out_.begin(Stream::Done);
    out_.u32(tables);
    out_.end();
  }

 private:
  void streamTable(MdbCatalogEntry* entry) {
    const TablePtr table(mdb_read_table(entry));
    if (!table) throw ReadFailure(std::string("表 ") + entry->object_name + " 的定义不能读取");
    if (!mdb_read_columns(table.get()) || table->num_cols == 0 || table->num_cols > unsigned(Stream::MaxColumns))
      throw ReadFailure(std::string("表 ") + entry->object_name + " 的列不能读取");
    // libmdb scans a table through its page map and does not check it is there.
    if (!table->usage_map || table->map_sz == 0)
      throw ReadFailure(std::string("表 ") + entry->object_name + " 的页表不能读取");
    checkPageMap(table.get(), entry->table_pg);
    sendTableStart(table.get());
    std::vector<MdbField> fields(table->num_cols);
    mdb_rewind_table(table.get());
    rowsSent_ = 0;
    while (mdb_fetch_row(table.get())) {
      ++rowsSent_;
      sendRow(table.get(), fields);
    }
    // libmdb stops quietly at a page it cannot read; the definition's count
    // tells a complete table from a cut one.
    if (rowsSent_ != table->num_rows) throw Shortfall{Stream::RowCount, table->name, rowsSent_, table->num_rows};
  }

  // A catalog cut short would hide whole tables: it must hold every object
  // its table definition (page 2) counts.
  void checkCatalogComplete() {
    if (mdb_read_pg(mdb_, catalogDefinitionPage) != ssize_t(mdb_->fmt->pg_size) || mdb_->pg_buf[0] != 0x02)
      throw ReadFailure("表目录不能读取");
    const std::uint32_t declared = le32(mdb_->pg_buf + mdb_->fmt->tab_num_rows_offset);
    if (mdb_->num_catalog != declared) throw Shortfall{Stream::RowCount, "MSysObjects", mdb_->num_catalog, declared};
  }

  // Every page the table's map lists must be in the file and be a data page
  // of this table: libmdb skips the others without a word.
  void checkPageMap(MdbTableDef* table, unsigned long tdefPage) {
    const std::uint64_t pages = fileSize_ / std::uint64_t(mdb_->fmt->pg_size);
    std::int64_t page = 0;
    for (;;) {
      const std::int64_t next = mdb_map_find_next(mdb_, table->usage_map, unsigned(table->map_sz), std::uint32_t(page));
      if (next <= page) break;  // libmdb answers -1 after the last page
      page = next;
      if (std::uint64_t(page) >= pages) throw Shortfall{Stream::PageMissing, table->name, std::uint32_t(page)};
      if (mdb_read_pg(mdb_, (unsigned long)page) != ssize_t(mdb_->fmt->pg_size) || mdb_->pg_buf[0] != 0x01 ||
          le32(mdb_->pg_buf + 4) != tdefPage)
        throw Shortfall{Stream::PageForeign, table->name, std::uint32_t(page)};
    }
  }

  void sendTableStart(MdbTableDef* table) {
    out_.begin(Stream::TableStart);
    out_.str(table->name, std::strlen(table->name));
    out_.u32(table->num_real_idxs);
    out_.u16(std::uint16_t(table->num_cols));
    for (unsigned c = 0; c < table->num_cols; ++c) {
      const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
      out_.str(col->name, std::strlen(col->name));
      out_.u8(std::uint8_t(col->col_type));
      out_.u32(std::uint32_t(col->col_size));
      out_.u8(std::uint8_t(col->col_scale));
      out_.u8(std::uint8_t(col->col_prec));
    }
    out_.end();
  }

  // mdb_fetch_row has just accepted row cur_row - 1 of the page in pg_buf;
  // its values are taken from the raw bytes, not from libmdb's bound strings
  // (which are cut at the bind size and converted through iconv).
  void sendRow(MdbTableDef* table, std::vector<MdbField>& fields) {
    int start = 0;
    std::size_t size = 0;
    if (table->cur_row == 0 || mdb_find_row(mdb_, int(table->cur_row - 1), &start, &size) != 0)
      throw ReadFailure(std::string("表 ") + table->name + " 有一行找不到");
    start &= 0x1FFF;
    if (size == 0 || mdb_crack_row(table, start, size, fields.data()) < 0)
      throw ReadFailure(std::string("表 ") + table->name + " 有一行已损坏");
    out_.begin(Stream::Row);
    for (unsigned c = 0; c < table->num_cols; ++c) {
      auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
      sendValue(col, fields[c], table->name);
    }
    out_.end();
  }

  void sendValue(MdbColumn* col, const MdbField& field, const char* tableName) {
    if (col->col_type == MDB_BOOL) {
      // A Yes/No value lives in the null mask itself.
      out_.u8(Stream::Int32);
      out_.i32(field.is_null ? 0 : 1);
      return;
    }
    if (field.is_null) {
      out_.u8(Stream::Null);
      return;
    }
    const int pgSize = int(mdb_->fmt->pg_size);
    if (field.start < 0 || field.siz < 0 || field.start + field.siz > pgSize)
      throw ReadFailure(std::string("表 ") + tableName + " 有一个值超出了所在的页");
    const unsigned char* p = mdb_->pg_buf + field.start;
    const auto need = [&](int n) {
      if (field.siz < n) throw ReadFailure(std::string("表 ") + tableName + " 有一个值不完整");
    };
    switch (col->col_type) {
      case MDB_BYTE: need(1); sendInt(fixedInt(p, 1)); break;
      case MDB_INT: need(2); sendInt(fixedInt(p, 2)); break;
      case MDB_LONGINT:
      case MDB_COMPLEX: need(4); sendInt(fixedInt(p, 4)); break;
      case MDB_FLOAT: {
        need(4);
        float f;
        std::memcpy(&f, p, 4);
        sendDouble(Stream::Double, f);
        break;
      }
      case MDB_DOUBLE: need(8); sendDouble(Stream::Double, p); break;
      case MDB_DATETIME: need(8); sendDouble(Stream::DateTime, p); break;
      case MDB_MONEY: need(8); sendAscii(mdb_money_to_string(mdb_, field.start)); break;
      case MDB_NUMERIC:
        need(17);
        sendAscii(mdb_numeric_to_string(mdb_, field.start, col->col_scale, col->col_prec));
        break;
      case MDB_REPID: need(16); sendAscii(mdb_uuid_to_string(mdb_->pg_buf, field.start)); break;
      case MDB_TEXT:
        out_.u8(Stream::Text);
        out_.str(textToUtf16(p, std::size_t(field.siz)));
        break;
      case MDB_MEMO: {
        const Bytes raw = longValue(col, field, tableName);
        out_.u8(Stream::Text);
        out_.str(textToUtf16(reinterpret_cast<const unsigned char*>(raw.data()), raw.size()));
        break;
      }
      case MDB_OLE:
        out_.u8(Stream::Binary);
        out_.str(longValue(col, field, tableName));
        break;
      default:
        out_.u8(Stream::Binary);
        out_.str(reinterpret_cast<const char*>(p), std::size_t(field.siz));
        break;
    }
  }

  void sendInt(std::int32_t v) {
    out_.u8(Stream::Int32);
    out_.i32(v);
  }
  void sendDouble(Stream::Value tag, double v) {
    out_.u8(tag);
    out_.f64(v);
  }
  void sendDouble(Stream::Value tag, const unsigned char* p) {
    double v;
    std::memcpy(&v, p, 8);
    sendDouble(tag, v);
  }
  void sendAscii(char* text) {
    const std::unique_ptr<char, decltype(&g_free)> owned(text, &g_free);
    out_.u8(Stream::Ascii);
    if (text)
      out_.str(text, std::strlen(text));
    else
      out_.str("", 0);
  }

  // A memo or OLE value: inline in the row, or in LVAL rows on other pages
  // (one row, or a chain of rows each pointing to the next).
  Bytes longValue(MdbColumn* col, const MdbField& field, const char* tableName) {
    if (field.siz < MDB_MEMO_OVERHEAD)
      throw ReadFailure(std::string("表 ") + tableName + " 有一个备注的头部已损坏");
    unsigned char header[MDB_MEMO_OVERHEAD];
    std::memcpy(header, mdb_->pg_buf + field.start, MDB_MEMO_OVERHEAD);
    const std::uint32_t word = le32(header);
    const std::uint64_t length = word & memoLengthMask;
    if (length > fileSize_)
      throw ReadFailure(std::string("表 ") + tableName + " 有一个备注所记的字节数超过了文件的大小");
    if (word & memoInline) {
      const std::size_t stored = std::size_t(field.siz - MDB_MEMO_OVERHEAD);
      if (stored < length) throw Shortfall{Stream::MemoCut, tableName, rowsSent_};
      return Bytes(reinterpret_cast<const char*>(mdb_->pg_buf + field.start + MDB_MEMO_OVERHEAD), length);
    }
    if ((word & 0xC0000000) != memoSinglePage && (word & 0xC0000000) != 0)
      throw ReadFailure(std::string("表 ") + tableName + " 有一个备注的类型无法识别");
    Bytes value;
    col->bind_ptr = pageBuffer_.data();
    std::size_t n = mdb_ole_read(mdb_, col, header, pageBuffer_.size());
    value.append(pageBuffer_.data(), std::min(n, pageBuffer_.size()));
    if (!(word & memoSinglePage)) {
      // The length bounds the chain, so a chain that loops still ends.
      while (value.size() < length && (n = mdb_ole_read_next(mdb_, col, header)) > 0)
        value.append(pageBuffer_.data(), std::min(n, pageBuffer_.size()));
    }
    col->bind_ptr = nullptr;
    if (value.size() < length) throw Shortfall{Stream::MemoCut, tableName, rowsSent_};
    value.resize(length);
    return value;
  }

  MdbHandle* mdb_;
  StreamWriter& out_;
  std::uint64_t fileSize_;
  const char* onlyTable_;  // null: every user table
  std::vector<char> pageBuffer_;
  std::uint32_t rowsSent_ = 0;
};

void sendShortfall(StreamWriter& out, const Shortfall& s) {
  out.discardPartialMessage();
  out.begin(Stream::Incomplete);
  out.u8(s.kind);
  out.str(s.table);
  out.u32(s.a);
  out.u32(s.b);
  out.end();
  out.flush();
}

void sendFailure(StreamWriter& out, const char* what) {
  out.discardPartialMessage();
  out.begin(Stream::Failure);
  out.str(what, std::strlen(what));
  out.end();
  out.flush();
}

}  // namespace

int streamFile(const char* path, int fd, const char* onlyTable) {
  StreamWriter out(fd);
  try {
    struct stat st {};
    if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) throw ReadFailure("找不到文件");
    const MdbPtr mdb(mdb_open(path, MDB_NOFLAGS));
    if (!mdb || !mdb->fmt || !mdb->f) throw ReadFailure("文件不是 Access 数据库");
    FileStreamer(mdb.get(), out, std::uint64_t(st.st_size), onlyTable).run();
    out.flush();
    return 0;
  } catch (const ReadFailure& e) {
    try {
      sendFailure(out, e.what());
    } catch (const StreamClosed&) {
    }
  } catch (const Shortfall& s) {
    try {
      sendShortfall(out, s);
    } catch (const StreamClosed&) {
    }
  } catch (const StreamClosed&) {
  } catch (const std::bad_alloc&) {
    try {
      sendFailure(out, "内存不足");
    } catch (const StreamClosed&) {
    }
  } catch (...) {
    // Nothing may escape: the program that started the reader hears of the
    // failure from the missing end of the stream.
  }
  return 1;
}

}  // namespace Jet
