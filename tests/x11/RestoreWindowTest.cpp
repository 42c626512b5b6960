#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>

#include <memory>

#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/X11Window.h"
#include "ui/frmCorvina.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// An X server of this test's own. Xvfb picks a free display number itself and
// writes it to -displayfd only once it accepts clients, so parallel runs never
// share a display and nothing waits on a clock.
class PrivateXServer {
 public:
  bool start() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) return false;
    // -noreset: no reset (refusing clients) when the last client leaves.
    process_.start(xvfb, {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-noreset"});
    while (!process_.canReadLine() && process_.waitForReadyRead(-1)) {
    }
    const QByteArray number = process_.readLine().trimmed();
    if (!number.isEmpty()) name_ = ':' + number;
    return true;
  }
  ~PrivateXServer() {
    process_.terminate();
    process_.waitForFinished(-1);
  }
  const QByteArray& name() const { return name_; }

 private:
  QProcess process_;
  QByteArray name_;
};

Window makeTitledWindow(Display* d, const QString& title, int x, int y, int width, int height) {
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, width, height, 0, 0, 0);
  const QByteArray utf8 = title.toUtf8();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.constData()), int(utf8.size()));
  XStoreName(d, w, "Yarrow");
  XMapWindow(d, w);
  // What a window manager does on minimise: unmapped and marked iconic.
  const long state[2] = {IconicState, 0};
  const Atom wmState = XInternAtom(d, "WM_STATE", False);
  XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(state), 2);
  XUnmapWindow(d, w);
  XSync(d, False);
  return w;
}

// x, y, width, height, and 1 when shown.
std::vector<int> placement(Display* d, Window w) {
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  return {a.x, a.y, a.width, a.height, a.map_state == IsViewable ? 1 : 0};
}

TEST(CentredOffset, HalvesGoToTheEvenNeighbour) {
  const struct { int screen, window, offset; } rows[] = {
      {1024, 301, 362}, {768, 203, 282}, {1024, 300, 362}, {800, 1000, -100}};
  for (const auto& r : rows) EXPECT_EQ(X11Window::CentredOffset(r.screen, r.window), r.offset) << r.window;
}

// Closing the main window brings back the exam system's window, centred at its
// own size; a window of another title, and a title nobody has, change nothing.
TEST(ExamSystemWindow, ClosingTheMainWindowRestoresItCentredAtItsSize) {
  PrivateXServer server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not installed; ./test.sh installs it";
  ASSERT_FALSE(server.name().isEmpty()) << "Xvfb did not start";
  std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(server.name().constData()), XCloseDisplay);
  ASSERT_TRUE(display);
  Display* d = display.get();
  const Window exam = makeTitledWindow(d, QStringLiteral("Yarrow考试系统"), 10, 20, 301, 203);
  const Window other = makeTitledWindow(d, QStringLiteral("Yarrow考试系统 (2)"), 5, 6, 200, 100);
  EXPECT_FALSE(X11Window::RestoreCentredOnDisplay(server.name(), QStringLiteral("没有这个窗口")));
  ASSERT_EQ(placement(d, exam), (std::vector<int>{10, 20, 301, 203, 0}));

  TestEnv env;
  auto ui = std::make_shared<ScriptedInteraction>();
  ScopedInteraction scope(ui);
  qputenv("DISPLAY", server.name());
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
  EXPECT_EQ(placement(d, exam), (std::vector<int>{362, 282, 301, 203, 1}));
  EXPECT_EQ(placement(d, other), (std::vector<int>{5, 6, 200, 100, 0}));
  EXPECT_TRUE(ui->shown.empty());
}

}  // namespace
