#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

// The tools of one kind of session (an X display, a Wayland compositor)
// that DesktopDriver works the windows of another process with. Windows are
// named by the session's own identifiers, as decimal text.
class DesktopBackend
{
public:
    virtual ~DesktopBackend() = default;

    // Windows shown now whose title matches the regular expression.
    virtual QStringList visibleWindows(const QString &namePattern) const = 0;
    // The size of the window's content, without decorations.
    virtual QSize windowSize(const QString &window) const = 0;
    // Clicks the left button count times at a point of the window's content.
    virtual void click(const QString &window, const QPoint &position, int count) = 0;
    // Gives the window the keyboard, then types the text or presses the
    // keys: xdotool's names joined by "+" ("ctrl+w", "alt+s", "Return").
    virtual void type(const QString &window, const QString &text) = 0;
    virtual void key(const QString &window, const QString &keys) = 0;
    virtual bool windowManagerRunning() const = 0;
    virtual void minimise(const QString &window) = 0;
    virtual void activate(const QString &window) = 0;
    // The window that has the keyboard; empty when none of ours has.
    virtual QString activeWindow() const = 0;
    virtual bool screenshot(const QString &window, const QString &path) const = 0;
};
