#pragma once
#include <QWidget>
#include <QtGlobal>

#include "ui/TransferFrame.h"

class QLabel;
class QPushButton;
class QTabWidget;
class QTableWidget;

// The main window shown after a successful login: the subject page, the course
// page with the course grid and the transfer frame. Closing it restores the
// examination system's own window and ends the program. The grids take the
// room the window has; its size and place are remembered for the next run.
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

  // The question asked when the window is left while a transfer runs.
  static QString CancelQuestion();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void Form_Load();
  void Form_Unload();
  void tabMain_Click(int nPreviousTab);
  void onTabMainChanged(int nIndex);
  void cmdSelectCourse_Click();
  void cmdReturn_Click();
  // While a transfer runs the window is not left: true when one runs. The
  // person is asked whether to cancel it; 是 cancels it and closes the window
  // once it has rolled back.
  bool KeepOpenForTransfer();
  void SetTransferRunning(bool running);
  void OnTransferFinished();
  void ShowChosenSubject();
  void ShowSelectedCourse();
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
  QLabel* m_lblSubject = nullptr;
  TransferFrame* m_frame3 = nullptr;
  qint32 m_nSubjectID = 0;
  int m_nShownTab = 0;
  bool m_bInTabChange = false;
  bool m_bCloseWhenTransferEnds = false;
};
