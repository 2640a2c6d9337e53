#include "consoleupdater.h"
#include "diagnosticlog.h"
#include "guiupdater.h"
#include "startuplog.h"
#include "updatercommandline.h"
#include "updaterversion.h"

#include <QApplication>
#include <QDir>
#include <QTranslator>
#include <QtDebug>

#include <openssl/crypto.h>

#include <memory>

namespace {

QStringList rawArguments(int argc, char *argv[])
{
    QStringList arguments;
    for (int index = 0; index < argc; ++index)
        arguments.append(QString::fromLocal8Bit(argv[index]));
    return arguments;
}

// Console and silent runs need no display: they also work over a plain
// terminal session.
std::unique_ptr<QCoreApplication> makeApplication(UpdaterCommandLine::Mode mode, int &argc,
                                                  char *argv[])
{
    if (mode == UpdaterCommandLine::Mode::Graphical)
        return std::make_unique<QApplication>(argc, argv);
    return std::make_unique<QCoreApplication>(argc, argv);
}

bool installTranslation(QTranslator &translator, const QString &language)
{
    const QString file = QStringLiteral("../share/translations/") + QStringLiteral("QuillmarkUpdater_")
                         + language + QStringLiteral(".qm");
    if (!translator.load(file)) {
        qWarning().noquote() << file + QStringLiteral(" was not found");
        return false;
    }
    if (!QCoreApplication::installTranslator(&translator)) {
        qWarning() << "Translator installation failed";
        return false;
    }
    return true;
}

std::unique_ptr<Updater> makeUpdater(UpdaterCommandLine::Mode mode)
{
    if (mode == UpdaterCommandLine::Mode::Graphical)
        return std::make_unique<GuiUpdater>();
    auto console = std::make_unique<ConsoleUpdater>();
    console->setSilent(mode == UpdaterCommandLine::Mode::Silent);
    return console;
}

} // namespace

int main(int argc, char *argv[])
{
    DiagnosticLog::install(DiagnosticLog::Program::Updater);

    UpdaterCommandLine commandLine;
    commandLine.parse(rawArguments(argc, argv));
    const UpdaterCommandLine::Mode mode = commandLine.mode();
    const std::unique_ptr<QCoreApplication> app = makeApplication(mode, argc, argv);
    QCoreApplication::setApplicationVersion(UpdaterVersion::applicationVersion());
    StartupLog::logStart();

    commandLine.process(*app);
    if (mode == UpdaterCommandLine::Mode::None)
        commandLine.showHelpAndExit();
    QDir::setCurrent(QCoreApplication::applicationDirPath());

    QTranslator translator;
    if (!installTranslation(translator, commandLine.language()))
        return 1;

    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS
                            | OPENSSL_INIT_LOAD_CRYPTO_STRINGS,
                        nullptr);

    const std::unique_ptr<Updater> updater = makeUpdater(mode);
    QObject::connect(updater.get(), &Updater::finished, app.get(), &QCoreApplication::exit);
    emit updater->checkVersion();
    return app->exec();
}
