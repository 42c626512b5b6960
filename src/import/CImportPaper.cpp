// Paper designs, papers and answer sheets of a paper exchange file.
#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "import/CImport.h"
#include "mapping/ImportSession.h"

void CImport::ImportPaperDesign() {
  m_PaperDesignMap.clear();
  const IdMap& subjects = m_session.SubjectMap;
  const auto overrides = [&](const Bulk::Query& source, TargetRow& target) {
    const std::optional<Bulk::Cell> subject = Translate(subjects, source.at(source.column(QStringLiteral("SubjectID"))));
    if (!subject) CountSkipped(QStringLiteral("PaperDesign"));  // written without a subject
    target[QStringLiteral("SubjectID")] = subject.value_or(Bulk::Cell());
  };
  CopyRows({QStringLiteral("select * from PaperDesign"), QStringLiteral("PaperDesign"), 2, &m_PaperDesignMap,
            overrides, {QStringLiteral("SubjectID")}});
}

void CImport::ImportPaper() {
  m_PaperMap.clear();
  const auto overrides = [&](const Bulk::Query& source, TargetRow& target) {
    const std::optional<Bulk::Cell> design =
        Translate(m_PaperDesignMap, source.at(source.column(QStringLiteral("PaperDesignID"))));
    if (!design) CountSkipped(QStringLiteral("Paper"));  // written without a design
    target[QStringLiteral("PaperDesignID")] = design.value_or(Bulk::Cell());
  };
  CopyRows({QStringLiteral("select * from Paper"), QStringLiteral("Paper"), 2, &m_PaperMap, overrides,
            {QStringLiteral("PaperDesignID")}});
}

// Answer sheets have no key of their own; one whose paper the file does not
// hold would belong to no paper and is left out.
void CImport::ImportAnswerSheet() {
  const auto paperOf = [this](const Bulk::Query& row) {
    return Translate(m_PaperMap, row.at(row.column(QStringLiteral("PaperID"))));
  };
  CopyStep step{QStringLiteral("select * from AnswerSheet"), QStringLiteral("AnswerSheet"), 0, nullptr,
                [&paperOf](const Bulk::Query& row, TargetRow& sheet) { sheet[QStringLiteral("PaperID")] = *paperOf(row); }};
  step.include = [&](const Bulk::Query& row) {
    if (paperOf(row)) return true;
    CountSkipped(QStringLiteral("AnswerSheet"));
    return false;
  };
  CopyRows(step);
}
