#pragma once
#include <QDialog>

#include "core/Interaction.h"
#include "core/UpdatePreview.h"

class QTableWidget;

// The preview of a course update, shown before anything is written: one
// table of the problems and contents the file adds, changes, leaves as they
// are and does not have, with their counts and first rows; 确定 writes the
// update, 取消 leaves the course as it is.
class frmUpdatePreview : public QDialog {
  Q_OBJECT
 public:
  explicit frmUpdatePreview(const UpdatePreview& preview, QWidget* parent = nullptr);

  QTableWidget* sprPreview() const { return m_sprPreview; }

 private:
  void fill(const UpdatePreview& preview);

  QTableWidget* m_sprPreview = nullptr;
};

// Shows it modally; Ok or Cancel.
Answer showUpdatePreview(const UpdatePreview& preview);
