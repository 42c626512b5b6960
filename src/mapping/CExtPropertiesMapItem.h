#pragma once
#include <QString>
#include <QtGlobal>

// The properties of one problem type, read from the EXT document that a
// partition of the problem-type feature keeps in its ExtProperties column.
// Two partitions stand for the same problem type when Compare says so.
class CExtPropertiesMapItem {
 public:
  bool Group = false;
  bool Random = false;
  bool Serial = false;
  qint32 Sel = 0;
  qint16 BasicType = 0;
  qint32 NumChoices = 0;
  qint32 NumSel = 0;
  bool ShareGroup = false;
  QString DefineChoices;
  QString LOWDEDUCT;
  QString UPDEDUCT;
  QString Help;

  // Sets the fields the document names; missing elements leave theirs alone,
  // nodes that name no field are skipped. A Null, empty or malformed document,
  // one past the XML limits (core/BoundedXml.h), or a value that does not fit
  // its field, changes no field and returns false: the item then matches no
  // other item, so such a partition is never paired by its properties.
  bool DeSerialize(const QString& ExtXML);

  // True when both items describe the same problem type. Deductions and the
  // answering guide take no part.
  bool Compare(const CExtPropertiesMapItem& ExtItem) const;

  bool IsReadable() const { return m_bReadable; }

 private:
  bool assign(const QString& name, const QString& value);
  bool m_bReadable = true;
};
