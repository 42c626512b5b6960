#pragma once
#include <QWidget>

// The main window shown after a successful login.
class frmCorvina : public QWidget {
  Q_OBJECT
 public:
  explicit frmCorvina(QWidget* parent = nullptr);
};
