#include "ui/TransferFrame.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "core/AppPaths.h"
#include "core/Interaction.h"
#include "data/DataError.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "import/ImportGlobals.h"
#include "resources/Strings.h"
#include "ui/frmCorvina.h"
#include "ui/modBrowseFolder.h"
#include "core/modInputOutput.h"

namespace {
struct ActionRow {
  const char* caption;
  qint32 code;
  const char* tips;
};

// Captions keep their blanks: they line up in the list.
const ActionRow Actions[] = {
    {"导    入", 1, "导入指定单个课程，手工做对应！"},
    {"自动导入", 2, "自动导入指定单个课程，专业及指标名称相同时自动对应，不同时自动新建"},
    {"导入多个", 3, "自动导入指定多个课程，专业及指标名称相同时自动对应，不同时自动新建"},
    {"导入全部", 4, "自动导入指定路径（文件夹）下课程，专业及指标名称相同时自动对应，不同时自动新建"},
    {"导    出", 5, "导出指定单个课程！"},
    {"导出全部", 6, "导出所有课程！"},
};

// The multiple selection in the form the rest of the frame reads: the folder,
// then the file names, separated by single blanks.
QString selectionText(const QStringList& files) {
  if (files.size() <= 1) return files.value(0);
  QStringList parts{QFileInfo(files.front()).absolutePath()};
  for (const QString& f : files) parts << QFileInfo(f).fileName();
  return parts.join(QLatin1Char(' '));
}

const QString CrLf = QStringLiteral("\r\n");
const QString Exporting = QStringLiteral("正在导出，请等待...");
constexpr int NoCourseChosen = 352;
constexpr int ImportSucceeded = 315;

QString failureText(int number, const QString& description) {
  return QStringLiteral("发生错误：") + QString::number(number) + CrLf + description;
}

QString failureText(const std::exception& e) {
  if (const auto* d = dynamic_cast<const DataError*>(&e)) return failureText(d->number(), d->description());
  return failureText(DataError::GenericNumber, QString::fromStdString(e.what()));
}

// Passes everything on to the interaction in force and remembers the last
// message, which is why an import that returned False stopped.
class RecordingInteraction : public Interaction {
 public:
  explicit RecordingInteraction(Interaction& inner) : inner_(inner) {}
  int MsgBox(const QString& prompt, int flags, const QString& title) override {
    lastPrompt = prompt;
    return inner_.MsgBox(prompt, flags, title);
  }
  std::optional<QString> InputBox(const QString& prompt, const QString& title,
                                  const QString& defaultText) override {
    return inner_.InputBox(prompt, title, defaultText);
  }
  void ShowMappingDialog(MappingModel& model) override { inner_.ShowMappingDialog(model); }
  void DoEvents() override { inner_.DoEvents(); }
  void SetBusy(bool busy) override { inner_.SetBusy(busy); }
  void OpenFolder(const QString& path) override { inner_.OpenFolder(path); }

  QString lastPrompt;

 private:
  Interaction& inner_;
};

// Keeps the start button disabled for the whole action, whatever happens in it.
class DisabledWhileRunning {
 public:
  explicit DisabledWhileRunning(QWidget* w) : w_(w) { w_->setEnabled(false); }
  ~DisabledWhileRunning() { w_->setEnabled(true); }
  DisabledWhileRunning(const DisabledWhileRunning&) = delete;
  DisabledWhileRunning& operator=(const DisabledWhileRunning&) = delete;

 private:
  QWidget* w_;
};
}  // namespace

TransferFrame::TransferFrame(frmCorvina& owner, QWidget* parent)
    : QGroupBox(QStringLiteral("课程导入导出"), parent), m_owner(owner) {
  setObjectName(QStringLiteral("Frame3"));
  dialogs = defaultDialogs();
  buildControls();
}

TransferFrame::~TransferFrame() = default;

void TransferFrame::buildControls() {
  cboAction = new QComboBox(this);
  cboAction->setObjectName(QStringLiteral("cboAction"));
  cboAction->setGeometry(20, 30, 160, 26);
  lblTips = new QLabel(QStringLiteral("说明"), this);
  lblTips->setObjectName(QStringLiteral("lblTips"));
  lblTips->setGeometry(200, 30, 500, 50);
  lblTips->setWordWrap(true);
  lblTips->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblFiles = new QLabel(QStringLiteral("MDB文件："), this);
  lblFiles->setObjectName(QStringLiteral("lblFiles"));
  lblFiles->setGeometry(20, 100, 80, 26);
  txtFileName = new QLineEdit(this);
  txtFileName->setObjectName(QStringLiteral("txtFileName"));
  txtFileName->setGeometry(100, 100, 520, 26);
  cmdSelectFile = new QPushButton(QStringLiteral("..."), this);
  cmdSelectFile->setObjectName(QStringLiteral("cmdSelectFile"));
  cmdSelectFile->setGeometry(630, 100, 60, 26);
  lblIO = new QLabel(QStringLiteral("导入导出说明："), this);
  lblIO->setObjectName(QStringLiteral("lblIO"));
  lblIO->setGeometry(20, 160, 670, 26);
  lblIO->hide();
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setGeometry(20, 195, 670, 24);
  ProgressBar1->hide();
  cmdIO = new QPushButton(QStringLiteral("导入导出"), this);
  cmdIO->setObjectName(QStringLiteral("cmdIO"));
  cmdIO->setGeometry(20, 250, 120, 30);

  connect(cboAction, &QComboBox::activated, this, [this] { cboAction_Click(); });
  connect(cmdSelectFile, &QPushButton::clicked, this, [this] { cmdSelectFile_Click(); });
  connect(cmdIO, &QPushButton::clicked, this, [this] { cmdIO_Click(); });
}

TransferFrame::Dialogs TransferFrame::defaultDialogs() {
  Dialogs d;
  d.openMdbFile = [this](bool bMulti) {
    const QString filter = QStringLiteral("Access Files(*.mdb);;All Files (*)");
    if (bMulti) return selectionText(QFileDialog::getOpenFileNames(this, QString(), QString(), filter));
    return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
  };
  d.browseFolder = [this](const QString& strTitle, const QString& strInitial) {
    return BrowseForFolder(window(), strTitle, strInitial);
  };
  d.saveMdbFile = [this](const QString& strProposed) -> std::optional<QString> {
    // The export asks itself about an existing file; the dialog must not ask first.
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), strProposed,
                                                        QStringLiteral("ACCESS数据库(*.mdb)"), nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return std::nullopt;
    return chosen;
  };
  return d;
}

void TransferFrame::FillActions() {
  cboAction->clear();
  for (const ActionRow& a : Actions) cboAction->addItem(QString::fromUtf8(a.caption), a.code);
  cboAction->setCurrentIndex(0);
  cboAction_Click();
}

void TransferFrame::cboAction_Click() {
  nAction = cboAction->currentData().toInt();
  ShowActionOptions();
}

void TransferFrame::ShowFileControls(bool bShow) {
  lblFiles->setVisible(bShow);
  txtFileName->setVisible(bShow);
  cmdSelectFile->setVisible(bShow);
}

void TransferFrame::ShowActionOptions() {
  if (nAction < 1 || nAction > 6) return;
  lblTips->setText(QString::fromUtf8(Actions[nAction - 1].tips));
  if (nAction >= 5) {
    ShowFileControls(false);
    return;
  }
  lblFiles->setText(nAction == 4 ? QStringLiteral("MDB目录") : QStringLiteral("MDB文件"));
  ShowFileControls(true);
  importGlobals().bAutoMap = nAction != 1;
  bImportFolder = nAction == 4;
  bMultiSelect = nAction == 3;
}

void TransferFrame::cmdSelectFile_Click() {
  const QString chosen =
      bImportFolder ? dialogs.browseFolder(QStringLiteral("选择题库所在文件夹"), QString()) : SelectMdbFile();
  if (!chosen.isEmpty()) txtFileName->setText(chosen);
}

QString TransferFrame::SelectMdbFile() { return dialogs.openMdbFile(bMultiSelect); }

void TransferFrame::cmdIO_Click() {
  const DisabledWhileRunning running(cmdIO);
  RunAction();
  m_owner.RefreshCourse();
  // The freshly imported course is normally the last one listed.
  if (nAction != 5 && nAction != 6) frmCorvina::SelectLastRow(m_owner.sprCourse());
  objImport.reset();
}

void TransferFrame::RunAction() {
  switch (nAction) {
    case 1:
    case 2:
      ImportSingleFile();
      break;
    case 3:
      ImportFileList(FilesToImport(), QStringLiteral("没有选择要导入的文件。"));
      break;
    case 4: {
      const QString strFolder = txtFileName->text();
      if (strFolder.isEmpty() || !QFileInfo(strFolder).isDir())
        ImportFileList({}, QStringLiteral("找不到文件夹：") + strFolder);
      else
        ImportFileList(MdbFilesOfFolder(strFolder), QStringLiteral("文件夹中没有MDB文件：") + strFolder);
      break;
    }
    case 5:
      ExportCourseSingle();
      break;
    case 6:
      ExportCourseAll();
      break;
    default:
      break;
  }
}

// ---- imports ----

void TransferFrame::ImportSingleFile() {
  objImport = std::make_unique<CImport>();
  const ImportOutcome outcome = ImportOneFile(txtFileName->text());
  if (outcome.bImported) {
    QString strMessage = Res::str(ImportSucceeded);
    if (!outcome.strSkipped.isEmpty()) strMessage += CrLf + outcome.strSkipped;
    interaction().MsgBox(strMessage, Vb::Information, Res::str(Res::TransferTitle));
  } else if (outcome.strReason.startsWith(QStringLiteral("发生错误："))) {
    // The engine reports its own refusals; a raised failure is ours to show.
    interaction().MsgBox(outcome.strReason, Vb::Critical, Res::str(Res::TransferTitle));
  }
}

// The selection of the open-file dialog. A whole text that names an existing
// file is that one file, even when its path holds blanks.
QStringList TransferFrame::FilesToImport() const {
  const QString strText = txtFileName->text();
  if (!strText.isEmpty() && QFileInfo(strText).isFile()) return {strText};
  return SplitFileList(strText);
}

void TransferFrame::ImportFileList(const QStringList& files, const QString& strNothingToImport) {
  objImport = std::make_unique<CImport>();
  std::vector<ImportOutcome> outcomes;
  for (const QString& strFile : files) outcomes.push_back(ImportOneFile(strFile));
  ReportImportOutcomes(outcomes, strNothingToImport);
}

// Imports one file; a failure raised by the engine is caught here so that the
// remaining files of the action are still imported.
TransferFrame::ImportOutcome TransferFrame::ImportOneFile(const QString& strFile) {
  ImportOutcome outcome{strFile, false, {}, {}};
  auto recorder = std::make_shared<RecordingInteraction>(interaction());
  {
    const ScopedInteraction scope(recorder);
    objImport->ImportProgress = [this](qint16 nBarValue, const QString& strMessage) {
      objImport_ImportProgress(nBarValue, strMessage);
    };
    try {
      outcome.bImported = objImport->ImportCourseData(strFile);
    } catch (const std::exception& e) {
      outcome.strReason = failureText(e);
    }
  }
  ResetProgressDisplay();
  if (outcome.bImported)
    outcome.strSkipped = objImport->SkippedSummary();
  else if (outcome.strReason.isEmpty())
    outcome.strReason = recorder->lastPrompt.isEmpty() ? QStringLiteral("未导入") : recorder->lastPrompt;
  return outcome;
}

// Success only when every file was imported; otherwise one message names each
// file that was not, with its reason, and how many were.
void TransferFrame::ReportImportOutcomes(const std::vector<ImportOutcome>& outcomes,
                                         const QString& strNothingToImport) {
  if (outcomes.empty()) {
    interaction().MsgBox(strNothingToImport, Vb::Exclamation, Res::str(Res::TransferTitle));
    return;
  }
  QStringList failed;
  QStringList skipped;
  int nImported = 0;
  for (const ImportOutcome& o : outcomes) {
    if (o.bImported) ++nImported;
    if (!o.bImported) failed << o.strFile + QStringLiteral("：") + QString(o.strReason).replace(CrLf, QStringLiteral(" "));
    if (!o.strSkipped.isEmpty()) skipped << o.strFile + QStringLiteral("：") + o.strSkipped;
  }
  QString strMessage;
  int flags = Vb::Information;
  if (failed.isEmpty()) {
    strMessage = Res::str(ImportSucceeded);
  } else {
    flags = Vb::Exclamation;
    strMessage = QStringLiteral("已导入 %1 个文件，共 %2 个。").arg(nImported).arg(outcomes.size()) + CrLf +
                 QStringLiteral("以下文件未导入：") + CrLf + failed.join(CrLf);
  }
  if (!skipped.isEmpty()) strMessage += CrLf + QStringLiteral("导入时略去的行：") + CrLf + skipped.join(CrLf);
  interaction().MsgBox(strMessage, flags, Res::str(Res::TransferTitle));
}

void TransferFrame::objImport_ImportProgress(qint16 nBarValue, const QString& strMessage) {
  lblIO->setText(strMessage);
  ProgressBar1->setValue(nBarValue);
  if (nBarValue == 0) {
    lblIO->show();
    ProgressBar1->show();
    ShowFileControls(false);
  } else if (nBarValue == 100) {
    ResetProgressDisplay();
  }
}

// Also after a failure in mid-import, so that the frame does not stay half-shown.
void TransferFrame::ResetProgressDisplay() {
  lblIO->hide();
  ProgressBar1->hide();
  ProgressBar1->setValue(0);
  if (nAction >= 1 && nAction <= 4) ShowFileControls(true);
}

// ---- exports ----

void TransferFrame::objExport_ExportProgress(qint16 nBarValue, const QString& strMessage) {
  lblIO->setText(strMessage);
  ProgressBar1->setValue(nBarValue);
}

// The export folder beside the program folder, created on first use, as the
// file system reports it (resolved, no final slash).
QString TransferFrame::PreparedExportFolder() const {
  const QString strFolder = AppPaths::exportFolder();
  if (!QFileInfo(strFolder).isDir() && !QDir().mkdir(strFolder))
    throw DataError(75, QStringLiteral("frmCorvina"), QStringLiteral("Path/File access error: ") + strFolder);
  return QFileInfo(strFolder).canonicalFilePath();
}

void TransferFrame::ShowExportProgress() {
  lblIO->setText(Exporting);
  lblIO->show();
  ProgressBar1->setValue(0);
  ProgressBar1->show();
  interaction().SetBusy(true);
}

void TransferFrame::NewExport(qint32 nCourseID) {
  objExport = std::make_unique<CExport>();
  objExport->ExportProgress = [this](qint16 nBarValue, const QString& strMessage) {
    objExport_ExportProgress(nBarValue, strMessage);
  };
  objExport->nCourseID = nCourseID;
}

void TransferFrame::ExportCourseSingle() {
  const QTableWidget* grid = m_owner.sprCourse();
  const int row = frmCorvina::ActiveRow(grid);
  if (row < 1) {
    interaction().MsgBox(Res::str(NoCourseChosen), Vb::Exclamation, Res::str(Res::TransferTitle));
    return;
  }
  const qint32 nCourseID = frmCorvina::CellText(grid, 0, row).toInt();
  const QString strName = frmCorvina::CellText(grid, 1, row);
  try {
    const QString strProposed = PreparedExportFolder() + '/' + SafeFileName(strName) + QStringLiteral(".mdb");
    const std::optional<QString> chosen = dialogs.saveMdbFile(strProposed);
    if (!chosen) return;  // cancelled: ends silently
    QString strDestFile = *chosen;
    ShowExportProgress();
    NewExport(nCourseID);
    objExport->ExportCourseData(strDestFile);
    ResetProgressDisplay();
    interaction().SetBusy(false);
    objExport.reset();
    interaction().OpenFolder(QFileInfo(strDestFile).absolutePath());
  } catch (const std::exception& e) {
    ResetProgressDisplay();
    interaction().SetBusy(false);
    objExport.reset();
    interaction().MsgBox(failureText(e), Vb::Critical,
                         QStringLiteral("ExportCourseSingle"));
  }
}

void TransferFrame::ExportCourseAll() {
  const QTableWidget* grid = m_owner.sprCourse();
  const int nRows = frmCorvina::MaxRows(grid);
  if (nRows < 1) {
    interaction().MsgBox(Res::str(NoCourseChosen), Vb::Exclamation, Res::str(Res::TransferTitle));
    return;
  }
  try {
    const QString strFolder = dialogs.browseFolder(QStringLiteral("选择导出的文件夹"), PreparedExportFolder());
    if (strFolder.isEmpty()) return;
    ShowExportProgress();
    for (int row = 1; row <= nRows; ++row) {
      const QString strName = frmCorvina::CellText(grid, 1, row);
      const qint32 nCourseID = frmCorvina::CellText(grid, 0, row).toInt();
      QString strDestFile = strFolder + '/' + SafeFileName(strName) + QStringLiteral(".mdb");
      NewExport(nCourseID);
      objExport->ExportCourseData(strDestFile);
    }
    ResetProgressDisplay();
    interaction().SetBusy(false);
    interaction().OpenFolder(strFolder);
  } catch (const std::exception& e) {
    // The courses before the failing one stay exported; the rest are not.
    ResetProgressDisplay();
    interaction().SetBusy(false);
    interaction().MsgBox(failureText(e), Vb::Critical,
                         QStringLiteral("ExportCourseAll"));
  }
}
