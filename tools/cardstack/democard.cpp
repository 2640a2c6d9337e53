// quillmark-demo-card <directory> [--pin PIN]
// Puts an emulated smart card with development signing certificates into a
// reader of its own (pcscd on a socket under the directory) for trying the
// signing application through OpenSC. Prints the settings needed to reach it
// as NAME=value lines (suitable for eval in a shell), the last one
// CARD_READY=1, and keeps the reader up until SIGINT or SIGTERM.
#include "cardstack.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <exception>
#include <pthread.h>

namespace {

QString shellQuoted(const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// Taken only after pcscd and the bridge have started: children inherit the
// signal mask, and they must stay stoppable.
void waitForStopSignal()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    int received = 0;
    sigwait(&stopSet, &received);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs an emulated smart card in a reader of its own."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("directory"), QStringLiteral("Directory for the card and the reader."));
    const QCommandLineOption pinOption(QStringLiteral("pin"), QStringLiteral("PIN of the card."),
                                       QStringLiteral("pin"), QStringLiteral("1234"));
    parser.addOption(pinOption);
    parser.process(application);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    QTextStream out(stdout);
    try {
        const QString directory = QDir(parser.positionalArguments().constFirst()).absolutePath();
        CardStack card(directory, parser.value(pinOption));
        const QString signerPath = directory + QStringLiteral("/signer.pem");
        QFile signer(signerPath);
        if (!signer.open(QIODevice::WriteOnly) || signer.write(card.credentials().constFirst().certificatePem()) < 0)
            throw std::runtime_error("cannot write " + signerPath.toStdString());
        signer.close();
        out << "PKCS11_MODULE=" << shellQuoted(CardStack::modulePath()) << "\n"
            << "PCSCLITE_CSOCK_NAME=" << shellQuoted(card.socketPath()) << "\n"
            << "TOKEN_LABEL=" << shellQuoted(card.tokenLabel()) << "\n"
            << "TOKEN_PIN=" << shellQuoted(parser.value(pinOption)) << "\n"
            << "SIGNER_CERTIFICATE=" << shellQuoted(signerPath) << "\n"
            << "CARD_READY=1" << Qt::endl;
        waitForStopSignal();
    } catch (const std::exception &error) {
        QTextStream(stderr) << "quillmark-demo-card: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
