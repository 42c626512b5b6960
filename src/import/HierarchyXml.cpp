#include "import/HierarchyXml.h"

#include <QSet>
#include <algorithm>
#include <functional>

#include "core/BoundedXml.h"

namespace {
bool IsXmlBlank(QChar c) {
  return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
}

qsizetype SkipBlanks(const QString& text, qsizetype i, qsizetype end) {
  while (i < end && IsXmlBlank(text.at(i))) ++i;
  return i;
}

// Finds the start tag's name and its ID value in the text. The reader has
// checked the tag already; any surprise here means the offsets do not match
// the text, and the document is not touched.
bool LocateStartTag(const QString& text, TreeElement& e) {
  if (e.startBegin < 0 || e.startEnd > text.size() || text.at(e.startEnd - 1) != QLatin1Char('>') ||
      QStringView(text).mid(e.startBegin + 1, e.name.size()) != e.name)
    return false;
  qsizetype i = e.startBegin + 1 + e.name.size();
  for (;;) {
    i = SkipBlanks(text, i, e.startEnd);
    if (i >= e.startEnd) return false;
    if (text.at(i) == QLatin1Char('/') || text.at(i) == QLatin1Char('>')) break;
    const qsizetype nameBegin = i;
    while (i < e.startEnd && !IsXmlBlank(text.at(i)) && text.at(i) != QLatin1Char('=')) ++i;
    const QStringView name = QStringView(text).mid(nameBegin, i - nameBegin);
    i = SkipBlanks(text, i, e.startEnd);
    if (i >= e.startEnd || text.at(i) != QLatin1Char('=')) return false;
    i = SkipBlanks(text, i + 1, e.startEnd);
    if (i >= e.startEnd || (text.at(i) != QLatin1Char('"') && text.at(i) != QLatin1Char('\''))) return false;
    const qsizetype valueEnd = text.indexOf(text.at(i), i + 1);
    if (valueEnd < 0 || valueEnd >= e.startEnd) return false;
    if (name == QLatin1String("ID")) {
      e.idBegin = i + 1;
      e.idEnd = valueEnd;
    }
    i = valueEnd + 1;
  }
  return e.id.has_value() == (e.idBegin >= 0);
}

bool LocateEndTag(const QString& text, TreeElement& e) {
  if (e.endEnd > text.size()) return false;
  const bool empty = e.endEnd == e.startEnd && text.at(e.startEnd - 2) == QLatin1Char('/');
  e.endBegin = empty ? e.endEnd : text.lastIndexOf(QLatin1Char('<'), e.endEnd - 1);
  return empty || (e.endBegin >= e.startEnd && QStringView(text).mid(e.endBegin, 2) == QLatin1String("</"));
}
}  // namespace

bool DeclaresDocumentType(const QString& text) {
  BoundedXmlReader reader(text);
  // A declaration can only stand before the root element.
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD: return true;
      case QXmlStreamReader::StartElement:
      case QXmlStreamReader::Invalid: return false;
      default: break;
    }
  }
  return false;
}

std::optional<qint32> TreeElement::numericId() const {
  if (!id) return std::nullopt;
  bool ok = false;
  const qint32 value = id->trimmed().toInt(&ok);
  return ok ? std::optional<qint32>(value) : std::nullopt;
}

std::optional<TreeDocument> TreeDocument::Read(const QString& text) {
  TreeDocument doc;
  doc.text_ = text;
  std::vector<int> open;  // indices of the elements not closed yet
  // The reader does not count a leading byte-order mark in its offsets.
  const qsizetype shift = text.startsWith(QChar(0xFEFF)) ? 1 : 0;
  BoundedXmlReader reader(text);
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::DTD:
      case QXmlStreamReader::EntityReference:
        return std::nullopt;
      case QXmlStreamReader::StartElement: {
        TreeElement e;
        e.name = reader.reader().qualifiedName().toString();
        e.parent = open.empty() ? -1 : open.back();
        const QXmlStreamAttributes attributes = reader.reader().attributes();
        if (attributes.hasAttribute(QStringLiteral("ID"))) e.id = attributes.value(QStringLiteral("ID")).toString();
        e.startEnd = reader.offset() + shift;
        // No '<' can stand inside a tag, so the nearest one before its end starts it.
        e.startBegin = text.lastIndexOf(QLatin1Char('<'), e.startEnd - 1);
        if (!LocateStartTag(text, e)) return std::nullopt;
        open.push_back(static_cast<int>(doc.elements_.size()));
        doc.elements_.push_back(std::move(e));
        break;
      }
      case QXmlStreamReader::EndElement: {
        TreeElement& e = doc.elements_[static_cast<size_t>(open.back())];
        open.pop_back();
        e.endEnd = reader.offset() + shift;
        if (!LocateEndTag(text, e)) return std::nullopt;
        break;
      }
      default:
        break;
    }
  }
  if (reader.failed() || doc.elements_.empty()) return std::nullopt;
  return doc;
}

QString TreeDocument::Rewritten(const std::vector<Edit>& edits) const {
  std::vector<Piece> pieces;
  for (const Edit& edit : edits) {
    const TreeElement& e = elements_.at(static_cast<size_t>(edit.element));
    if (edit.newId) {
      if (e.idBegin >= 0) pieces.push_back({e.idBegin, e.idEnd, QString::number(*edit.newId)});
    } else {
      pieces.push_back({e.startBegin, e.startEnd, QString()});
      pieces.push_back({e.endBegin, e.endEnd, QString()});
    }
  }
  return Spliced(std::move(pieces));
}

QString TreeDocument::Spliced(std::vector<Piece> pieces) const {
  std::stable_sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.begin < b.begin; });
  QString out;
  out.reserve(text_.size());
  qsizetype at = 0;
  for (const Piece& piece : pieces) {
    out += QStringView(text_).mid(at, piece.begin - at);
    out += piece.text;
    at = piece.end;
  }
  out += QStringView(text_).mid(at);
  return out;
}

ContentTreeResult TranslateContentTree(const QVariant& text, const IdMap& contents) {
  ContentTreeResult result;
  if (text.isNull() || text.toString().trimmed().isEmpty()) return result;
  const std::optional<TreeDocument> doc = TreeDocument::Read(text.toString());
  result.documentType = !doc && DeclaresDocumentType(text.toString());
  if (!doc) {
    result.stored = QVariant();  // unreadable text would keep the file's IDs
    return result;
  }
  const std::vector<TreeElement>& elements = doc->elements();
  std::vector<qint32> newIds(elements.size(), 0);
  std::vector<TreeDocument::Edit> edits;
  QSet<qint32> named;
  result.usable = true;
  // The root element is the document's frame, not a content.
  for (size_t i = 1; i < elements.size(); ++i) {
    const TreeElement& e = elements[i];
    if (e.name != QLatin1String("CONTENT")) {
      result.usable = false;  // passed on as it is: it names no content
      continue;
    }
    const std::optional<qint32> oldId = e.numericId();
    const std::optional<qint32> newId = oldId ? contents.value(*oldId) : std::nullopt;
    if (!newId || named.contains(*newId)) {
      result.usable = false;
      edits.push_back({static_cast<int>(i), std::nullopt});
      continue;
    }
    named.insert(*newId);
    newIds[i] = *newId;
    edits.push_back({static_cast<int>(i), *newId});
  }
  result.stored = doc->Rewritten(edits);
  if (!result.usable) return result;
  for (size_t i = 1; i < elements.size(); ++i)
    result.parents.insert(newIds[i], newIds[static_cast<size_t>(elements[i].parent)]);
  return result;
}

std::vector<ContentPlace> PlaceContents(const IdMap& contents, const QHash<qint32, qint32>& treeParents,
                                        const QHash<qint32, qint32>& fileParents) {
  QHash<qint32, qint32> parents;
  for (const auto& [oldId, newId] : contents) {
    if (treeParents.contains(newId)) {
      parents.insert(newId, treeParents.value(newId));
      continue;
    }
    const qint32 oldParent = fileParents.value(oldId, 0);
    const std::optional<qint32> newParent = oldParent != 0 ? contents.value(oldParent) : std::nullopt;
    parents.insert(newId, newParent && *newParent != newId ? *newParent : 0);
  }

  // Levels along the parent chains, each content resolved once: walk up to a
  // resolved content (or the top), then set levels on the way back.
  QHash<qint32, int> levels;
  std::vector<qint32> path;
  QSet<qint32> onPath;
  for (const auto& entry : contents) {
    path.clear();
    onPath.clear();
    for (qint32 at = entry.second; at != 0 && !levels.contains(at); at = parents.value(at)) {
      if (onPath.contains(at)) {  // a loop: this content goes to the top
        parents[at] = 0;
        levels.insert(at, 0);
        break;
      }
      onPath.insert(at);
      path.push_back(at);
    }
    for (auto it = path.rbegin(); it != path.rend(); ++it) {
      if (levels.contains(*it)) continue;
      const qint32 parent = parents.value(*it);
      int level = parent == 0 ? 0 : levels.value(parent) + 1;
      if (level >= kMaxXmlDepth) {
        parents[*it] = 0;
        level = 0;
      }
      levels.insert(*it, level);
    }
  }

  std::vector<ContentPlace> places;
  places.reserve(static_cast<size_t>(contents.size()));
  for (const auto& entry : contents)
    places.push_back({entry.second, parents.value(entry.second), static_cast<qint16>(levels.value(entry.second))});
  return places;
}

std::optional<QString> TranslateProblemTree(const QString& text, const IdMap& problems) {
  const std::optional<TreeDocument> doc = TreeDocument::Read(text);
  if (!doc) return std::nullopt;
  std::vector<TreeDocument::Edit> edits;
  for (size_t i = 0; i < doc->elements().size(); ++i) {
    const TreeElement& e = doc->elements()[i];
    if (e.name != QLatin1String("PROBLEM")) continue;
    const std::optional<qint32> oldId = e.numericId();
    const std::optional<qint32> newId = oldId ? problems.value(*oldId) : std::nullopt;
    if (newId) edits.push_back({static_cast<int>(i), *newId});
  }
  return doc->Rewritten(edits);
}

QString TreeDocument::Inserted(const std::vector<std::pair<int, QString>>& insertions) const {
  std::vector<Piece> pieces;
  for (const auto& [index, markup] : insertions) {
    const TreeElement& e = elements_.at(static_cast<size_t>(index));
    if (e.endBegin == e.endEnd)  // <X/>: the "/>" becomes ">" + markup + "</X>"
      pieces.push_back({e.startEnd - 2, e.startEnd, QLatin1Char('>') + markup + QStringLiteral("</") + e.name + QLatin1Char('>')});
    else
      pieces.push_back({e.endBegin, e.endBegin, markup});
  }
  return Spliced(std::move(pieces));
}

std::optional<QString> AddContents(const QString& text, const std::vector<std::pair<qint32, qint32>>& contents) {
  const std::optional<TreeDocument> doc = TreeDocument::Read(text);
  if (!doc) return std::nullopt;
  QHash<qint32, int> elementOf;
  for (size_t i = 1; i < doc->elements().size(); ++i) {
    const TreeElement& e = doc->elements()[i];
    const std::optional<qint32> id = e.numericId();
    if (e.name == QLatin1String("CONTENT") && id && !elementOf.contains(*id)) elementOf.insert(*id, static_cast<int>(i));
  }
  QSet<qint32> added;
  for (const auto& entry : contents) added.insert(entry.first);
  QHash<qint32, std::vector<qint32>> children;
  std::vector<std::pair<int, qint32>> tops;  // element to put it in, content
  for (const auto& [id, parent] : contents) {
    if (elementOf.contains(id)) continue;  // named already
    if (parent != id && added.contains(parent) && !elementOf.contains(parent))
      children[parent].push_back(id);
    else
      tops.emplace_back(elementOf.value(parent, 0), id);
  }
  // Each added content once; one whose chain of parents loops goes to the root.
  QSet<qint32> written;
  std::function<QString(qint32, int)> markup = [&](qint32 id, int depth) {
    written.insert(id);
    QString inner;
    if (depth < kMaxXmlDepth)
      for (const qint32 child : children.value(id))
        if (!written.contains(child)) inner += markup(child, depth + 1);
    const QString open = QStringLiteral("<CONTENT ID=\"%1\"").arg(id);
    return inner.isEmpty() ? open + QStringLiteral("/>") : open + QLatin1Char('>') + inner + QStringLiteral("</CONTENT>");
  };
  std::vector<std::pair<int, QString>> insertions;
  for (const auto& [element, id] : tops) insertions.emplace_back(element, markup(id, 1));
  for (const auto& [id, parent] : contents)
    if (!written.contains(id) && !elementOf.contains(id)) insertions.emplace_back(0, markup(id, 1));
  return doc->Inserted(insertions);
}
