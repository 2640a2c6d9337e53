#include "xdotooldesktop.h"

#include "desktopdriver.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>

QStringList XdotoolDesktop::xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    process.waitForFinished(DesktopDriver::defaultTimeout);
    return QString::fromUtf8(process.readAllStandardOutput())
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList XdotoolDesktop::visibleWindows(const QString &namePattern) const
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"), namePattern});
}

QSize XdotoolDesktop::windowSize(const QString &window) const
{
    QSize size;
    for (const QString &line :
         xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})) {
        if (line.startsWith(QLatin1String("WIDTH=")))
            size.setWidth(line.mid(6).toInt());
        else if (line.startsWith(QLatin1String("HEIGHT=")))
            size.setHeight(line.mid(7).toInt());
    }
    return size;
}

void XdotoolDesktop::click(const QString &window, const QPoint &position, int count)
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
             QString::number(position.x()), QString::number(position.y()), QStringLiteral("click"),
             QStringLiteral("--repeat"), QString::number(count), QStringLiteral("--delay"),
             QStringLiteral("80"), QStringLiteral("1")});
}

void XdotoolDesktop::focus(const QString &window)
{
    // Test displays mostly run no window manager: the window is given the
    // input focus directly.
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
}

void XdotoolDesktop::type(const QString &window, const QString &text)
{
    focus(window);
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
}

void XdotoolDesktop::key(const QString &window, const QString &keys)
{
    focus(window);
    xdotool({QStringLiteral("key"), keys});
}

bool XdotoolDesktop::windowManagerRunning() const
{
    QProcess process;
    process.start(QStringLiteral("xprop"),
                  {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
    process.waitForFinished(DesktopDriver::defaultTimeout);
    return process.readAllStandardOutput().contains("window id");
}

void XdotoolDesktop::minimise(const QString &window)
{
    xdotool({QStringLiteral("windowminimize"), QStringLiteral("--sync"), window});
}

void XdotoolDesktop::activate(const QString &window)
{
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
}

QString XdotoolDesktop::activeWindow() const
{
    return xdotool({QStringLiteral("getactivewindow")}).value(0);
}

bool XdotoolDesktop::screenshot(const QString &window, const QString &path) const
{
    QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return false;
    const QPixmap picture = screen->grabWindow(static_cast<WId>(window.toULongLong()));
    QDir().mkpath(QFileInfo(path).absolutePath());
    return !picture.isNull() && picture.save(path, "PNG");
}
