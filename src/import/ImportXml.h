#pragma once
#include <QDomElement>
#include <QString>
#include <QTextStream>

// An element's text as the stored XML columns keep it: the element and its
// children, with no blanks or line breaks added.
inline QString ElementXml(const QDomElement& element) {
  QString text;
  QTextStream stream(&text);
  element.save(stream, -1);
  return text;
}
