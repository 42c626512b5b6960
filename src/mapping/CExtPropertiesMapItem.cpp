#include "mapping/CExtPropertiesMapItem.h"

#include <QList>
#include <QPair>

#include <cmath>
#include <limits>
#include <optional>

#include "core/BoundedXml.h"

namespace {

// The document writes Booleans as "true"/"false" and leaves empty what is off.
QString normalisedValue(const QString& text) {
  if (text == QLatin1String("true")) return QStringLiteral("1");
  if (text == QLatin1String("false") || text.isEmpty()) return QStringLiteral("0");
  return text;
}

std::optional<double> asNumber(const QString& value) {
  bool ok = false;
  const double d = value.trimmed().toDouble(&ok);
  if (!ok || !std::isfinite(d)) return std::nullopt;
  return d;
}

// Boolean conversion of the original runtime: any number (non-zero is True)
// or the words True/False in any case.
std::optional<bool> asBool(const QString& value) {
  const QString t = value.trimmed();
  if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  const auto d = asNumber(t);
  if (!d) return std::nullopt;
  return *d != 0.0;
}

template <class Int>
std::optional<Int> asInteger(const QString& value) {
  const auto d = asNumber(value);
  if (!d) return std::nullopt;
  const double rounded = std::nearbyint(*d);  // half to even, as the runtime rounds
  if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max())
    return std::nullopt;
  return static_cast<Int>(rounded);
}

template <class T, class Convert>
bool store(T& field, const QString& value, Convert convert) {
  const auto v = convert(value);
  if (!v) return false;
  field = *v;
  return true;
}

bool same(const QString& a, const char* b) { return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0; }

}  // namespace

bool CExtPropertiesMapItem::assign(const QString& name, const QString& value) {
  if (same(name, "Group")) return store(Group, value, asBool);
  if (same(name, "Random")) return store(Random, value, asBool);
  if (same(name, "Serial")) return store(Serial, value, asBool);
  if (same(name, "ShareGroup")) return store(ShareGroup, value, asBool);
  if (same(name, "Sel")) return store(Sel, value, asInteger<qint32>);
  if (same(name, "BasicType")) return store(BasicType, value, asInteger<qint16>);
  if (same(name, "NumChoices")) return store(NumChoices, value, asInteger<qint32>);
  if (same(name, "NumSel")) return store(NumSel, value, asInteger<qint32>);
  if (same(name, "DefineChoices")) DefineChoices = value;
  else if (same(name, "LOWDEDUCT")) LOWDEDUCT = value;
  else if (same(name, "UPDEDUCT")) UPDEDUCT = value;
  else if (same(name, "Help")) Help = value;
  return true;  // a name that is no field is skipped
}

// Each child element of the root gives its local name and all the text inside
// it; blank runs between tags do not count, other nodes are passed over.
// Nothing is assigned unless the whole document reads.
bool CExtPropertiesMapItem::DeSerialize(const QString& ExtXML) {
  QList<QPair<QString, QString>> properties;
  const bool blank = ExtXML.trimmed().isEmpty();
  BoundedXmlReader reader(ExtXML);
  while (!blank && !reader.atEnd()) {
    const QXmlStreamReader::TokenType token = reader.readNext();
    if (token == QXmlStreamReader::StartElement && reader.depth() == 2)
      properties.append({reader.reader().qualifiedName().toString().section(QLatin1Char(':'), -1), QString()});
    else if (token == QXmlStreamReader::Characters && reader.depth() >= 2 &&
             (reader.reader().isCDATA() || !reader.reader().isWhitespace()))
      properties.last().second += reader.reader().text();
  }
  if (blank || reader.failed()) {
    m_bReadable = false;
    return false;
  }
  CExtPropertiesMapItem read = *this;
  for (const auto& [name, value] : properties) {
    if (!read.assign(name, normalisedValue(value))) {
      m_bReadable = false;
      return false;
    }
  }
  *this = read;
  return true;
}

bool CExtPropertiesMapItem::Compare(const CExtPropertiesMapItem& ExtItem) const {
  if (!m_bReadable || !ExtItem.m_bReadable) return false;
  if (BasicType != ExtItem.BasicType) return false;
  if (Group != ExtItem.Group) return false;
  // How a group is drawn only matters for grouped problems.
  if (Group && (Random != ExtItem.Random || Serial != ExtItem.Serial)) return false;
  return Sel == ExtItem.Sel && NumChoices == ExtItem.NumChoices && NumSel == ExtItem.NumSel &&
         ShareGroup == ExtItem.ShareGroup && DefineChoices == ExtItem.DefineChoices;
}
