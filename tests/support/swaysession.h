#pragma once

#include "desktopbackend.h"

#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <memory>
#include <optional>

class ThrowAwayUser;

// A Wayland desktop of its own for one test: the sway compositor on its
// headless backend, started as an ordinary user (a throw-away one when the
// test runs as root), with a keyboard but no pointer, its windows worked
// with swaymsg, wtype and grim. For as long as it runs, DesktopDriver works
// its windows instead of the X display's.
class SwaySession : public DesktopBackend
{
public:
    SwaySession();
    ~SwaySession() override;
    SwaySession(const SwaySession &) = delete;
    SwaySession &operator=(const SwaySession &) = delete;

    // The compositor runs and answers on its sockets.
    bool isValid() const;
    // The environment of a program started into this session as a desktop
    // starts it: a Wayland session, no X display, Qt left to choose its
    // platform.
    QProcessEnvironment clientEnvironment(QProcessEnvironment environment) const;

    // The compositor's record of a window ("shell", "urgent", "focused",
    // "type", "rect", ...); empty when the window is gone.
    QJsonObject windowNode(const QString &window) const;
    // The user switches to another workspace, as with the keys of sway.
    bool switchToWorkspace(const QString &name);
    // The window's content in screen coordinates.
    QRect windowArea(const QString &window) const;

    QStringList visibleWindows(const QString &namePattern) const override;
    QSize windowSize(const QString &window) const override;
    // Warns: there is no pointer to click with.
    void click(const QString &window, const QPoint &position, int count) override;
    void type(const QString &window, const QString &text) override;
    void key(const QString &window, const QString &keys) override;
    bool windowManagerRunning() const override;
    // Sway has no minimising; the scratchpad hides a window the same way.
    void minimise(const QString &window) override;
    void activate(const QString &window) override;
    QString activeWindow() const override;
    bool screenshot(const QString &window, const QString &path) const override;

private:
    bool start();
    bool plugInKeyboard();
    QList<QJsonObject> windows() const;
    // Standard output of a tool run against the session; nothing when it failed.
    std::optional<QByteArray> run(const QString &program, const QStringList &arguments) const;
    bool swaymsg(const QString &command) const;
    bool focus(const QString &window) const;

    std::unique_ptr<ThrowAwayUser> m_user;
    QTemporaryDir m_compositorRuntime;
    QTemporaryDir m_clientRuntime;
    QProcess m_compositor;
    QProcess m_keyboard;
    QString m_waylandSocket;
    QString m_ipcSocket;
};
