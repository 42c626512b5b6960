#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>

#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/X11Window.h"
#include "ui/frmCorvina.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

TEST(CentredOffset, HalvesGoToTheEvenNeighbour) {
  const int rows[][3] = {{1024, 301, 362}, {768, 203, 282}, {1024, 300, 362}, {800, 1000, -100}};
  for (const auto& r : rows) EXPECT_EQ(X11Window::CentredOffset(r[0], r[1]), r[2]) << r[1];
}

std::vector<int> placement(Display* d, Window w) {
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  return {a.x, a.y, a.width, a.height, a.map_state == IsViewable ? 1 : 0};
}

// Closing the main window brings back the exam system's minimised window, centred
// at its own size; a window of another title, and a title nobody has, change nothing.
TEST(ExamSystemWindow, ClosingTheMainWindowRestoresItCentredAtItsSize) {
  // An X server of its own: Xvfb names a free display on -displayfd once it accepts clients, so parallel runs
  // never meet and nothing waits on a clock.
  const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
  if (xvfb.isEmpty()) GTEST_SKIP() << "Xvfb is not installed; ./test.sh installs it";
  QProcess server;
  server.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});  // no reset
  while (!server.canReadLine() && server.waitForReadyRead(-1)) continue;
  const QByteArray display = ':' + server.readLine().trimmed();
  ASSERT_GT(display.size(), 1) << "Xvfb did not start";
  std::unique_ptr<Display, int (*)(Display*)> connection(XOpenDisplay(display.constData()), XCloseDisplay);
  ASSERT_TRUE(connection);
  Display* d = connection.get();
  std::vector<Window> windows;
  for (const char* title : {"Yarrow考试系统", "Yarrow考试系统 (2)"}) {
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 10, 20, 301, 203, 0, 0, 0);
    XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title), int(strlen(title)));
    XStoreName(d, w, "Yarrow");  // the legacy title, which the UTF-8 one overrides
    // Minimised, as a window manager does it: unmapped and marked iconic.
    const long state[2] = {IconicState, 0};
    const Atom wmState = XInternAtom(d, "WM_STATE", False);
    XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(state), 2);
    windows.push_back(w);
  }
  XSync(d, False);
  EXPECT_FALSE(X11Window::RestoreCentredOnDisplay(display, QStringLiteral("没有这个窗口")));

  TestEnv env;
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  qputenv("DISPLAY", display);
  qputenv("QT_QPA_PLATFORM", "xcb");
  int argc = 1;
  char name[] = "test_x11";
  char* argv[] = {name, nullptr};
  {
    QApplication app(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    frmCorvina w;
    w.show();
    QApplication::processEvents();
    EXPECT_TRUE(w.close());
  }
  // The restore ran on a connection of its own, synchronised before it closed.
  XSync(d, False);
  EXPECT_EQ(placement(d, windows[0]), (std::vector<int>{362, 282, 301, 203, 1}));
  EXPECT_EQ(placement(d, windows[1]), (std::vector<int>{10, 20, 301, 203, 0}));
  EXPECT_TRUE(ui->shown.empty());
  connection.reset();
  server.terminate();
  server.waitForFinished(-1);
}

}  // namespace
