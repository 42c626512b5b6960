#include "core/BoundedXml.h"

// A reader built on the whole text knows where the document ends; one fed
// with addData would wait for more after the root element.
BoundedXmlReader::BoundedXmlReader(const QString& text) : reader_(text.size() > kMaxXmlLength ? QString() : text) {
  // Names are taken as written (a prefix is part of the name), as the trees
  // have always been read; an undeclared prefix is therefore no error.
  reader_.setNamespaceProcessing(false);
  if (text.size() > kMaxXmlLength) {
    reader_.raiseError(QStringLiteral("document longer than %1 characters").arg(kMaxXmlLength));
  }
}

QXmlStreamReader::TokenType BoundedXmlReader::readNext() {
  if (reader_.hasError()) return QXmlStreamReader::Invalid;
  const QXmlStreamReader::TokenType token = reader_.readNext();
  if (token == QXmlStreamReader::StartElement && ++depth_ > kMaxXmlDepth) {
    reader_.raiseError(QStringLiteral("elements nested deeper than %1").arg(kMaxXmlDepth));
    return QXmlStreamReader::Invalid;
  }
  if (token == QXmlStreamReader::EndElement) --depth_;
  return token;
}
