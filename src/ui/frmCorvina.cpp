#include "ui/frmCorvina.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <initializer_list>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "resources/Strings.h"
#include "ui/AboutBox.h"
#include "ui/TransferFrame.h"
#include "ui/UserSettings.h"
#include "ui/X11Window.h"
#include "core/modInputOutput.h"

namespace {
const QString FormName = QStringLiteral("frmCorvina");

// The size the window opens with the first time, when the screen has room.
constexpr int DesignWidth = 780;
constexpr int DesignHeight = 560;
// Below this a grid shows too few rows to choose from.
constexpr int GridMinimumHeight = 120;
constexpr int DecorationWidth = 16;
constexpr int DecorationHeight = 48;

QTableWidget* makeGrid(const QString& name, QWidget* parent) {
  auto* grid = new QTableWidget(parent);
  grid->setObjectName(name);
  grid->setColumnCount(2);
  grid->setSelectionBehavior(QAbstractItemView::SelectRows);
  grid->setSelectionMode(QAbstractItemView::SingleSelection);
  grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the grid for the buttons; the arrow keys move inside it.
  grid->setTabKeyNavigation(false);
  grid->horizontalHeader()->setStretchLastSection(true);
  grid->setColumnWidth(0, 220);
  grid->setMinimumHeight(GridMinimumHeight);
  return grid;
}

QPushButton* makeButton(const QString& name, const QString& caption, QWidget* parent) {
  auto* button = new QPushButton(caption, parent);
  button->setObjectName(name);
  return button;
}

void setHeaders(QTableWidget* grid, const QString& column1, const QString& column2) {
  grid->setHorizontalHeaderLabels({column1, column2});
}

// Column 0 is the row header holding the identifier; columns 1 and 2 are cells.
void setRowId(QTableWidget* grid, int row, const QVariant& id) {
  grid->setVerticalHeaderItem(row - 1, new QTableWidgetItem(id.toString()));
}

void setLockedCell(QTableWidget* grid, int col, int row, const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(item->flags() & ~Qt::ItemIsEditable);
  grid->setItem(row - 1, col - 1, item);
}

// A missing value cannot be shown as a name: the original raised "Invalid use
// of Null" here, and the refresh reports it.
QString requiredText(const QVariant& value) {
  if (value.isNull()) throw DataError(94, FormName, QStringLiteral("Invalid use of Null"));
  return value.toString();
}

QString optionalText(const QVariant& value) { return value.isNull() ? QString() : value.toString(); }

// Runs a grid refresh; a failure goes to the error log and the user, the rows
// filled so far stay and the grid is shown again.
template <typename Fill>
void refreshGuarded(QTableWidget* grid, const QString& procedure, Fill fill) {
  grid->hide();
  try {
    fill();
  } catch (const DataError& e) {
    LogError(FormName, procedure, shownErrorNumber(e), e.description(), false);
  } catch (const std::exception& e) {
    LogError(FormName, procedure, shownErrorNumber(e), QString::fromStdString(e.what()), false);
  }
  grid->show();
}
}  // namespace

frmCorvina::frmCorvina(QWidget* parent) : QWidget(parent) {
  setObjectName(FormName);
  setAcceptDrops(true);
  m_tabMain = new QTabWidget(this);
  m_tabMain->setObjectName(QStringLiteral("tabMain"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(m_tabMain);
  buildSubjectPage();
  buildCoursePage();
  addAboutButton();
  connect(m_tabMain, &QTabWidget::currentChanged, this, &frmCorvina::onTabMainChanged);
  placeOnScreen();
  Form_Load();
}

// Beside the page captions, so it is there on both pages.
void frmCorvina::addAboutButton() {
  auto* about = makeButton(QStringLiteral("cmdAbout"), QStringLiteral("关于(&A)"), m_tabMain);
  about->setFlat(true);
  about->setAutoDefault(false);
  m_tabMain->setCornerWidget(about, Qt::TopRightCorner);
  connect(about, &QPushButton::clicked, this, [this] { ShowAbout(this); });
}

// Where the person left it; the first time the design size, which fits a
// 1024x768 screen. A smaller one (or a large panel, or a larger scale) gets a
// smaller window, always whole and centred in the screen's free area.
void frmCorvina::placeOnScreen() {
  if (UserSettings::RestoreGeometry(*this)) return;
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!shown) return;
  const QRect area = shown->availableGeometry();
  // Room for the title bar and borders, which the window manager adds later.
  const QSize decoration(DecorationWidth, DecorationHeight);
  const QSize size =
      QSize(DesignWidth, DesignHeight).boundedTo(area.size() - decoration).expandedTo(minimumSizeHint());
  resize(size);
  const QSize outer = size + decoration;
  move(area.left() + std::max(0, (area.width() - outer.width()) / 2),
       area.top() + std::max(0, (area.height() - outer.height()) / 2));
}

frmCorvina::~frmCorvina() = default;

// A row of buttons at the right, under the page's grid; lead, when given,
// stands at the left.
static QHBoxLayout* buttonRow(QWidget* lead, std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout;
  if (lead) row->addWidget(lead, 1);
  else row->addStretch(1);
  for (QPushButton* b : buttons) row->addWidget(b);
  return row;
}

void frmCorvina::buildSubjectPage() {
  auto* page = new QWidget;
  m_sprSubject = makeGrid(QStringLiteral("sprSubject"), page);
  m_cmdSelectCourse = makeButton(QStringLiteral("cmdSelectCourse"), QStringLiteral("课程选择(&S)"), page);
  m_cmdReturn[0] = makeButton(QStringLiteral("cmdReturn_0"), QStringLiteral("退出(&X)"), page);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(m_sprSubject, 1);
  layout->addLayout(buttonRow(nullptr, {m_cmdSelectCourse, m_cmdReturn[0]}));
  m_tabMain->addTab(page, QStringLiteral(" 专业管理 "));
  connect(m_cmdSelectCourse, &QPushButton::clicked, this, &frmCorvina::cmdSelectCourse_Click);
  connect(m_cmdReturn[0], &QPushButton::clicked, this, &frmCorvina::cmdReturn_Click);
  // Double-click or Enter on a subject opens its courses.
  connect(m_sprSubject, &QTableWidget::activated, this, &frmCorvina::cmdSelectCourse_Click);
  connect(m_sprSubject, &QTableWidget::doubleClicked, this, &frmCorvina::cmdSelectCourse_Click);
}

void frmCorvina::buildCoursePage() {
  auto* page = new QWidget;
  m_tabCourse = new QTabWidget(page);
  m_tabCourse->setObjectName(QStringLiteral("tabCourse"));

  auto* gridPage = new QWidget;
  m_sprCourse = makeGrid(QStringLiteral("sprCourse"), gridPage);
  (new QVBoxLayout(gridPage))->addWidget(m_sprCourse);
  m_tabCourse->addTab(gridPage, QStringLiteral("课程选择"));

  auto* framePage = new QWidget;
  m_frame3 = new TransferFrame(courseList(), framePage);
  (new QVBoxLayout(framePage))->addWidget(m_frame3);
  m_tabCourse->addTab(framePage, QStringLiteral("课程导入导出"));

  m_lblSubject = new QLabel(page);
  m_lblSubject->setObjectName(QStringLiteral("lblSubject"));
  m_cmdReturn[1] = makeButton(QStringLiteral("cmdReturn_1"), QStringLiteral("返回(&R)"), page);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(m_tabCourse, 1);
  layout->addLayout(buttonRow(m_lblSubject, {m_cmdReturn[1]}));
  m_tabMain->addTab(page, QStringLiteral(" 课程管理 "));
  connect(m_cmdReturn[1], &QPushButton::clicked, this, &frmCorvina::cmdReturn_Click);
  connect(m_frame3, &TransferFrame::transferStarted, this, [this] { SetTransferRunning(true); });
  connect(m_frame3, &TransferFrame::transferFinished, this, &frmCorvina::OnTransferFinished);
  connect(m_sprCourse, &QTableWidget::itemSelectionChanged, this, &frmCorvina::ShowSelectedCourse);
}

// What the transfer frame exports and lists again afterwards: the course grid.
TransferFrame::CourseList frmCorvina::courseList() {
  const auto course = [this](int row) {
    return TransferFrame::Course{CellText(m_sprCourse, 0, row).toInt(), CellText(m_sprCourse, 1, row)};
  };
  TransferFrame::CourseList list;
  list.selected = [this, course]() -> std::optional<TransferFrame::Course> {
    const int row = ActiveRow(m_sprCourse);
    if (row < 1) return std::nullopt;
    return course(row);
  };
  list.all = [this, course] {
    std::vector<TransferFrame::Course> all;
    for (int row = 1; row <= MaxRows(m_sprCourse); ++row) all.push_back(course(row));
    return all;
  };
  list.relist = [this](std::optional<qint32> id) {
    RefreshCourse();
    if (id)
      SelectRowWithId(m_sprCourse, *id);
    else
      SelectLastRow(m_sprCourse);
  };
  return list;
}

void frmCorvina::Form_Load() {
  m_frame3->FillActions();
  m_tabMain->setCurrentIndex(0);
  setWindowTitle(Res::str(Res::AppTitle) + '-' + Res::str(Res::ImportCaption));
  RefreshSubject();
}

void frmCorvina::RefreshSubject() {
  refreshGuarded(m_sprSubject, QStringLiteral("RefreshSubject"), [this] { fillSubjectRows(m_sprSubject); });
}

void frmCorvina::fillSubjectRows(QTableWidget* grid) {
  setHeaders(grid, QStringLiteral("专业名称"), QStringLiteral("描述"));
  grid->setRowCount(0);
  CDataAccess dal;
  Bulk::Query rs = dal.OpenQuery(SubjectListSql());
  for (int row = 1; rs.next(); ++row) {
    grid->setRowCount(row);
    setLockedCell(grid, 1, row, requiredText(rs.value(QStringLiteral("name"))));
    setLockedCell(grid, 2, row, optionalText(rs.value(QStringLiteral("description"))));
    setRowId(grid, row, rs.value(QStringLiteral("subjectID")));
  }
}

// The original let a failure here reach a caller without a handler; it is
// logged and shown like the subject refresh's, and the window stays usable.
void frmCorvina::RefreshCourse() {
  refreshGuarded(m_sprCourse, QStringLiteral("RefreshCourse"), [this] {
    setHeaders(m_sprCourse, QStringLiteral("课程名称"), QStringLiteral("描述"));
    m_sprCourse->setRowCount(0);
    CDataAccess dal;
    Bulk::Query rs = dal.OpenQuery(CourseListSql(m_nSubjectID));
    for (int row = 1; rs.next(); ++row) {
      m_sprCourse->setRowCount(row);
      setRowId(m_sprCourse, row, rs.value(QStringLiteral("courseID")));
      setLockedCell(m_sprCourse, 1, row, requiredText(rs.value(QStringLiteral("Name"))));
      setLockedCell(m_sprCourse, 2, row, optionalText(rs.value(QStringLiteral("Description"))));
    }
  });
}

void frmCorvina::onTabMainChanged(int nIndex) {
  const int nPrevious = m_nShownTab;
  m_nShownTab = nIndex;
  if (m_bInTabChange) return;  // the handler's own page switches
  m_bInTabChange = true;
  tabMain_Click(nPrevious);
  m_bInTabChange = false;
}

void frmCorvina::tabMain_Click(int nPreviousTab) {
  if (nPreviousTab == 0) {
    const int row = ActiveRow(m_sprSubject);
    if (row < 1) {
      interaction().MsgBox(QStringLiteral("没有选定任何专业！"), {}, QStringLiteral("专业选择"));
      m_tabMain->setCurrentIndex(0);
    } else {
      m_nSubjectID = CellText(m_sprSubject, 0, row).toInt();
      ShowChosenSubject();
    }
  } else if (nPreviousTab == 1) {
    if (ActiveRow(m_sprCourse) < 1) m_tabMain->setCurrentIndex(0);
  }
  if (m_tabMain->currentIndex() == 1) {
    m_tabCourse->setCurrentIndex(0);
    RefreshCourse();
  }
}

// The course page says whose courses it lists.
void frmCorvina::ShowChosenSubject() {
  const int row = ActiveRow(m_sprSubject);
  m_lblSubject->setText(QStringLiteral("专业：") + CellText(m_sprSubject, 1, row));
}

void frmCorvina::ShowSelectedCourse() {
  const int row = ActiveRow(m_sprCourse);
  m_frame3->ShowSelectedCourse(row < 1 ? QString() : CellText(m_sprCourse, 1, row));
}

void frmCorvina::cmdSelectCourse_Click() {
  if (ActiveRow(m_sprSubject) >= 1) m_tabMain->setCurrentIndex(1);
}

void frmCorvina::cmdReturn_Click() {
  if (!KeepOpenForTransfer()) close();
}

QString frmCorvina::CancelQuestion() { return QStringLiteral("正在进行导入导出，是否取消？"); }

bool frmCorvina::KeepOpenForTransfer() {
  if (!m_frame3->isTransferring()) return false;
  if (interaction().MsgBox(CancelQuestion(), {MessageKind::Question, Buttons::YesNo, Answer::No},
                           Res::str(Res::TransferTitle)) != Answer::Yes)
    return true;
  m_bCloseWhenTransferEnds = true;
  if (!m_frame3->isTransferring()) return false;  // it ended meanwhile: nothing left to wait for
  m_frame3->cancelTransfer();
  return true;
}

// The pages stay where they are while a transfer runs.
void frmCorvina::SetTransferRunning(bool running) {
  m_tabMain->tabBar()->setEnabled(!running);
  m_tabCourse->tabBar()->setEnabled(!running);
}

// A question about cancelling has no object any more; a close asked for
// during the transfer happens now that it has rolled back and reported.
void frmCorvina::OnTransferFinished() {
  SetTransferRunning(false);
  interaction().WithdrawQuestion();
  if (m_bCloseWhenTransferEnds) QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
}

void frmCorvina::SelectRowWithId(QTableWidget* grid, qint32 id) {
  for (int row = 1; row <= grid->rowCount(); ++row) {
    if (CellText(grid, 0, row).toInt() != id) continue;
    grid->setCurrentCell(row - 1, 0);
    grid->selectRow(row - 1);
    return;
  }
}

int frmCorvina::ActiveRow(const QTableWidget* grid) {
  const QModelIndex current = grid->currentIndex();
  if (!current.isValid() || !grid->selectionModel()->isRowSelected(current.row(), QModelIndex())) return 0;
  return current.row() + 1;
}

int frmCorvina::MaxRows(const QTableWidget* grid) { return grid->rowCount(); }

QString frmCorvina::CellText(const QTableWidget* grid, int col, int row) {
  if (row < 1 || row > grid->rowCount()) return {};
  const QTableWidgetItem* item = col == 0 ? grid->verticalHeaderItem(row - 1) : grid->item(row - 1, col - 1);
  return item ? item->text() : QString();
}

void frmCorvina::SelectLastRow(QTableWidget* grid) {
  if (grid->rowCount() < 1) return;
  grid->setCurrentCell(grid->rowCount() - 1, 0);
  grid->selectRow(grid->rowCount() - 1);
}

// The examination system's own window comes back, centred; closing is never refused.
void frmCorvina::Form_Unload() { X11Window::RestoreCentred(Res::str(Res::AppTitle)); }

void frmCorvina::closeEvent(QCloseEvent* event) {
  if (KeepOpenForTransfer()) {
    event->ignore();
    return;
  }
  m_bCloseWhenTransferEnds = false;
  UserSettings::SaveGeometry(*this);
  Form_Unload();
  event->accept();
}

// Exchange files dropped on the window go into the file field of the chosen
// import action, on the course page.
static QStringList droppedFiles(const QMimeData* data) {
  QStringList files;
  if (!data->hasUrls()) return files;
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) files << url.toLocalFile();
  return files;
}

void frmCorvina::dragEnterEvent(QDragEnterEvent* event) {
  if (m_tabMain->currentIndex() == 1 && m_frame3->AcceptsDroppedFiles(droppedFiles(event->mimeData())))
    event->acceptProposedAction();
}

void frmCorvina::dropEvent(QDropEvent* event) {
  if (m_tabMain->currentIndex() != 1 || !m_frame3->DropFiles(droppedFiles(event->mimeData()))) return;
  m_tabCourse->setCurrentIndex(1);
  event->acceptProposedAction();
}
