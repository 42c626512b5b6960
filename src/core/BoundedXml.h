#pragma once
#include <QString>
#include <QXmlStreamReader>

// XML read from exchange files is untrusted: a document may be nested
// thousands deep or run to many megabytes. The documents the examination
// system writes (content and problem trees, problem-type properties) are a
// few levels deep and some kilobytes long, so these limits leave ample room.
inline constexpr int kMaxXmlDepth = 256;                     // elements open at once
inline constexpr qsizetype kMaxXmlLength = 4 * 1024 * 1024;  // characters

// A stream reader that fails, like on a malformed document, once a document
// is longer or deeper than the limits. It keeps no state per level beyond the
// reader's own stack of open tags, so reading takes time linear in the text.
class BoundedXmlReader {
 public:
  explicit BoundedXmlReader(const QString& text);

  // The next token; Invalid once the document is malformed or past a limit.
  QXmlStreamReader::TokenType readNext();
  bool atEnd() const { return reader_.atEnd(); }
  bool failed() const { return reader_.hasError(); }
  // Elements open after the current token (1 inside the root element).
  int depth() const { return depth_; }
  // Where the current token ends in the text.
  qsizetype offset() const { return reader_.characterOffset(); }
  const QXmlStreamReader& reader() const { return reader_; }

 private:
  QXmlStreamReader reader_;
  int depth_ = 0;
};
