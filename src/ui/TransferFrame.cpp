#include "ui/TransferFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QGridLayout>
#include <QLineEdit>
#include <QMenu>
#include <QStyle>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include <algorithm>
#include <initializer_list>

#include "core/AppPaths.h"
#include "core/Interaction.h"
#include "data/DataError.h"
#include "export/CExport.h"
#include "import/CImport.h"
#include "resources/Strings.h"
#include "ui/ThreadedInteraction.h"
#include "ui/UserSettings.h"
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
    {"更新课程", 7, "用新的课程文件更新系统中同名的课程：题目按编码、章节按路径对应，保留原编号，只增不删；写入前先预览"},
};
constexpr qint32 LastAction = 7;

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
// The string table's "请先选择试卷" names papers; these actions export courses.
const QString NoCourseChosen = QStringLiteral("请先选择课程");
const QString NoCourseListed = QStringLiteral("没有可导出的课程");
const QString ImportCancelled = QStringLiteral("导入已取消，系统数据库没有改动。");
constexpr int ImportSucceeded = 315;

// One imported course, for the person: its name as stored and what came with it.
QString describeImported(const CImport::ImportedCourse& course) {
  return QStringLiteral("课程“%1”：题目 %2 道，章节 %3 个").arg(course.name).arg(course.problems).arg(course.contents);
}

// The person stopped it: the cancel button, or cancel in a mapping step.
bool cancelledByPerson(const TransferResult& result) {
  return result.status == TransferResult::Status::Cancelled ||
         (result.status == TransferResult::Status::Declined && !result.shown);
}

bool isExport(TransferAction action) {
  return action == TransferAction::Export || action == TransferAction::ExportAll;
}
}  // namespace

TransferFrame::TransferFrame(CourseList courses, QWidget* parent)
    : QGroupBox(QStringLiteral("课程导入导出"), parent), m_courses(std::move(courses)) {
  setObjectName(QStringLiteral("Frame3"));
  dialogs = defaultDialogs();
  buildControls();
}

// A transfer still running when the window goes is stopped first; the
// questions it may be waiting on are still answered meanwhile.
TransferFrame::~TransferFrame() {
  if (!m_worker) return;
  m_cancel->request();
  while (!m_worker->wait(20)) QCoreApplication::processEvents();
}

void TransferFrame::buildControls() {
  cboAction = new QComboBox(this);
  cboAction->setObjectName(QStringLiteral("cboAction"));
  cboAction->setMinimumWidth(120);
  lblTips = new QLabel(QStringLiteral("说明"), this);
  lblTips->setObjectName(QStringLiteral("lblTips"));
  lblTips->setWordWrap(true);
  lblTips->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblTips->setMinimumHeight(2 * fontMetrics().height());
  lblFiles = new QLabel(QStringLiteral("MDB文件："), this);
  lblFiles->setObjectName(QStringLiteral("lblFiles"));
  txtFileName = new QLineEdit(this);
  txtFileName->setObjectName(QStringLiteral("txtFileName"));
  txtFileName->setMinimumWidth(160);
  addRecentFilesMenu();
  cmdSelectFile = new QPushButton(QStringLiteral("..."), this);
  cmdSelectFile->setObjectName(QStringLiteral("cmdSelectFile"));
  chkPreview = new QCheckBox(QStringLiteral("只预览，不写入(&P)"), this);
  chkPreview->setObjectName(QStringLiteral("chkPreview"));
  chkManualMap = new QCheckBox(QStringLiteral("手工做对应(&M)"), this);
  chkManualMap->setObjectName(QStringLiteral("chkManualMap"));
  chkManualMap->hide();
  lblIO = new QLabel(QStringLiteral("导入导出说明："), this);
  lblIO->setObjectName(QStringLiteral("lblIO"));
  lblIO->setTextInteractionFlags(Qt::TextSelectableByMouse);
  lblIO->hide();
  ProgressBar1 = new QProgressBar(this);
  ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->hide();
  cmdCancel = new QPushButton(QStringLiteral("取消"), this);
  cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
  cmdCancel->hide();
  cmdIO = new QPushButton(QStringLiteral("导入导出"), this);
  cmdIO->setObjectName(QStringLiteral("cmdIO"));
  cmdIO->setMinimumWidth(120);
  layOutControls();

  connect(cboAction, &QComboBox::activated, this, [this] { cboAction_Click(); });
  connect(cmdSelectFile, &QPushButton::clicked, this, [this] { cmdSelectFile_Click(); });
  connect(cmdIO, &QPushButton::clicked, this, [this] { cmdIO_Click(); });
  connect(txtFileName, &QLineEdit::returnPressed, this, [this] { cmdIO_Click(); });
  connect(cmdCancel, &QPushButton::clicked, this, [this] { cancelTransfer(); });
}

// The action and its description at the top, the file field under them, then
// the progress; the start button below. Controls that come and go keep their
// room, so that nothing jumps when a transfer starts or ends.
void TransferFrame::layOutControls() {
  for (QWidget* w : std::initializer_list<QWidget*>{lblFiles, txtFileName, cmdSelectFile, chkPreview, chkManualMap, lblIO,
                                                    ProgressBar1, cmdCancel}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
  }
  auto* grid = new QGridLayout(this);
  grid->setColumnStretch(1, 1);
  grid->addWidget(cboAction, 0, 0, Qt::AlignTop);
  grid->addWidget(lblTips, 0, 1, 1, 2);
  grid->addWidget(lblFiles, 1, 0);
  grid->addWidget(txtFileName, 1, 1);
  grid->addWidget(cmdSelectFile, 1, 2);
  grid->addWidget(chkPreview, 2, 1, 1, 2);
  grid->addWidget(chkManualMap, 2, 1, 1, 2);  // shown instead of chkPreview
  grid->addWidget(lblIO, 3, 0, 1, 3);
  grid->addWidget(ProgressBar1, 4, 0, 1, 2);
  grid->addWidget(cmdCancel, 4, 2);
  grid->addWidget(cmdIO, 5, 0);
  grid->setRowStretch(6, 1);
}

// The exchange files used last, offered again from the end of the file field.
void TransferFrame::addRecentFilesMenu() {
  auto* recent = txtFileName->addAction(style()->standardIcon(QStyle::SP_ArrowDown), QLineEdit::TrailingPosition);
  recent->setObjectName(QStringLiteral("actRecentFiles"));
  recent->setToolTip(QStringLiteral("最近使用的文件"));
  connect(recent, &QAction::triggered, this, [this] {
    QMenu menu(this);
    for (const QString& file : UserSettings::RecentFiles())
      connect(menu.addAction(file), &QAction::triggered, this, [this, file] { txtFileName->setText(file); });
    if (menu.isEmpty()) menu.addAction(QStringLiteral("（无）"))->setEnabled(false);
    menu.exec(txtFileName->mapToGlobal(txtFileName->rect().bottomRight()) - QPoint(menu.sizeHint().width(), 0));
  });
}

TransferFrame::Dialogs TransferFrame::defaultDialogs() {
  Dialogs d;
  // Each dialog opens where it was left the last time.
  d.openMdbFile = [this](bool multiSelect) {
    const QString filter = QStringLiteral("Access Files(*.mdb);;All Files (*)");
    const QString start = UserSettings::LastFolder(QStringLiteral("openMdbFile"));
    const QStringList files = multiSelect ? QFileDialog::getOpenFileNames(this, QString(), start, filter)
                                          : QStringList(QFileDialog::getOpenFileName(this, QString(), start, filter));
    UserSettings::RememberFolder(QStringLiteral("openMdbFile"), files.value(0));
    return selectionText(files);
  };
  d.browseFolder = [this](const QString& strTitle, const QString& strInitial) {
    const QString dialog = QStringLiteral("browseFolder/") + strTitle;
    const QString remembered = UserSettings::LastFolder(dialog);
    const QString chosen = BrowseForFolder(window(), strTitle, remembered.isEmpty() ? strInitial : remembered);
    UserSettings::RememberFolder(dialog, chosen);
    return chosen;
  };
  d.saveMdbFile = [this](const QString& strProposed) -> std::optional<QString> {
    // The export asks itself about an existing file; the dialog must not ask first.
    const QString folder = UserSettings::LastFolder(QStringLiteral("saveMdbFile"));
    const QString start = folder.isEmpty() ? strProposed : folder + '/' + QFileInfo(strProposed).fileName();
    const QString chosen = QFileDialog::getSaveFileName(this, QString(), start,
                                                        QStringLiteral("ACCESS数据库(*.mdb)"), nullptr,
                                                        QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty()) return std::nullopt;
    UserSettings::RememberFolder(QStringLiteral("saveMdbFile"), chosen);
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
  const int code = cboAction->currentData().toInt();
  if (code < 1 || code > LastAction) return;
  m_action = static_cast<TransferAction>(code);
  ShowActionOptions();
}

void TransferFrame::ShowFileControls(bool bShow) {
  lblFiles->setVisible(bShow);
  txtFileName->setVisible(bShow);
  cmdSelectFile->setVisible(bShow);
  // The update always shows its preview; it may pair by hand instead.
  const bool bUpdate = m_action == TransferAction::UpdateCourse;
  chkPreview->setVisible(bShow && !bUpdate);
  chkManualMap->setVisible(bShow && bUpdate);
}

bool TransferFrame::autoMap() const {
  if (m_action == TransferAction::UpdateCourse) return !chkManualMap->isChecked();
  return m_action != TransferAction::Import;
}

void TransferFrame::ShowSelectedCourse(const QString& strCourse) {
  m_strSelectedCourse = strCourse;
  if (m_action == TransferAction::Export) ShowActionOptions();
}

// The single export says which course it will write.
void TransferFrame::ShowActionOptions() {
  QString tips = QString::fromUtf8(Actions[static_cast<int>(m_action) - 1].tips);
  if (m_action == TransferAction::Export)
    tips += '\n' + (m_strSelectedCourse.isEmpty() ? QStringLiteral("（未选择课程）")
                                                   : QStringLiteral("将导出课程：") + m_strSelectedCourse);
  lblTips->setText(tips);
  if (isExport(m_action)) {
    ShowFileControls(false);
    return;
  }
  lblFiles->setText(importsFolder() ? QStringLiteral("MDB目录") : QStringLiteral("MDB文件"));
  ShowFileControls(true);
}

void TransferFrame::cmdSelectFile_Click() {
  const QString chosen =
      importsFolder() ? dialogs.browseFolder(QStringLiteral("选择题库所在文件夹"), QString()) : SelectMdbFile();
  if (!chosen.isEmpty()) txtFileName->setText(chosen);
}

// Exchange files, or for the folder import one folder (or a file in it).
bool TransferFrame::AcceptsDroppedFiles(const QStringList& files) const {
  if (isExport(m_action) || isTransferring() || files.isEmpty()) return false;
  if (importsFolder()) return files.size() == 1;
  if (!selectsSeveralFiles() && files.size() > 1) return false;
  return std::all_of(files.cbegin(), files.cend(), [](const QString& f) {
    return QFileInfo(f).isFile() && f.endsWith(QStringLiteral(".mdb"), Qt::CaseInsensitive);
  });
}

bool TransferFrame::DropFiles(const QStringList& files) {
  if (!AcceptsDroppedFiles(files)) return false;
  const QFileInfo first(files.front());
  if (importsFolder())
    txtFileName->setText(first.isDir() ? first.absoluteFilePath() : first.absolutePath());
  else
    txtFileName->setText(selectionText(files));
  return true;
}

QString TransferFrame::SelectMdbFile() { return dialogs.openMdbFile(selectsSeveralFiles()); }

void TransferFrame::cmdIO_Click() {
  if (isTransferring()) return;
  RunAction();
}

void TransferFrame::RunAction() {
  switch (m_action) {
    case TransferAction::Import:
    case TransferAction::AutoImport:
      ImportFiles({txtFileName->text()}, QString(), true);
      break;
    case TransferAction::ImportSeveral:
      ImportFiles(FilesToImport(), QStringLiteral("没有选择要导入的文件。"), false);
      break;
    case TransferAction::ImportFolder: {
      const QString strFolder = txtFileName->text();
      if (strFolder.isEmpty() || !QFileInfo(strFolder).isDir())
        ImportFiles({}, QStringLiteral("找不到文件夹：") + strFolder, false);
      else
        ImportFiles(MdbFilesOfFolder(strFolder), QStringLiteral("文件夹中没有MDB文件：") + strFolder, false);
      break;
    }
    case TransferAction::Export:
      ExportCourseSingle();
      break;
    case TransferAction::ExportAll:
      ExportCourseAll();
      break;
    case TransferAction::UpdateCourse:
      UpdateCourseFile(txtFileName->text());
      break;
  }
}

// ---- the worker ----

void TransferFrame::StartTransfer(Work work, std::function<void()> done) {
  m_cancel = std::make_shared<CancelFlag>();
  m_done = std::move(done);
  auto ui = std::make_shared<ThreadedInteraction>(interaction(), this);
  m_worker.reset(QThread::create([work = std::move(work), ui, cancel = m_cancel] { work(*ui, cancel); }));
  connect(m_worker.get(), &QThread::finished, this, [this] { FinishTransfer(); }, Qt::QueuedConnection);
  SetControlsForTransfer(true);
  emit transferStarted();
  m_worker->start();
}

void TransferFrame::FinishTransfer() {
  m_worker->wait();
  m_worker.reset();
  SetControlsForTransfer(false);
  ResetProgressDisplay();
  emit transferFinished();
  const std::function<void()> done = std::move(m_done);
  m_done = nullptr;
  if (done) done();
}

void TransferFrame::cancelTransfer() {
  if (!m_cancel || !isTransferring()) return;
  m_cancel->request();
  cmdCancel->setEnabled(false);
  lblIO->setText(QStringLiteral("正在取消，请等待..."));
}

// While a transfer runs nothing but its cancel button starts anything.
void TransferFrame::SetControlsForTransfer(bool running) {
  cboAction->setEnabled(!running);
  cmdIO->setEnabled(!running);
  txtFileName->setEnabled(!running);
  cmdSelectFile->setEnabled(!running);
  chkPreview->setEnabled(!running);
  chkManualMap->setEnabled(!running);
  cmdCancel->setEnabled(running);
  cmdCancel->setVisible(running);
  if (running) {
    // Nothing of the last run stays on show while the file opens.
    lblIO->setText(isExport(m_action) ? Exporting : QStringLiteral("正在打开文件…"));
    lblIO->show();
    ProgressBar1->setValue(0);
    ProgressBar1->show();
    ShowFileControls(false);
  }
}

void TransferFrame::PostProgress(int index, int count, const QString& name, qint16 nBarValue,
                                 const QString& strMessage) {
  QMetaObject::invokeMethod(
      this, [=, this] { ShowProgress(index, count, name, nBarValue, strMessage); }, Qt::QueuedConnection);
}

// With several files or courses the bar shows the whole run and the label
// which item of how many is under way.
void TransferFrame::ShowProgress(int index, int count, const QString& name, qint16 nBarValue,
                                 const QString& strMessage) {
  if (!isTransferring() || m_cancel->requested()) return;
  if (count <= 1) {
    lblIO->setText(strMessage);
    ProgressBar1->setValue(nBarValue);
    return;
  }
  lblIO->setText(QStringLiteral("第 %1/%2 个：%3  %4").arg(index + 1).arg(count).arg(name, strMessage));
  ProgressBar1->setValue((index * 100 + nBarValue) / count);
}

// ---- imports ----

// The selection of the open-file dialog. A whole text that names an existing
// file is that one file, even when its path holds blanks.
QStringList TransferFrame::FilesToImport() const {
  const QString strText = txtFileName->text();
  if (!strText.isEmpty() && QFileInfo(strText).isFile()) return {strText};
  return SplitFileList(strText);
}

// Imports the files one after the other in the worker; each file is its own
// import and a failure of one does not stop the others. A cancel stops the
// file under way (rolled back) and leaves the rest.
void TransferFrame::ImportFiles(const QStringList& files, const QString& strNothingToImport, bool single) {
  if (files.isEmpty() && !single) {
    ReportImportOutcomes({}, strNothingToImport);
    return;
  }
  auto outcomes = std::make_shared<std::vector<ImportOutcome>>();
  const bool automatic = autoMap();
  if (!importsFolder())
    for (const QString& file : files) UserSettings::AddRecentFile(file);
  const bool preview = chkPreview->isChecked();
  StartTransfer(
      [this, files, outcomes, automatic, preview](Interaction& ui, const std::shared_ptr<CancelFlag>& cancel) {
        CImport objImport(ui, cancel);
        objImport.session().bAutoMap = automatic;
        objImport.session().bDryRun = preview;
        for (int i = 0; i < files.size() && !cancel->requested(); ++i) {
          const QString name = QFileInfo(files.at(i)).fileName();
          objImport.ImportProgress = [this, i, n = files.size(), name](qint16 v, const QString& text) {
            PostProgress(i, n, name, v, text);
          };
          ImportOutcome outcome{objImport.ImportCourseData(files.at(i)), {}, {}, objImport.Imported()};
          if (outcome.result.succeeded()) outcome.strSkipped = objImport.SkippedSummary();
          outcome.strPreview = objImport.DryRunReport();
          outcomes->push_back(std::move(outcome));
        }
      },
      [this, outcomes, strNothingToImport, single, preview] {
        if (preview) {
          ReportPreview(*outcomes);
          return;
        }
        if (single && !outcomes->empty())
          ReportSingleImport(outcomes->front());
        else
          ReportImportOutcomes(*outcomes, strNothingToImport);
        // The freshly imported course is normally the last one listed.
        m_courses.relist(std::nullopt);
      });
}

// The course keeps its row in the grid; it stays selected.
void TransferFrame::UpdateCourseFile(const QString& file) {
  auto outcome = std::make_shared<ImportOutcome>();
  auto courseId = std::make_shared<qint32>(0);
  const bool automatic = autoMap();
  StartTransfer(
      [this, file, outcome, courseId, automatic](Interaction& ui, const std::shared_ptr<CancelFlag>& cancel) {
        CImport objImport(ui, cancel);
        objImport.session().bAutoMap = automatic;
        objImport.ImportProgress = [this, name = QFileInfo(file).fileName()](qint16 v, const QString& text) {
          PostProgress(0, 1, name, v, text);
        };
        outcome->result = objImport.UpdateCourseData(file);
        if (outcome->result.succeeded()) outcome->strSkipped = objImport.SkippedSummary();
        *courseId = objImport.LastUpdatePreview().courseId;
      },
      [this, outcome, courseId] {
        const TransferResult& result = outcome->result;
        if (result.succeeded()) {
          QString strMessage = QStringLiteral("课程更新成功！");
          ShowResult(strMessage);
          if (!outcome->strSkipped.isEmpty()) strMessage += CrLf + outcome->strSkipped;
          interaction().MsgBox(strMessage, {MessageKind::Information}, Res::str(Res::TransferTitle));
        } else if (result.declinedAt == Question::ApplyCourseUpdate) {
          return;  // the person saw the preview and chose not to write it
        } else {
          ReportSingleImport(*outcome);
        }
        m_courses.relist(*courseId);
      });
}

void TransferFrame::ReportSingleImport(const ImportOutcome& outcome) {
  const TransferResult& result = outcome.result;
  if (result.succeeded()) {
    ShowResult(describeImported(outcome.imported));
    QString strMessage = Res::str(ImportSucceeded) + CrLf + describeImported(outcome.imported);
    if (!outcome.strSkipped.isEmpty()) strMessage += CrLf + outcome.strSkipped;
    interaction().MsgBox(strMessage, {MessageKind::Information}, Res::str(Res::TransferTitle));
  } else if (cancelledByPerson(result)) {
    ShowResult(ImportCancelled);
    interaction().MsgBox(ImportCancelled, {MessageKind::Information}, Res::str(Res::TransferTitle));
  } else if (result.status == TransferResult::Status::Failed && !result.shown) {
    // The engine reports its own refusals; a raised failure is ours to show.
    interaction().MsgBox(result.reason, {MessageKind::Error}, Res::str(Res::TransferTitle));
  }
}

// What each file would have done; files the preview could not run through
// say why.
void TransferFrame::ReportPreview(const std::vector<ImportOutcome>& outcomes) {
  QStringList parts;
  for (const ImportOutcome& o : outcomes) {
    const QString body = o.result.succeeded() ? o.strPreview : QString(o.result.reason).replace(CrLf, QStringLiteral(" "));
    parts << (outcomes.size() > 1 ? o.result.file + CrLf : QString()) + body;
  }
  if (parts.isEmpty()) return;
  interaction().MsgBox(parts.join(CrLf + CrLf), {MessageKind::Information}, Res::str(Res::TransferTitle));
}

// Success only when every file was imported; otherwise one message names each
// file that was not, with its reason, and how many were.
void TransferFrame::ReportImportOutcomes(const std::vector<ImportOutcome>& outcomes,
                                         const QString& strNothingToImport) {
  if (outcomes.empty()) {
    interaction().MsgBox(strNothingToImport, {MessageKind::Warning}, Res::str(Res::TransferTitle));
    return;
  }
  QStringList failed;
  QStringList skipped;
  QStringList imported;
  for (const ImportOutcome& o : outcomes) {
    const TransferResult& r = o.result;
    if (r.succeeded()) imported << describeImported(o.imported);
    const QString reason = r.reason.isEmpty() ? QStringLiteral("未导入") : r.reason;
    if (!r.succeeded()) failed << r.file + QStringLiteral("：") + QString(reason).replace(CrLf, QStringLiteral(" "));
    if (!o.strSkipped.isEmpty()) skipped << r.file + QStringLiteral("：") + o.strSkipped;
  }
  QString strMessage;
  MessageKind kind = MessageKind::Information;
  if (failed.isEmpty()) {
    strMessage = Res::str(ImportSucceeded);
  } else {
    kind = MessageKind::Warning;
    strMessage = QStringLiteral("已导入 %1 个文件，共 %2 个。").arg(imported.size()).arg(outcomes.size()) + CrLf +
                 QStringLiteral("以下文件未导入：") + CrLf + failed.join(CrLf);
  }
  if (!imported.isEmpty()) strMessage += CrLf + QStringLiteral("导入的课程：") + CrLf + imported.join(CrLf);
  if (!skipped.isEmpty()) strMessage += CrLf + QStringLiteral("导入时略去的行：") + CrLf + skipped.join(CrLf);
  ShowResult(QStringLiteral("已导入 %1 个文件，共 %2 个。").arg(imported.size()).arg(outcomes.size()));
  interaction().MsgBox(strMessage, {kind}, Res::str(Res::TransferTitle));
}

// The status line keeps what the last transfer came to until the next starts.
void TransferFrame::ShowResult(const QString& strResult) {
  lblIO->setText(strResult);
  lblIO->show();
}

// Also after a failure in mid-transfer, so that the frame does not stay half-shown.
void TransferFrame::ResetProgressDisplay() {
  lblIO->hide();
  ProgressBar1->hide();
  ProgressBar1->setValue(0);
  cmdCancel->hide();
  if (!isExport(m_action)) ShowFileControls(true);
}

// ---- exports ----

// The export folder beside the program folder, created on first use, as the
// file system reports it (resolved, no final slash).
QString TransferFrame::PreparedExportFolder() const {
  const QString strFolder = AppPaths::exportFolder();
  if (!QFileInfo(strFolder).isDir() && !QDir().mkdir(strFolder))
    throw DataError(75, QStringLiteral("frmCorvina"), QStringLiteral("导出文件夹不能建立：") + strFolder);
  return QFileInfo(strFolder).canonicalFilePath();
}

void TransferFrame::ExportCourseSingle() {
  const std::optional<Course> course = m_courses.selected();
  if (!course) {
    interaction().MsgBox(NoCourseChosen, {MessageKind::Warning}, Res::str(Res::TransferTitle));
    return;
  }
  try {
    const QString strProposed = PreparedExportFolder() + '/' + SafeFileName(course->name) + QStringLiteral(".mdb");
    const std::optional<QString> chosen = dialogs.saveMdbFile(strProposed);
    if (!chosen) return;  // cancelled: ends silently
    ExportCourses({{course->id, course->name, *chosen}}, QFileInfo(*chosen).absolutePath(),
                  QStringLiteral("ExportCourseSingle"));
  } catch (const std::exception& e) {
    interaction().MsgBox(failureText(e), {MessageKind::Error}, QStringLiteral("ExportCourseSingle"));
  }
}

void TransferFrame::ExportCourseAll() {
  const std::vector<Course> listed = m_courses.all();
  if (listed.empty()) {
    interaction().MsgBox(NoCourseListed, {MessageKind::Warning}, Res::str(Res::TransferTitle));
    return;
  }
  try {
    const QString strFolder = dialogs.browseFolder(QStringLiteral("选择导出的文件夹"), PreparedExportFolder());
    if (strFolder.isEmpty()) return;
    std::vector<std::pair<qint32, QString>> named;
    for (const Course& c : listed) named.emplace_back(c.id, c.name);
    const QStringList files = ExportFilesOfCourses(strFolder, named);
    std::vector<CourseToExport> courses;
    for (size_t i = 0; i < named.size(); ++i) courses.push_back({named[i].first, named[i].second, files[qsizetype(i)]});
    ExportCourses(courses, strFolder, QStringLiteral("ExportCourseAll"));
  } catch (const std::exception& e) {
    interaction().MsgBox(failureText(e), {MessageKind::Error}, QStringLiteral("ExportCourseAll"));
  }
}

// Exports the courses one after the other; the first that does not succeed
// ends the run (the courses before it stay exported). The grid keeps the
// course that was selected.
void TransferFrame::ExportCourses(const std::vector<CourseToExport>& courses, const QString& strFolder,
                                  const QString& strProcedure) {
  auto last = std::make_shared<TransferResult>();
  const std::optional<Course> chosen = m_courses.selected();
  const qint32 selected = chosen ? chosen->id : 0;  // 0 selects none again
  ShowExportProgress();
  StartTransfer(
      [this, courses, last](Interaction& ui, const std::shared_ptr<CancelFlag>& cancel) {
        const int n = static_cast<int>(courses.size());
        for (int i = 0; i < n; ++i) {
          CExport objExport(ui, cancel);
          objExport.ExportProgress = [this, i, n, name = courses[i].name](qint16 v, const QString& text) {
            PostProgress(i, n, name, v, text);
          };
          QString strDestFile = courses[i].file;
          *last = objExport.ExportCourseData(strDestFile, courses[i].id);
          if (!last->succeeded()) return;
        }
      },
      [this, last, strFolder, strProcedure, selected, n = courses.size()] {
        interaction().SetBusy(false);
        if (last->succeeded()) {
          ShowResult(n == 1 ? QStringLiteral("已导出到：") + last->file
                            : QStringLiteral("已导出 %1 个课程到：%2").arg(n).arg(strFolder));
          interaction().OpenFolder(strFolder);
        } else if (last->status == TransferResult::Status::Cancelled) {
          const QString strCancelled = QStringLiteral("导出已取消，") + last->file + QStringLiteral(" 没有写入。");
          ShowResult(strCancelled);
          interaction().MsgBox(strCancelled, {MessageKind::Information}, Res::str(Res::TransferTitle));
        }
        else if (last->status == TransferResult::Status::Failed && !last->shown)
          interaction().MsgBox(last->reason, {MessageKind::Error}, strProcedure);
        m_courses.relist(selected);
      });
}

void TransferFrame::ShowExportProgress() {
  lblIO->setText(Exporting);
  lblIO->show();
  ProgressBar1->setValue(0);
  ProgressBar1->show();
  interaction().SetBusy(true);
}
