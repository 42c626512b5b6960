#pragma once
#include <QString>
#include <QStringList>

#include <vector>

// What updating a course from a newer exchange file would change, shown
// before anything is written: the file's problems and contents against the
// course's, each group with its count and its first rows.
struct UpdatePreview {
  enum class Kind { Added, Changed, Unchanged, OnlyInSystem };
  struct Row {
    QString key;      // the problem's code, the content's path
    QString text;     // the beginning of the body, the content's name
    QString columns;  // changed: the columns that change
  };
  struct Group {
    Kind kind = Kind::Added;
    int count = 0;
    std::vector<Row> first;  // at most kFirstRows
  };
  static constexpr int kFirstRows = 20;

  QString course;  // the system course's name
  int courseId = 0;
  static std::vector<Group> emptyGroups() {
    return {{Kind::Added, 0, {}}, {Kind::Changed, 0, {}}, {Kind::Unchanged, 0, {}}, {Kind::OnlyInSystem, 0, {}}};
  }
  std::vector<Group> problems = emptyGroups();
  std::vector<Group> contents = emptyGroups();
  int uncodedProblems = 0;  // file problems without a code: added with a new code

  Group& problemGroup(Kind kind) { return problems[size_t(kind)]; }
  Group& contentGroup(Kind kind) { return contents[size_t(kind)]; }
  static void note(Group& group, Row row);
  static QString kindName(Kind kind);

  // The preview as lines of text, first rows included.
  QStringList lines() const;
  // True when writing it would change nothing of the problems and contents.
  bool changesNothing() const;
};
