#pragma once
#include <QGroupBox>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/Transfer.h"
#include "import/CImport.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QThread;

// The transfer actions, with the codes the action box's items carry: the six
// of the original and the update of a course in place.
enum class TransferAction {
  Import = 1,         // one file, pairing by hand
  AutoImport = 2,     // one file, pairing by name
  ImportSeveral = 3,  // chosen files, pairing by name
  ImportFolder = 4,   // every exchange file of a folder, pairing by name
  Export = 5,         // the selected course
  ExportAll = 6,      // every listed course
  UpdateCourse = 7,   // the course of one file's name, updated in place after a preview
};

// The frame "课程导入导出" on the course page: the seven transfer actions, the
// file field with its browse button, the start button and the progress
// display with its cancel button. A transfer runs in a worker thread; the
// frame stays responsive and asks its questions on the GUI thread.
class TransferFrame : public QGroupBox {
  Q_OBJECT
 public:
  // The courses the frame exports, as the window that lists them gives them.
  struct Course {
    qint32 id;
    QString name;
  };
  struct CourseList {
    std::function<std::optional<Course>()> selected;  // nullopt when none is selected
    std::function<std::vector<Course>()> all;
    // Lists the courses again after a transfer and selects the one with the
    // id, or the last listed (where an import puts its course) when none is given.
    std::function<void(std::optional<qint32> id)> relist;
  };

  TransferFrame(CourseList courses, QWidget* parent);
  ~TransferFrame() override;

  // The file dialogs, replaceable so that tests can script them.
  struct Dialogs {
    // The open-file dialog: one full path, or for several files the folder
    // followed by the file names, separated by single blanks; empty on cancel.
    std::function<QString(bool multiSelect)> openMdbFile;
    // The folder dialog: full path, or empty on cancel.
    std::function<QString(const QString& strTitle, const QString& strInitialFolder)> browseFolder;
    // The save dialog, opened on the proposed file; nullopt on cancel.
    std::function<std::optional<QString>(const QString& strProposedFile)> saveMdbFile;
  };
  Dialogs dialogs;

  void FillActions();
  TransferAction action() const { return m_action; }
  bool autoMap() const;
  bool importsFolder() const { return m_action == TransferAction::ImportFolder; }
  bool selectsSeveralFiles() const { return m_action == TransferAction::ImportSeveral; }

  bool isTransferring() const { return m_worker != nullptr; }
  // The course the single export would write (empty when none is selected).
  void ShowSelectedCourse(const QString& strCourse);
  // Files dropped on the window: true when they fit the chosen import action,
  // which then finds them in its file field.
  bool AcceptsDroppedFiles(const QStringList& files) const;
  bool DropFiles(const QStringList& files);
  // Asks the running transfer to stop; it rolls back and reports.
  void cancelTransfer();

  QComboBox* cboAction = nullptr;
  QLabel* lblTips = nullptr;
  QLabel* lblFiles = nullptr;
  QLineEdit* txtFileName = nullptr;
  QPushButton* cmdSelectFile = nullptr;
  QPushButton* cmdIO = nullptr;
  QLabel* lblIO = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* cmdCancel = nullptr;
  QCheckBox* chkPreview = nullptr;  // imports only: run, show what would change, write nothing
  QCheckBox* chkManualMap = nullptr;  // the update only: pair by hand as 导入 does

 signals:
  void transferStarted();
  void transferFinished();

 private:
  // What became of one file of an import action.
  struct ImportOutcome {
    TransferResult result;
    QString strSkipped;  // rows the import left out, for the user
    QString strPreview;  // a dry run's report
    CImport::ImportedCourse imported;
  };
  // The work of one action in the worker thread: it gets the interaction to
  // ask through and the flag that says stop. done runs on the GUI thread after.
  using Work = std::function<void(Interaction& ui, const std::shared_ptr<CancelFlag>& cancel)>;

  void buildControls();
  void layOutControls();
  void addRecentFilesMenu();
  void ShowResult(const QString& strResult);
  Dialogs defaultDialogs();
  void cboAction_Click();
  void ShowActionOptions();
  void ShowFileControls(bool bShow);
  void cmdSelectFile_Click();
  QString SelectMdbFile();
  void cmdIO_Click();
  void RunAction();
  void StartTransfer(Work work, std::function<void()> done);
  void FinishTransfer();
  void SetControlsForTransfer(bool running);
  void ImportFiles(const QStringList& files, const QString& strNothingToImport, bool single);
  void UpdateCourseFile(const QString& file);
  QStringList FilesToImport() const;
  void ReportSingleImport(const ImportOutcome& outcome);
  void ReportPreview(const std::vector<ImportOutcome>& outcomes);
  void ReportImportOutcomes(const std::vector<ImportOutcome>& outcomes, const QString& strNothingToImport);
  void ResetProgressDisplay();
  void ExportCourseSingle();
  void ExportCourseAll();
  struct CourseToExport {
    qint32 id;
    QString name;
    QString file;
  };
  void ExportCourses(const std::vector<CourseToExport>& courses, const QString& strFolder,
                     const QString& strProcedure);
  QString PreparedExportFolder() const;
  void ShowExportProgress();
  // Progress of item index (0-based) of count, posted from the worker.
  void PostProgress(int index, int count, const QString& name, qint16 nBarValue, const QString& strMessage);
  void ShowProgress(int index, int count, const QString& name, qint16 nBarValue, const QString& strMessage);

  CourseList m_courses;
  TransferAction m_action = TransferAction::Import;
  std::unique_ptr<QThread> m_worker;
  std::shared_ptr<CancelFlag> m_cancel;
  std::function<void()> m_done;
  QString m_strSelectedCourse;
};
