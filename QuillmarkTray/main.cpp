#include "diagnosticlog.h"
#include "quillmarktray.h"
#include "singleinstanceguard.h"
#include "startuplog.h"
#include "traystartup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTranslator>
#include <QtDebug>

#include <memory>

int main(int argc, char *argv[])
{
    DiagnosticLog::install(DiagnosticLog::Program::Tray);

    SingleInstanceGuard guard(QString::fromLatin1(TrayStartup::instanceLockName));
    if (!guard.tryToRun()) {
        qDebug() << "Instance of application is currently running";
        return 0;
    }

    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(TrayStartup::applicationVersion());
    StartupLog::logStart();

    QCommandLineParser parser;
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(app);
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    const QString language = TrayStartup::checkSystemLanguage();
    QTranslator translator;
    if (!TrayStartup::installTranslation(translator, language))
        return 1;

    auto tray = std::make_unique<QuillmarkTray>(language);
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        qDebug() << "Could not detect any system tray";
    tray->registerToSystemTrayWhenAvailable();

    QApplication::setQuitOnLastWindowClosed(false);
    const int result = app.exec();
    tray.reset();
    return result;
}
