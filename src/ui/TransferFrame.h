#pragma once
#include <QGroupBox>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class CExport;
class CImport;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class frmCorvina;

// The frame "课程导入导出" on the course page: the six transfer actions, the
// file field with its browse button, the start button and the progress display.
class TransferFrame : public QGroupBox {
  Q_OBJECT
 public:
  TransferFrame(frmCorvina& owner, QWidget* parent);
  ~TransferFrame() override;

  // The file dialogs, replaceable so that tests can script them.
  struct Dialogs {
    // The open-file dialog: one full path, or for several files the folder
    // followed by the file names, separated by single blanks; empty on cancel.
    std::function<QString(bool bMultiSelect)> openMdbFile;
    // The folder dialog: full path, or empty on cancel.
    std::function<QString(const QString& strTitle, const QString& strInitialFolder)> browseFolder;
    // The save dialog, opened on the proposed file; nullopt on cancel.
    std::function<std::optional<QString>(const QString& strProposedFile)> saveMdbFile;
  };
  Dialogs dialogs;

  void FillActions();

  QComboBox* cboAction = nullptr;
  QLabel* lblTips = nullptr;
  QLabel* lblFiles = nullptr;
  QLineEdit* txtFileName = nullptr;
  QPushButton* cmdSelectFile = nullptr;
  QPushButton* cmdIO = nullptr;
  QLabel* lblIO = nullptr;
  QProgressBar* ProgressBar1 = nullptr;

 private:
  // What became of one file of an import action.
  struct ImportOutcome {
    QString strFile;
    bool bImported = false;
    QString strReason;   // why it was not imported
    QString strSkipped;  // rows the import left out, for the user
  };

  void buildControls();
  Dialogs defaultDialogs();
  void cboAction_Click();
  void ShowActionOptions();
  void ShowFileControls(bool bShow);
  void cmdSelectFile_Click();
  QString SelectMdbFile();
  void cmdIO_Click();
  void RunAction();
  void ImportSingleFile();
  void ImportFileList(const QStringList& files, const QString& strNothingToImport);
  QStringList FilesToImport() const;
  ImportOutcome ImportOneFile(const QString& strFile);
  void ReportImportOutcomes(const std::vector<ImportOutcome>& outcomes, const QString& strNothingToImport);
  void ResetProgressDisplay();
  void ExportCourseSingle();
  void ExportCourseAll();
  QString PreparedExportFolder() const;
  void ShowExportProgress();
  void NewExport(qint32 nCourseID);
  void objExport_ExportProgress(qint16 nBarValue, const QString& strMessage);
  void objImport_ImportProgress(qint16 nBarValue, const QString& strMessage);

  frmCorvina& m_owner;
  std::unique_ptr<CExport> objExport;
  std::unique_ptr<CImport> objImport;
};
