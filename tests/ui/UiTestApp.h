#pragma once
#include <gtest/gtest.h>

#include <QApplication>

#include <memory>

namespace detail {
inline std::unique_ptr<QApplication>& uiTestAppHolder() {
  static std::unique_ptr<QApplication> app;
  return app;
}

// Ends the application after the last test, before the program's static
// objects go: Qt's own (input devices, database connections) outlive it then.
class UiTestAppEnd : public ::testing::Environment {
 public:
  void TearDown() override { uiTestAppHolder().reset(); }
};
}  // namespace detail

// The one QApplication of a widget test executable, made on first use.
inline QApplication& uiTestApp() {
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  auto& app = detail::uiTestAppHolder();
  if (!app) {
    app = std::make_unique<QApplication>(argc, argv);
    ::testing::AddGlobalTestEnvironment(new detail::UiTestAppEnd);  // owned by GoogleTest
  }
  return *app;
}
