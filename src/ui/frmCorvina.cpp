#include "ui/frmCorvina.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QHeaderView>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>

#include <cmath>

#include "core/Interaction.h"
#include "data/CDataAccess.h"
#include "data/DataError.h"
#include "resources/Strings.h"
#include "ui/AboutBox.h"
#include "ui/TransferFrame.h"
#include "ui/X11Window.h"
#include "core/modInputOutput.h"

namespace {
const QString FormName = QStringLiteral("frmCorvina");

// Design-time layout, in pixels (15 twips each at 96 dpi).
constexpr int DesignWidth = 780;
constexpr int DesignHeight = 560;
constexpr int GridLeft = 10;
constexpr int GridTop = 10;
constexpr int GridWidth = 740;
constexpr int GridHeight = 420;
constexpr int ButtonWidth = 90;
constexpr int ButtonHeight = 28;
constexpr int ButtonTop = 440;
constexpr int CourseTabHeight = 425;
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
    LogError(FormName, procedure, e.number(), e.description(), false);
  } catch (const std::exception& e) {
    LogError(FormName, procedure, DataError::GenericNumber, QString::fromStdString(e.what()), false);
  }
  grid->show();
}
}  // namespace

frmCorvina::frmCorvina(QWidget* parent) : QWidget(parent) {
  setObjectName(FormName);
  resize(DesignWidth, DesignHeight);
  m_tabMain = new QTabWidget(this);
  m_tabMain->setObjectName(QStringLiteral("tabMain"));
  buildSubjectPage();
  buildCoursePage();
  addAboutButton();
  connect(m_tabMain, &QTabWidget::currentChanged, this, &frmCorvina::onTabMainChanged);
  placeOnScreen();
  Form_Resize();
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

// The design size fits a 1024x768 screen; a smaller one (or a large panel)
// gets a smaller window, always whole and centred in the screen's free area.
void frmCorvina::placeOnScreen() {
  const QScreen* shown = screen() ? screen() : QGuiApplication::primaryScreen();
  if (!shown) return;
  const QRect area = shown->availableGeometry();
  // Room for the title bar and borders, which the window manager adds later.
  const QSize decoration(DecorationWidth, DecorationHeight);
  const QSize size = QSize(DesignWidth, DesignHeight).boundedTo(area.size() - decoration);
  resize(size);
  const QSize outer = size + decoration;
  move(area.left() + std::max(0, (area.width() - outer.width()) / 2),
       area.top() + std::max(0, (area.height() - outer.height()) / 2));
}

frmCorvina::~frmCorvina() = default;

void frmCorvina::buildSubjectPage() {
  auto* page = new QWidget;
  m_sprSubject = makeGrid(QStringLiteral("sprSubject"), page);
  m_sprSubject->setGeometry(GridLeft, GridTop, GridWidth, GridHeight);
  m_cmdSelectCourse = makeButton(QStringLiteral("cmdSelectCourse"), QStringLiteral("课程选择(&S)"), page);
  m_cmdSelectCourse->setGeometry(GridLeft + GridWidth - 2 * ButtonWidth - 10, ButtonTop, ButtonWidth, ButtonHeight);
  m_cmdReturn[0] = makeButton(QStringLiteral("cmdReturn_0"), QStringLiteral("退出(&X)"), page);
  m_cmdReturn[0]->setGeometry(GridLeft + GridWidth - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  m_tabMain->addTab(page, QStringLiteral(" 专业管理 "));
  connect(m_cmdSelectCourse, &QPushButton::clicked, this, &frmCorvina::cmdSelectCourse_Click);
  connect(m_cmdReturn[0], &QPushButton::clicked, this, &frmCorvina::cmdReturn_Click);
}

void frmCorvina::buildCoursePage() {
  auto* page = new QWidget;
  m_tabCourse = new QTabWidget(page);
  m_tabCourse->setObjectName(QStringLiteral("tabCourse"));
  m_tabCourse->move(GridLeft, GridTop);
  m_tabCourse->resize(GridWidth, CourseTabHeight);

  auto* gridPage = new QWidget;
  m_sprCourse = makeGrid(QStringLiteral("sprCourse"), gridPage);
  m_sprCourse->setGeometry(5, 5, GridWidth - 16, CourseTabHeight - 45);
  m_tabCourse->addTab(gridPage, QStringLiteral("课程选择"));

  auto* framePage = new QWidget;
  m_frame3 = new TransferFrame(courseList(), framePage);
  m_frame3->setGeometry(5, 5, GridWidth - 16, CourseTabHeight - 45);
  m_tabCourse->addTab(framePage, QStringLiteral("课程导入导出"));

  m_cmdReturn[1] = makeButton(QStringLiteral("cmdReturn_1"), QStringLiteral("返回(&R)"), page);
  m_cmdReturn[1]->setGeometry(GridLeft + GridWidth - ButtonWidth, ButtonTop, ButtonWidth, ButtonHeight);
  m_tabMain->addTab(page, QStringLiteral(" 课程管理 "));
  connect(m_cmdReturn[1], &QPushButton::clicked, this, &frmCorvina::cmdReturn_Click);
  connect(m_frame3, &TransferFrame::transferStarted, this, [this] { SetTransferRunning(true); });
  connect(m_frame3, &TransferFrame::transferFinished, this, [this] { SetTransferRunning(false); });
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
  RecordsetPtr rs;
  dal.GetConnectedRecordset(SubjectListSql(), rs);
  grid->setRowCount(rs->RecordCount());
  for (int row = 1; !rs->Eof(); ++row, rs->MoveNext()) {
    setLockedCell(grid, 1, row, requiredText(rs->Value(QStringLiteral("name"))));
    setLockedCell(grid, 2, row, optionalText(rs->Value(QStringLiteral("description"))));
    setRowId(grid, row, rs->Value(QStringLiteral("subjectID")));
  }
}

// The original let a failure here reach a caller without a handler; it is
// logged and shown like the subject refresh's, and the window stays usable.
void frmCorvina::RefreshCourse() {
  refreshGuarded(m_sprCourse, QStringLiteral("RefreshCourse"), [this] {
    setHeaders(m_sprCourse, QStringLiteral("课程名称"), QStringLiteral("描述"));
    m_sprCourse->setRowCount(0);
    CDataAccess dal;
    RecordsetPtr rs;
    dal.GetConnectedRecordset(CourseListSql(m_nSubjectID), rs);
    m_sprCourse->setRowCount(rs->RecordCount());
    for (int row = 1; !rs->Eof(); ++row, rs->MoveNext()) {
      setRowId(m_sprCourse, row, rs->Value(QStringLiteral("courseID")));
      setLockedCell(m_sprCourse, 1, row, requiredText(rs->Value(QStringLiteral("Name"))));
      setLockedCell(m_sprCourse, 2, row, optionalText(rs->Value(QStringLiteral("Description"))));
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
    }
  } else if (nPreviousTab == 1) {
    if (ActiveRow(m_sprCourse) < 1) m_tabMain->setCurrentIndex(0);
  }
  if (m_tabMain->currentIndex() == 1) {
    m_tabCourse->setCurrentIndex(0);
    RefreshCourse();
  }
}

void frmCorvina::cmdSelectCourse_Click() {
  if (ActiveRow(m_sprSubject) >= 1) m_tabMain->setCurrentIndex(1);
}

void frmCorvina::cmdReturn_Click() {
  if (!KeepOpenForTransfer()) close();
}

bool frmCorvina::KeepOpenForTransfer() {
  if (!m_frame3->isTransferring()) return false;
  if (interaction().MsgBox(QStringLiteral("正在进行导入导出，是否取消？"), {MessageKind::Question, Buttons::YesNo, Answer::No},
                           Res::str(Res::TransferTitle)) == Answer::Yes)
    m_frame3->cancelTransfer();
  return true;
}

// The pages stay where they are while a transfer runs.
void frmCorvina::SetTransferRunning(bool running) {
  m_tabMain->tabBar()->setEnabled(!running);
  m_tabCourse->tabBar()->setEnabled(!running);
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

frmCorvina::TabSizes frmCorvina::ResizeRule(int windowWidthTwips, int windowHeightTwips) {
  const int tabMainWidth = windowWidthTwips - 100;
  return {tabMainWidth, windowHeightTwips - 400, tabMainWidth - 500};
}

int frmCorvina::TwipsPerPixel() const {
  const int dpi = logicalDpiX() > 0 ? logicalDpiX() : 96;
  return std::max(1, static_cast<int>(std::lround(1440.0 / dpi)));
}

void frmCorvina::Form_Resize() {
  if (isMinimized()) return;
  const int tpp = TwipsPerPixel();
  const QSize outer = frameGeometry().size();
  const TabSizes sizes = ResizeRule(outer.width() * tpp, outer.height() * tpp);
  m_tabMain->resize(std::max(0, sizes.tabMainWidth / tpp), std::max(0, sizes.tabMainHeight / tpp));
  m_tabCourse->resize(std::max(0, sizes.tabCourseWidth / tpp), m_tabCourse->height());
}

void frmCorvina::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Form_Resize();
}

void frmCorvina::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

// The examination system's own window comes back, centred; closing is never refused.
void frmCorvina::Form_Unload() { X11Window::RestoreCentred(Res::str(Res::AppTitle)); }

void frmCorvina::closeEvent(QCloseEvent* event) {
  if (KeepOpenForTransfer()) {
    event->ignore();
    return;
  }
  Form_Unload();
  event->accept();
}
