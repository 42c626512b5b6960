#pragma once
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// Private profile (INI) files with the semantics the settings have always had:
// sections and keys matched without regard to case, keys may hold blanks,
// values trimmed on reading, written as given, no percent-encoding.
class IniDocument {
 public:
  // A missing or unreadable file reads as an empty document. Text is UTF-8;
  // a file that is not valid UTF-8 was written by an ANSI (GBK) program.
  static IniDocument load(const QString& fileName);

  bool hasSection(const QString& section) const;
  // The value trimmed of blanks; nullopt when the section or key is missing.
  std::optional<QString> value(const QString& section, const QString& key) const;
  // Adds the section at the end and the key at the end of its section when missing.
  void setValue(const QString& section, const QString& key, const QString& value);

  // Writes the whole file at once (never half-written), owner-only permissions:
  // these files hold credentials.
  bool save(const QString& fileName) const;

 private:
  struct Section {
    QString name;
    QStringList lines;  // raw lines below the header, comments and blanks kept
  };
  Section* find(const QString& section);
  const Section* find(const QString& section) const;
  static std::optional<QString> keyOf(const QString& line);

  QStringList preamble_;  // lines before the first section header
  std::vector<Section> sections_;
};

// Module mdleditINI.
// At most 127 characters, trimmed; empty text for a missing file, section or key.
QString ReadIniString(const QString& Section, const QString& Key, const QString& FileName);
// Writes Value (cut to 128 characters) as given; True when the file was written.
bool WriteIniString(const QString& Section, const QString& Key, const QString& Value, const QString& FileName);
