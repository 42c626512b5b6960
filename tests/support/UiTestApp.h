#pragma once
#include <gtest/gtest.h>

#include <QApplication>

// The one QApplication of a widget test executable, made on first use and ended after the last test, before
// the program's static objects: Qt's own (input devices, database connections) outlive it then.
inline QApplication& uiTestApp() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  static std::unique_ptr<QApplication> app;
  struct End : ::testing::Environment {
    void TearDown() override { app.reset(); }
  };
  if (!app) ::testing::AddGlobalTestEnvironment(new End);  // owned by GoogleTest
  if (!app) app = std::make_unique<QApplication>(argc, argv);
  return *app;
}
