#pragma once
#include <QHash>
#include <QString>
#include <QVariant>
#include <optional>
#include <vector>

#include "core/OrderedMap.h"

// The content and problem trees an exchange file carries name rows by their
// exchange IDs. They are rewritten in place: only the ID values change (and,
// for a content tree that cannot be used, elements that name nothing of the
// course are left out); attribute order, quoting, entities, other elements
// and text stay exactly as the file wrote them.

// One element of a tree document and where its parts sit in the text.
struct TreeElement {
  QString name;               // as written, prefix included
  int parent = -1;            // index of the enclosing element; -1 for the root
  std::optional<QString> id;  // the ID attribute's value, entities resolved
  qsizetype startBegin = 0;   // the start tag
  qsizetype startEnd = 0;
  qsizetype idBegin = -1;  // the ID value between its quotes
  qsizetype idEnd = -1;
  qsizetype endBegin = 0;  // the end tag; empty for <X/>
  qsizetype endEnd = 0;

  // The ID as the trees write it: a decimal number, blanks around allowed.
  std::optional<qint32> numericId() const;
};

class TreeDocument {
 public:
  // Null when the text is not a well-formed document, is past the XML limits
  // or declares a document type (its entities could make elements the text
  // does not show).
  static std::optional<TreeDocument> Read(const QString& text);

  const std::vector<TreeElement>& elements() const { return elements_; }

  struct Edit {
    int element = 0;
    std::optional<qint32> newId;  // the new ID; none: the element's tags are left out
  };
  // The text with the edits applied and nothing else changed.
  QString Rewritten(const std::vector<Edit>& edits) const;
  // The text with markup put at the end of elements' content, in the order
  // given; an empty element (<X/>) is opened and closed for it.
  QString Inserted(const std::vector<std::pair<int, QString>>& insertions) const;

 private:
  // A part of the text replaced by another; pieces at one place keep their order.
  struct Piece {
    qsizetype begin;
    qsizetype end;
    QString text;
  };
  QString Spliced(std::vector<Piece> pieces) const;

  QString text_;
  std::vector<TreeElement> elements_;
};

// Whether a tree document declares a document type. Its entities could make
// elements the text does not show, and the database would keep a document
// whose declarations other readers follow: such a tree is not used, and not
// kept. The declaration itself is only recognised, never read.
bool DeclaresDocumentType(const QString& text);

// What becomes of a course's content tree.
struct ContentTreeResult {
  // True when the tree was used to place contents.
  bool usable = false;
  // True when it was refused for declaring a document type (stored Null).
  bool documentType = false;
  // The text the course row keeps: the tree with new IDs, or Null when it
  // could not be read at all. Unset when the column stays as it is.
  std::optional<QVariant> stored;
  // New content ID -> new parent ID (0: top level) for the contents the tree
  // places.
  QHash<qint32, qint32> parents;
};

// Reads a content tree against the content map. The tree is usable when it
// reads within the limits and every element below the root is a CONTENT
// element with an ID the map holds, each named once. An unusable tree is
// still stored without the file's IDs: the first CONTENT element of each held
// ID gets the new ID, every other CONTENT element is left out (its children
// stay).
ContentTreeResult TranslateContentTree(const QVariant& text, const IdMap& contents);

// Parent and level of one content.
struct ContentPlace {
  qint32 id = 0;
  qint32 parent = 0;
  qint16 level = 0;
};

// Places every content of the map: the tree's parent where it gives one, else
// the file's parent through the map, else the top level; never the content
// itself or a content outside the map. A chain of parents that loops or runs
// deeper than the XML depth limit is cut at the top level. Levels follow the
// parent chain. fileParents: exchange content ID -> exchange parent ID.
std::vector<ContentPlace> PlaceContents(const IdMap& contents, const QHash<qint32, qint32>& treeParents,
                                        const QHash<qint32, qint32>& fileParents);

// Replaces the IDs of the PROBLEM elements the problem map holds; other IDs,
// elements and text stay. Null when the text does not read as a tree.
std::optional<QString> TranslateProblemTree(const QString& text, const IdMap& problems);

// Adds CONTENT elements for contents the tree does not name yet (content ID,
// parent ID): each inside its parent's element when the tree or the added
// contents hold one, else at the end of the root. Null when the text does
// not read as a tree.
std::optional<QString> AddContents(const QString& text, const std::vector<std::pair<qint32, qint32>>& contents);
