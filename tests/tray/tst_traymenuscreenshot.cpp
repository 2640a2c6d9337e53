#include "fixturepaths.h"
#include "testhome.h"
#include "trayinstallation.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QSystemTrayIcon>
#include <QtTest>

#include <memory>

// The tray icon in a real system tray (trayer) on a virtual X display: the
// icon shows up once a tray host appears, a right click opens the menu, the pointer opens the diagnostics submenu, and
// the screen is saved as <build>/screenshots/tray-menu.png.
class TestTrayMenuScreenshot : public QObject
{
    Q_OBJECT

private:
    static constexpr int timeout = 10000;

    static QStringList xdotool(const QStringList &arguments)
    {
        QProcess process;
        process.start(QStringLiteral("xdotool"), arguments);
        process.waitForFinished(timeout);
        return QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QStringList visibleTrayWindows()
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--class"),
                        QStringLiteral("QuillmarkTray")});
    }

    // "x y width height" of a window, from xdotool's shell output.
    static QRect geometry(const QString &window)
    {
        QMap<QString, int> values;
        for (const QString &line : xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window})) {
            const QStringList pair = line.split(QLatin1Char('='));
            if (pair.size() == 2)
                values.insert(pair.at(0), pair.at(1).toInt());
        }
        return {values.value(QStringLiteral("X")), values.value(QStringLiteral("Y")),
                values.value(QStringLiteral("WIDTH")), values.value(QStringLiteral("HEIGHT"))};
    }

    QString log() const
    {
        QFile file(m_home.logFile(QStringLiteral("quillmarktraylog.txt")));
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll());
    }

    TestHome m_home;
    TrayInstallation m_installation;
    QProcess m_trayHost;
    QProcess m_tray;

private slots:
    void initTestCase()
    {
        if (QGuiApplication::platformName() != QLatin1String("xcb"))
            QSKIP("needs an X display (run under xvfb-run)");
        for (const char *tool : {"trayer", "xdotool"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
                QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(QLatin1String(tool))));
        }
        QVERIFY(m_installation.isValid());
        QVERIFY(m_home.switchLoggingOn(QStringLiteral("quillmarktraylog.txt")));
    }

    void cleanupTestCase()
    {
        for (QProcess *process : {&m_tray, &m_trayHost}) {
            process->kill();
            process->waitForFinished(timeout);
        }
        m_installation.removeInstanceKeys();
    }

private:
    void startTray(const QString &locale)
    {
        QProcessEnvironment environment = m_installation.environment(m_home.environment());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("LC_ALL"), locale);
        m_tray.setProcessEnvironment(environment);
        m_tray.start(m_installation.program(), QStringList());
    }

    // Right click on the icon, pointer over the diagnostics entry, screen
    // saved into <build>/screenshots.
    void openMenuAndGrab(const QString &fileName)
    {
        QTRY_VERIFY_WITH_TIMEOUT(visibleTrayWindows().size() == 1, timeout);
        const QString icon = visibleTrayWindows().first();
        const QRect iconGeometry = geometry(icon);
        QVERIFY2(iconGeometry.width() > 0 && iconGeometry.height() <= 32, "the icon sits in the tray");

        const int clicks = log().count(QStringLiteral("Tray was clicked"));
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), icon,
                 QString::number(iconGeometry.width() / 2), QString::number(iconGeometry.height() / 2),
                 QStringLiteral("click"), QStringLiteral("3")});
        QTRY_VERIFY_WITH_TIMEOUT(log().count(QStringLiteral("Tray was clicked")) > clicks, timeout);
        QTRY_VERIFY_WITH_TIMEOUT(visibleTrayWindows().size() == 2, timeout);

        // Rows: check version, diagnostics, separator, quit. The pointer
        // glides over the first row to the second, which opens the submenu
        // (a menu ignores the first motion after it popped up).
        const QString menu = visibleTrayWindows().last() == icon ? visibleTrayWindows().first()
                                                                  : visibleTrayWindows().last();
        const QRect menuGeometry = geometry(menu);
        const int row = (menuGeometry.height() - 12) / 3;
        const int x = menuGeometry.x() + menuGeometry.width() / 3;
        for (int y = menuGeometry.y() + row / 2; y <= menuGeometry.y() + row + row / 2; y += 4) {
            xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
            QTest::qWait(30);
        }
        QTRY_VERIFY_WITH_TIMEOUT(visibleTrayWindows().size() == 3, timeout);
        QTest::qWait(300); // let the submenu paint

        const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
        QVERIFY(!screen.isNull());
        const QString directory = QStringLiteral(QUILLMARK_BINARY_DIR "/screenshots");
        QVERIFY(QDir().mkpath(directory));
        QVERIFY(screen.save(directory + QLatin1Char('/') + fileName));
    }

private slots:
    void iconAppearsWhenTheTrayComesLater()
    {
        startTray(QStringLiteral("en_GB.UTF-8"));
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("Could not detect any system tray")), timeout);

        m_trayHost.start(QStringLiteral("trayer"),
                         {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                          QStringLiteral("left"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                          QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--transparent"),
                          QStringLiteral("false")});
        QVERIFY(m_trayHost.waitForStarted(timeout));
        QTRY_VERIFY_WITH_TIMEOUT(QSystemTrayIcon::isSystemTrayAvailable(), timeout);
        // The tray looks again every ten seconds.
        QTRY_VERIFY_WITH_TIMEOUT(log().contains(QStringLiteral("Showing the tray icon")), 2 * timeout + 5000);
        QCOMPARE(m_tray.state(), QProcess::Running);
    }

    void menuOpensFromTheTrayIcon()
    {
        QCOMPARE(m_tray.state(), QProcess::Running);
        openMenuAndGrab(QStringLiteral("tray-menu.png"));
    }

    void slovakMenu()
    {
        m_tray.kill();
        QVERIFY(m_tray.waitForFinished(timeout));
        const int shown = log().count(QStringLiteral("Showing the tray icon"));
        startTray(QStringLiteral("sk_SK.UTF-8"));
        QTRY_VERIFY_WITH_TIMEOUT(log().count(QStringLiteral("Showing the tray icon")) > shown, timeout);
        QVERIFY(log().contains(QStringLiteral("System language was found:  \"sk\"")));
        openMenuAndGrab(QStringLiteral("tray-menu-sk.png"));
    }
};

QTEST_MAIN(TestTrayMenuScreenshot)
#include "tst_traymenuscreenshot.moc"
