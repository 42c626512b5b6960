#pragma once
#include <QWidget>
#include <QtGlobal>

#include "ui/TransferFrame.h"

class QPushButton;
class QTabWidget;
class QTableWidget;

// The main window shown after a successful login: the subject page, the course
// page with the course grid and the transfer frame. Closing it restores the
// examination system's own window and ends the program.
class frmCorvina : public QWidget {
  Q_OBJECT
 public:
  explicit frmCorvina(QWidget* parent = nullptr);
  ~frmCorvina() override;

  void RefreshSubject();
  void RefreshCourse();

  qint32 nSubjectID() const { return m_nSubjectID; }
  QTableWidget* sprSubject() const { return m_sprSubject; }
  QTableWidget* sprCourse() const { return m_sprCourse; }
  TransferFrame* Frame3() const { return m_frame3; }

  // The grids the way the program reads them: data rows from 1, column 0 the
  // row's identifier, columns 1 and 2 the texts; active row below 1 when none.
  static int ActiveRow(const QTableWidget* grid);
  static int MaxRows(const QTableWidget* grid);
  static QString CellText(const QTableWidget* grid, int col, int row);
  static void SelectLastRow(QTableWidget* grid);
  // Selects the row whose identifier is id; nothing when none has it.
  static void SelectRowWithId(QTableWidget* grid, qint32 id);

  // The resize rule, in twips of the outer window: tabMain follows the window,
  // tabCourse follows tabMain.
  struct TabSizes {
    int tabMainWidth;
    int tabMainHeight;
    int tabCourseWidth;
  };
  static TabSizes ResizeRule(int windowWidthTwips, int windowHeightTwips);
  int TwipsPerPixel() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void Form_Load();
  void Form_Resize();
  void Form_Unload();
  void tabMain_Click(int nPreviousTab);
  void onTabMainChanged(int nIndex);
  void cmdSelectCourse_Click();
  void cmdReturn_Click();
  // While a transfer runs the window is not left: true when one runs (the
  // person was asked whether to cancel it).
  bool KeepOpenForTransfer();
  void SetTransferRunning(bool running);
  void addAboutButton();
  void placeOnScreen();
  void buildSubjectPage();
  void buildCoursePage();
  TransferFrame::CourseList courseList();
  void fillSubjectRows(QTableWidget* grid);

  QTabWidget* m_tabMain = nullptr;
  QTabWidget* m_tabCourse = nullptr;
  QTableWidget* m_sprSubject = nullptr;
  QTableWidget* m_sprCourse = nullptr;
  QPushButton* m_cmdSelectCourse = nullptr;
  QPushButton* m_cmdReturn[2] = {nullptr, nullptr};
  TransferFrame* m_frame3 = nullptr;
  qint32 m_nSubjectID = 0;
  int m_nShownTab = 0;
  bool m_bInTabChange = false;
};
