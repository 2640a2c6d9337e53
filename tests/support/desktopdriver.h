#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

class DesktopBackend;

// The windows of another process on the desktop, seen and worked from
// outside the way a user would: found by title, clicked with the pointer,
// typed at through the keyboard, photographed from the screen. The desktop
// is the X display (xdotool) unless a Wayland session has taken its place
// for the time it runs (SwaySession).
class DesktopDriver
{
public:
    static constexpr int defaultTimeout = 10000;

    static QStringList visibleWindows(const QString &namePattern);
    // The first visible window whose title matches; empty after the timeout.
    static QString waitForWindow(const QString &namePattern, int timeout = defaultTimeout);
    static bool waitUntilGone(const QString &namePattern, int timeout = defaultTimeout);

    static QSize windowSize(const QString &window);
    static void click(const QString &window, const QPoint &position);
    static void doubleClick(const QString &window, const QPoint &position);
    // Gives the window the keyboard, then types or presses keys (xdotool
    // key names, e.g. "Return", "Escape", "alt+s").
    static void type(const QString &window, const QString &text);
    static void key(const QString &window, const QString &keys);

    // What only a window manager does: minimising, and naming the window
    // that has the user's attention. A test that needs them starts one.
    static bool windowManagerRunning();
    static void minimise(const QString &window);
    static void activate(const QString &window);
    static QString activeWindow();

    // Saves what the screen shows of the window as a PNG file. On the X
    // display this needs the calling process on the xcb platform.
    static bool screenshot(const QString &window, const QString &path);

    // The session whose tools work the windows from now on; nullptr goes
    // back to the X display.
    static void setBackend(DesktopBackend *backend);

private:
    static DesktopBackend &backend();
};
