// Paper designs, papers and answer sheets of a paper exchange file.
#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CImport.h"
#include "mapping/ImportSession.h"

void CImport::ImportPaperDesign() {
  m_PaperDesignMap.clear();
  const IdMap& subjects = m_session.SubjectMap;
  const auto overrides = [&](const Recordset& source, Recordset& target) {
    const std::optional<QVariant> subject = Translate(subjects, source.Value(QStringLiteral("SubjectID")));
    if (!subject) CountSkipped(QStringLiteral("PaperDesign"));  // written without a subject
    target.SetValue(QStringLiteral("SubjectID"), subject.value_or(QVariant()));
  };
  CopyRows({QStringLiteral("select * from PaperDesign"), QStringLiteral("select * from PaperDesign where 1=0"), 2,
            &m_PaperDesignMap, overrides});
}

void CImport::ImportPaper() {
  m_PaperMap.clear();
  const auto overrides = [&](const Recordset& source, Recordset& target) {
    const std::optional<QVariant> design = Translate(m_PaperDesignMap, source.Value(QStringLiteral("PaperDesignID")));
    if (!design) CountSkipped(QStringLiteral("Paper"));  // written without a design
    target.SetValue(QStringLiteral("PaperDesignID"), design.value_or(QVariant()));
  };
  CopyRows({QStringLiteral("select * from Paper"), QStringLiteral("select * from Paper where 1=0"), 2, &m_PaperMap,
            overrides});
}

// Answer sheets have no key of their own; one whose paper the file does not
// hold would belong to no paper and is left out.
void CImport::ImportAnswerSheet() {
  RecordsetPtr source;
  RecordsetPtr target;
  Source().GetConnectedRecordset(QStringLiteral("select * from AnswerSheet"), source);
  Dest().GetConnectedRecordset(QStringLiteral("select * from AnswerSheet where 1=0"), target);
  const auto overrides = [&](const Recordset& row, Recordset& sheet) {
    sheet.SetValue(QStringLiteral("PaperID"), *Translate(m_PaperMap, row.Value(QStringLiteral("PaperID"))));
  };
  for (; !source->Eof(); source->MoveNext()) {
    if (Translate(m_PaperMap, source->Value(QStringLiteral("PaperID"))))
      CopyRow(*source, *target, 0, overrides, nullptr);
    else
      CountSkipped(QStringLiteral("AnswerSheet"));
    m_session.checkCancel();
  }
}
