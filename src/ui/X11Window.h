#pragma once
#include <QByteArray>
#include <QString>

// The examination system's main window on the X11 desktop. The only place
// that speaks to the display server directly.
namespace X11Window {

// Where a window of the given size goes to sit in the middle of the screen:
// each half rounded to an integer, halves going to the even neighbour.
int CentredOffset(int screenExtent, int windowExtent);

// When the program runs on X11 (the xcb platform), finds the top-level window
// titled exactly strTitle, centres it on the screen keeping its size and
// restores it if it is minimised. Does nothing on other display servers or
// when no such window exists. Returns true when a window was found.
bool RestoreCentred(const QString& strTitle);

// The same on an explicitly named display (":7"), whatever Qt runs on.
bool RestoreCentredOnDisplay(const QByteArray& displayName, const QString& strTitle);

}  // namespace X11Window
