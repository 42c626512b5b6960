#pragma once
#include <QApplication>

#include <memory>

// The one QApplication of a widget test executable, made on first use.
inline QApplication& uiTestApp() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QApplication> app = std::make_unique<QApplication>(argc, argv);
  return *app;
}
