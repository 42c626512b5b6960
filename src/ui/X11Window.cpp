#include "ui/X11Window.h"

#include <QGuiApplication>

#include <cmath>
#include <memory>
#include <vector>

#ifdef CORVINA_HAVE_X11
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#endif

namespace X11Window {

int CentredOffset(int screenExtent, int windowExtent) {
  // lrint follows the current rounding mode, round-half-to-even by default.
  return static_cast<int>(std::lrint((screenExtent - windowExtent) / 2.0));
}

#ifdef CORVINA_HAVE_X11
namespace {

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

struct XFreeDeleter {
  void operator()(void* p) const {
    if (p) XFree(p);
  }
};

// Reads a window property as raw items; empty when absent.
template <typename T>
std::vector<T> readProperty(Display* d, Window w, Atom property, Atom type) {
  Atom actualType = 0;
  int actualFormat = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* raw = nullptr;
  if (XGetWindowProperty(d, w, property, 0, 1 << 20, False, type, &actualType, &actualFormat, &count,
                         &remaining, &raw) != Success)
    return {};
  std::unique_ptr<unsigned char, XFreeDeleter> owned(raw);
  if (!raw || actualType != type) return {};
  // Format 32 items arrive as longs whatever their declared width.
  if (actualFormat == 32) {
    const auto* items = reinterpret_cast<const unsigned long*>(raw);
    return std::vector<T>(items, items + count);
  }
  const auto* items = reinterpret_cast<const unsigned char*>(raw);
  return std::vector<T>(items, items + count);
}

QString windowTitle(Display* d, Window w) {
  const Atom netWmName = XInternAtom(d, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(d, "UTF8_STRING", False);
  const auto utf8Title = readProperty<char>(d, w, netWmName, utf8);
  if (!utf8Title.empty()) return QString::fromUtf8(utf8Title.data(), static_cast<qsizetype>(utf8Title.size()));
  XTextProperty text{};
  if (!XGetWMName(d, w, &text) || !text.value) return {};
  std::unique_ptr<unsigned char, XFreeDeleter> owned(text.value);
  char** list = nullptr;
  int n = 0;
  QString title;
  if (Xutf8TextPropertyToTextList(d, &text, &list, &n) >= Success && list && n > 0)
    title = QString::fromUtf8(list[0]);
  if (list) XFreeStringList(list);
  return title;
}

// The window manager's list of managed windows; without one, the root's
// children and their children (reparenting managers without EWMH).
std::vector<Window> topLevelWindows(Display* d) {
  const Window root = DefaultRootWindow(d);
  const auto clients = readProperty<Window>(d, root, XInternAtom(d, "_NET_CLIENT_LIST", False), XA_WINDOW);
  if (!clients.empty()) return clients;
  std::vector<Window> found;
  Window rootReturn = 0;
  Window parent = 0;
  Window* children = nullptr;
  unsigned int count = 0;
  if (!XQueryTree(d, root, &rootReturn, &parent, &children, &count)) return found;
  std::unique_ptr<Window, XFreeDeleter> owned(children);
  for (unsigned int i = 0; i < count; ++i) {
    found.push_back(children[i]);
    Window* grandChildren = nullptr;
    unsigned int grandCount = 0;
    if (XQueryTree(d, children[i], &rootReturn, &parent, &grandChildren, &grandCount)) {
      std::unique_ptr<Window, XFreeDeleter> ownedGrand(grandChildren);
      found.insert(found.end(), grandChildren, grandChildren + grandCount);
    }
  }
  return found;
}

Window findWindow(Display* d, const QString& strTitle) {
  for (const Window w : topLevelWindows(d))
    if (windowTitle(d, w) == strTitle) return w;
  return 0;
}

// Frame extents the window manager adds (left, right, top, bottom), zero without one.
std::vector<long> frameExtents(Display* d, Window w) {
  auto extents = readProperty<long>(d, w, XInternAtom(d, "_NET_FRAME_EXTENTS", False), XA_CARDINAL);
  if (extents.size() != 4) extents.assign(4, 0);
  return extents;
}

void centre(Display* d, Window w) {
  XWindowAttributes attrs{};
  if (!XGetWindowAttributes(d, w, &attrs)) return;
  const std::vector<long> frame = frameExtents(d, w);
  const int outerWidth = attrs.width + 2 * attrs.border_width + static_cast<int>(frame[0] + frame[1]);
  const int outerHeight = attrs.height + 2 * attrs.border_width + static_cast<int>(frame[2] + frame[3]);
  const int screenWidth = DisplayWidth(d, DefaultScreen(d));
  const int screenHeight = DisplayHeight(d, DefaultScreen(d));
  XMoveWindow(d, w, CentredOffset(screenWidth, outerWidth), CentredOffset(screenHeight, outerHeight));
}

// Asks the window manager to activate the window (which de-iconifies it) and
// maps it ourselves for displays without one.
void restore(Display* d, Window w) {
  const Window root = DefaultRootWindow(d);
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.window = w;
  event.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = 2;  // source: a pager-like tool acting for the user
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(d, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XMapRaised(d, w);
}

}  // namespace

bool RestoreCentredOnDisplay(const QByteArray& displayName, const QString& strTitle) {
  const DisplayPtr display(XOpenDisplay(displayName.isEmpty() ? nullptr : displayName.constData()));
  if (!display) return false;
  Display* d = display.get();
  const Window w = findWindow(d, strTitle);
  if (!w) return false;
  centre(d, w);
  restore(d, w);
  XSync(d, False);
  return true;
}

#else

bool RestoreCentredOnDisplay(const QByteArray&, const QString&) { return false; }

#endif

bool RestoreCentred(const QString& strTitle) {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return false;
  return RestoreCentredOnDisplay(QByteArray(), strTitle);
}

}  // namespace X11Window
