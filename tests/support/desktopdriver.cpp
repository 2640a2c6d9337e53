#include "desktopdriver.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTest>

QStringList DesktopDriver::xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(defaultTimeout);
    return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList DesktopDriver::visibleWindows(const QString &namePattern)
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), namePattern});
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
    QSize size;
    for (const QString &line : xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})) {
        if (line.startsWith(QLatin1String("WIDTH=")))
            size.setWidth(line.mid(6).toInt());
        else if (line.startsWith(QLatin1String("HEIGHT=")))
            size.setHeight(line.mid(7).toInt());
    }
    return size;
}

void DesktopDriver::click(const QString &window, const QPoint &position)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(position.x()),
             QString::number(position.y()), QStringLiteral("click"), QStringLiteral("1")});
}

void DesktopDriver::doubleClick(const QString &window, const QPoint &position)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(position.x()),
             QString::number(position.y()), QStringLiteral("click"), QStringLiteral("--repeat"),
             QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("80"), QStringLiteral("1")});
}

void DesktopDriver::focus(const QString &window)
{
    // Test displays mostly run no window manager: the window is given the
    // input focus directly.
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
}

void DesktopDriver::type(const QString &window, const QString &text)
{
    focus(window);
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

void DesktopDriver::key(const QString &window, const QString &keys)
{
    focus(window);
    xdotool({QStringLiteral("key"), keys});
}

bool DesktopDriver::windowManagerRunning()
{
    QProcess process;
    process.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
    process.waitForFinished(defaultTimeout);
    return process.readAllStandardOutput().contains("window id");
}

void DesktopDriver::minimise(const QString &window)
{
    xdotool({QStringLiteral("windowminimize"), QStringLiteral("--sync"), window});
}

void DesktopDriver::activate(const QString &window)
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
}

QString DesktopDriver::activeWindow()
{
    return xdotool({QStringLiteral("getactivewindow")}).value(0);
}

bool DesktopDriver::screenshot(const QString &window, const QString &path)
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QPixmap picture = screen->grabWindow(static_cast<WId>(window.toULongLong()));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return !picture.isNull() && picture.save(path, "PNG");
}
