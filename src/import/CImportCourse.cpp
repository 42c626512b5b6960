// The course row, its contents with their tree, the syllabus and the course's subjects.
#include <QDate>
#include <QDomDocument>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CImport.h"
#include "mapping/ImportSession.h"
#include "import/ImportXml.h"

namespace {
bool LoadDocument(QDomDocument& doc, const QVariant& text) {
  if (text.isNull() || text.toString().trimmed().isEmpty()) return false;
  return doc.setContent(text.toString()) && !doc.documentElement().isNull();
}

// Every element of the tree named tag, the root included (as "//tag" selects).
QList<QDomElement> ElementsNamed(const QDomElement& root, const QString& tag) {
  QList<QDomElement> out;
  if (root.tagName() == tag) out << root;
  const QDomNodeList nodes = root.elementsByTagName(tag);
  for (int i = 0; i < nodes.count(); ++i) out << nodes.at(i).toElement();
  return out;
}

bool OnlyContentBelow(const QDomElement& element) {
  for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    if (child.tagName() != QLatin1String("CONTENT") || !OnlyContentBelow(child)) return false;
  return true;
}

std::optional<qint32> NumericId(const QDomElement& element) {
  bool ok = false;
  const qint32 id = element.attribute(QStringLiteral("ID")).trimmed().toInt(&ok);
  return ok ? std::optional<qint32>(id) : std::nullopt;
}
}  // namespace

void CImport::ImportCourse() {
  const ImportSession& g = m_session;
  const QString suffix = QStringLiteral("[") + QDate::currentDate().toString(QStringLiteral("yyyyMMdd")) +
                         QStringLiteral("]");
  const auto overrides = [&](const Recordset& source, Recordset& target) {
    if (m_bRenameCourse)
      target.SetValue(QStringLiteral("Name"), source.Value(QStringLiteral("Name")).toString() + suffix);
    const std::optional<QVariant> key = Translate(g.SubjectMap, source.Value(QStringLiteral("keysubjectid")));
    if (!key) CountSkipped(QStringLiteral("Course"));
    target.SetValue(QStringLiteral("keysubjectid"), key.value_or(QVariant()));
    if (target.Value(QStringLiteral("CourseCode")).isNull())
      target.SetValue(QStringLiteral("CourseCode"), target.Value(QStringLiteral("Name")));
  };
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(QStringLiteral("select * from Course"), source);
  Dest().GetConnectedRecordset(QStringLiteral("select * from Course where 1=0"), target);
  if (source->Eof()) return;
  m_nCourseID = CopyRow(*source, *target, 2, overrides, nullptr);
}

void CImport::ImportContent() {
  m_ContentMap.clear();
  CopyRows({QStringLiteral("select * from Content"), QStringLiteral("select * from Content where 1=0"), 2,
            &m_ContentMap,
            [this](const Recordset&, Recordset& target) { target.SetValue(QStringLiteral("CourseID"), m_nCourseID); }});
}

void CImport::ImportSyllabus() {
  const ImportSession& g = m_session;
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(QStringLiteral("select * from Syllabus"), source);
  for (; !source->Eof(); source->MoveNext()) {
    const std::optional<qint32> c = m_ContentMap.value(source->Value(0).toInt());
    const std::optional<qint32> s = g.SubjectMap.value(source->Value(1).toInt());
    if (!c || !s) {
      CountSkipped(QStringLiteral("Syllabus"));
    } else {
      Dest().GetConnectedRecordset(
          QStringLiteral("select  * from Syllabus where ContentID=%1 and SubjectID =%2").arg(*c).arg(*s), target);
      if (target->Eof()) {
        target->AddNew();
        target->SetValue(QStringLiteral("ContentID"), *c);
        target->SetValue(QStringLiteral("SubjectID"), *s);
        for (const char* column : {"DefaultWeight", "Requirement", "Lastupdated"})
          target->SetValue(QLatin1String(column), source->Value(QLatin1String(column)));
        target->Update();
      }
    }
    m_session.checkCancel();
  }
}

void CImport::ImportCoursesSubjects() {
  const ImportSession& g = m_session;
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(QStringLiteral("select * from CoursesSubjects"), source);
  Dest().GetConnectedRecordset(QStringLiteral("select * from CoursesSubjects where 1=0"), target);
  for (; !source->Eof(); source->MoveNext()) {
    const std::optional<qint32> s = g.SubjectMap.value(source->Value(QStringLiteral("SubjectID")).toInt());
    if (!s) {
      CountSkipped(QStringLiteral("CoursesSubjects"));
      continue;
    }
    target->AddNew();
    target->SetValue(QStringLiteral("CourseID"), m_nCourseID);
    target->SetValue(QStringLiteral("SubjectID"), *s);
    target->Update();
  }
}

// A tree we cannot follow is left as it is and reported; the contents keep
// the parent and level the file gave them.
bool CImport::ContentTreeIsUsable(const QDomElement& root) const {
  if (!OnlyContentBelow(root)) return false;
  for (const QDomElement& e : ElementsNamed(root, QStringLiteral("CONTENT"))) {
    const std::optional<qint32> id = NumericId(e);
    if (!id || !m_ContentMap.contains(*id)) return false;
  }
  return true;
}

void CImport::UpdateContentHierarchy() {
  RecordsetPtr course;
  Dest().GetConnectedRecordset(QStringLiteral("select * from Course where CourseID=%1").arg(m_nCourseID), course);
  if (course->Eof()) return;
  QDomDocument doc;
  if (!LoadDocument(doc, course->Value(QStringLiteral("ContentHierarchy"))) ||
      !ContentTreeIsUsable(doc.documentElement())) {
    CountSkipped(QStringLiteral("ContentHierarchy"));
    return;
  }
  const QDomElement root = doc.documentElement();
  for (QDomElement e : ElementsNamed(root, QStringLiteral("CONTENT")))
    e.setAttribute(QStringLiteral("ID"), *m_ContentMap.value(*NumericId(e)));
  const QString translated = ElementXml(root);
  course->SetValue(QStringLiteral("CONTENTHIERARCHY"), translated);
  course->Update();

  QDomDocument tree;
  tree.setContent(translated);
  for (QDomElement child = tree.documentElement().firstChildElement(); !child.isNull();
       child = child.nextSiblingElement())
    UpdateContentParent(child, 0, 0);
}

void CImport::UpdateContentParent(const QDomElement& element, qint32 nParentID, qint16 nLevel) {
  const qint32 id = element.attribute(QStringLiteral("ID")).toInt();
  Dest().ExecQuery(QString(), QStringLiteral("update CONTENT set PARENTCONTENTID=%1,LEVEL=%2 where CONTENTID=%3")
                                  .arg(nParentID)
                                  .arg(nLevel)
                                  .arg(id));
  for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    UpdateContentParent(child, id, static_cast<qint16>(nLevel + 1));
}
