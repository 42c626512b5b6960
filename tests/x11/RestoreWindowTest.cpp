#include <gtest/gtest.h>

#include <QApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <memory>

#include "support/ScriptedInteraction.h"
#include "support/TestEnv.h"
#include "ui/X11Window.h"
#include "ui/frmCorvina.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

constexpr int ScreenWidth = 1024;
constexpr int ScreenHeight = 768;

// A private X server on a display number nobody uses, stopped with the object.
class PrivateXServer {
 public:
  // The server picks a free display number itself and tells it on its standard
  // output, so parallel test runs never share one.
  bool start() {
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty()) return false;
    process_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                          QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(ScreenWidth).arg(ScreenHeight),
                          QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                          // Without it the server resets when its last client leaves, and a
                          // client connecting during the reset is refused.
                          QStringLiteral("-noreset")});
    if (!process_.waitForStarted(10000)) return false;
    while (!process_.canReadLine() && process_.waitForReadyRead(10000)) {
    }
    const QByteArray number = process_.readLine().trimmed();
    if (number.isEmpty()) return false;
    name_ = ':' + number;
    return waitUntilReady();
  }
  ~PrivateXServer() { stop(); }
  const QByteArray& name() const { return name_; }

 private:
  // The server accepts clients a moment after it starts.
  bool waitUntilReady() {
    for (int attempt = 0; attempt < 200 && process_.state() != QProcess::NotRunning; ++attempt) {
      if (Display* d = XOpenDisplay(name_.constData())) {
        XCloseDisplay(d);
        return true;
      }
      QThread::msleep(25);
    }
    return false;
  }
  void stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    process_.waitForFinished(5000);
  }

  QProcess process_;
  QByteArray name_;
};

// A tiny top-level window of another program, titled in UTF-8.
Window makeTitledWindow(Display* d, const QString& title, int x, int y, int width, int height) {
  const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), x, y, width, height, 0, 0, 0);
  const QByteArray utf8 = title.toUtf8();
  XChangeProperty(d, w, XInternAtom(d, "_NET_WM_NAME", False), XInternAtom(d, "UTF8_STRING", False), 8,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(utf8.constData()), utf8.size());
  XStoreName(d, w, "Yarrow");
  XMapWindow(d, w);
  XSync(d, False);
  return w;
}

// What a window manager does on minimise: the window is unmapped and marked iconic.
void minimise(Display* d, Window w) {
  const long state[2] = {IconicState, 0};
  const Atom wmState = XInternAtom(d, "WM_STATE", False);
  XChangeProperty(d, w, wmState, wmState, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(state), 2);
  XUnmapWindow(d, w);
  XSync(d, False);
}

struct Placement {
  int x;
  int y;
  int width;
  int height;
  bool viewable;
};

Placement placement(Display* d, Window w) {
  XWindowAttributes a{};
  XGetWindowAttributes(d, w, &a);
  return {a.x, a.y, a.width, a.height, a.map_state == IsViewable};
}

TEST(CentredOffset, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(X11Window::CentredOffset(1024, 301), 362);  // 361.5
  EXPECT_EQ(X11Window::CentredOffset(768, 203), 282);   // 282.5
  EXPECT_EQ(X11Window::CentredOffset(1024, 300), 362);
  EXPECT_EQ(X11Window::CentredOffset(800, 1000), -100);
}

TEST(ExamSystemWindow, ClosingTheMainWindowRestoresItCentredAtItsSize) {
  PrivateXServer server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not installed or would not start; ./test.sh installs it";

  std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(server.name().constData()), XCloseDisplay);
  ASSERT_TRUE(display);
  Display* d = display.get();
  const Window exam = makeTitledWindow(d, QStringLiteral("Yarrow考试系统"), 10, 20, 301, 203);
  const Window other = makeTitledWindow(d, QStringLiteral("Yarrow考试系统 (2)"), 5, 6, 200, 100);
  minimise(d, exam);
  ASSERT_FALSE(placement(d, exam).viewable);

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

  XSync(d, False);
  const Placement restored = placement(d, exam);
  EXPECT_TRUE(restored.viewable);
  EXPECT_EQ(restored.width, 301);
  EXPECT_EQ(restored.height, 203);
  EXPECT_EQ(restored.x, 362);
  EXPECT_EQ(restored.y, 282);

  const Placement untouched = placement(d, other);
  EXPECT_EQ(untouched.x, 5);
  EXPECT_EQ(untouched.y, 6);
  EXPECT_TRUE(ui->shown.empty());
}

TEST(ExamSystemWindow, MissingWindowChangesNothing) {
  PrivateXServer server;
  if (!server.start()) GTEST_SKIP() << "Xvfb is not installed or would not start; ./test.sh installs it";
  EXPECT_FALSE(X11Window::RestoreCentredOnDisplay(server.name(), QStringLiteral("Yarrow考试系统")));
}

}  // namespace
