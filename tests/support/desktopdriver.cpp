#include "desktopdriver.h"

#include "xdotooldesktop.h"

#include <QTest>

namespace {

DesktopBackend *installedBackend = nullptr;

} // namespace

void DesktopDriver::setBackend(DesktopBackend *backend)
{
    installedBackend = backend;
}

DesktopBackend &DesktopDriver::backend()
{
    static XdotoolDesktop xDisplay;
    return installedBackend ? *installedBackend : xDisplay;
}

QStringList DesktopDriver::visibleWindows(const QString &namePattern)
{
    return backend().visibleWindows(namePattern);
}

QString DesktopDriver::waitForWindow(const QString &namePattern, int timeout)
{
    QString found;
    const bool appeared = QTest::qWaitFor(
        [&]() {
            found = visibleWindows(namePattern).value(0);
            return !found.isEmpty();
        },
        timeout);
    return appeared ? found : QString();
}

bool DesktopDriver::waitUntilGone(const QString &namePattern, int timeout)
{
    return QTest::qWaitFor([&]() { return visibleWindows(namePattern).isEmpty(); }, timeout);
}

QSize DesktopDriver::windowSize(const QString &window)
{
    return backend().windowSize(window);
}

void DesktopDriver::click(const QString &window, const QPoint &position)
{
    backend().click(window, position, 1);
}

void DesktopDriver::doubleClick(const QString &window, const QPoint &position)
{
    backend().click(window, position, 2);
}

void DesktopDriver::type(const QString &window, const QString &text)
{
    backend().type(window, text);
}

void DesktopDriver::key(const QString &window, const QString &keys)
{
    backend().key(window, keys);
}

bool DesktopDriver::windowManagerRunning()
{
    return backend().windowManagerRunning();
}

void DesktopDriver::minimise(const QString &window)
{
    backend().minimise(window);
}

void DesktopDriver::activate(const QString &window)
{
    backend().activate(window);
}

QString DesktopDriver::activeWindow()
{
    return backend().activeWindow();
}

bool DesktopDriver::screenshot(const QString &window, const QString &path)
{
    return backend().screenshot(window, path);
}
