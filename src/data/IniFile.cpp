#include "data/IniFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {
// The profile calls hand back at most a 128-character buffer with its NUL.
constexpr int kIniBufferSize = 128;

QString decodeText(const QByteArray& bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  QStringDecoder gbk("GBK");
  if (gbk.isValid()) return gbk.decode(bytes);
  return QString::fromLatin1(bytes);
}

bool isHeader(const QString& trimmed) { return trimmed.startsWith('[') && trimmed.contains(']'); }

QString headerName(const QString& trimmed) {
  return trimmed.mid(1, trimmed.indexOf(']') - 1).trimmed();
}
}  // namespace

IniDocument IniDocument::load(const QString& fileName) {
  IniDocument doc;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return doc;
  QString text = decodeText(file.readAll());
  if (text.startsWith(QChar(0xFEFF))) text.remove(0, 1);  // a byte-order mark from an editor
  text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
  QStringList lines = text.split('\n');
  if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
  for (const QString& line : lines) {
    const QString trimmed = line.trimmed();
    if (isHeader(trimmed))
      doc.sections_.push_back({headerName(trimmed), {}});
    else if (doc.sections_.empty())
      doc.preamble_ << line;
    else
      doc.sections_.back().lines << line;
  }
  return doc;
}

IniDocument::Section* IniDocument::find(const QString& section) {
  for (Section& s : sections_)
    if (s.name.compare(section, Qt::CaseInsensitive) == 0) return &s;
  return nullptr;
}

const IniDocument::Section* IniDocument::find(const QString& section) const {
  return const_cast<IniDocument*>(this)->find(section);
}

std::optional<QString> IniDocument::keyOf(const QString& line) {
  const QString trimmed = line.trimmed();
  if (trimmed.isEmpty() || trimmed.startsWith(';')) return std::nullopt;
  const int eq = trimmed.indexOf('=');
  if (eq < 0) return std::nullopt;
  return trimmed.left(eq).trimmed();
}

bool IniDocument::hasSection(const QString& section) const { return find(section) != nullptr; }

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const {
  const Section* s = find(section);
  if (!s) return std::nullopt;
  for (const QString& line : s->lines) {
    const auto k = keyOf(line);
    if (k && k->compare(key, Qt::CaseInsensitive) == 0) return line.mid(line.indexOf('=') + 1).trimmed();
  }
  return std::nullopt;
}

void IniDocument::setValue(const QString& section, const QString& key, const QString& value) {
  Section* s = find(section);
  if (!s) {
    sections_.push_back({section, {}});
    s = &sections_.back();
  }
  for (QString& existing : s->lines) {
    const auto k = keyOf(existing);
    if (k && k->compare(key, Qt::CaseInsensitive) == 0) {
      existing = *k + '=' + value;  // the key keeps its spelling
      return;
    }
  }
  const QString line = key + '=' + value;
  // After the section's last entry, before the blank lines that part it from the next.
  qsizetype at = s->lines.size();
  while (at > 0 && s->lines.at(at - 1).trimmed().isEmpty()) --at;
  s->lines.insert(at, line);
}

bool IniDocument::save(const QString& fileName) const {
  QString text;
  for (const QString& line : preamble_) text += line + QLatin1String("\r\n");
  for (const Section& s : sections_) {
    text += '[' + s.name + QLatin1String("]\r\n");
    for (const QString& line : s.lines) text += line + QLatin1String("\r\n");
  }
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  file.write(text.toUtf8());
  return file.commit();
}

QString ReadIniString(const QString& Section, const QString& Key, const QString& FileName) {
  const QString value = IniDocument::load(FileName).value(Section, Key).value_or(QString());
  return value.left(kIniBufferSize - 1).trimmed();
}

bool WriteIniString(const QString& Section, const QString& Key, const QString& Value, const QString& FileName) {
  // Rewriting a file we cannot read would lose its other entries.
  if (QFile::exists(FileName) && !QFileInfo(FileName).isReadable()) return false;
  IniDocument doc = IniDocument::load(FileName);
  // A line break would split the entry; the profile calls never wrote one.
  QString value = Value.left(kIniBufferSize);
  value.replace('\r', ' ').replace('\n', ' ');
  doc.setValue(Section, Key, value);
  return doc.save(FileName);
}
