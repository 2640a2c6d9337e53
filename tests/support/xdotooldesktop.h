#pragma once

#include "desktopbackend.h"

// An X display worked with xdotool and xprop; screenshots are taken through
// the calling process's own connection, which must be on the xcb platform.
class XdotoolDesktop : public DesktopBackend
{
public:
    QStringList visibleWindows(const QString &namePattern) const override;
    QSize windowSize(const QString &window) const override;
    void click(const QString &window, const QPoint &position, int count) override;
    void type(const QString &window, const QString &text) override;
    void key(const QString &window, const QString &keys) override;
    bool windowManagerRunning() const override;
    void minimise(const QString &window) override;
    void activate(const QString &window) override;
    QString activeWindow() const override;
    bool screenshot(const QString &window, const QString &path) const override;

private:
    static QStringList xdotool(const QStringList &arguments);
    static void focus(const QString &window);
};
