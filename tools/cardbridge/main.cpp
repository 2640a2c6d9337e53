// quillmark-card-bridge: an emulated smart card in a vpcd reader, for tests
// and demos of signing through pcscd and OpenSC. Reads the commands "remove"
// and "insert" on standard input, one a line, and reports on standard output
// "inserted" or "removed" each time the reader's view of the card changes.
// Ends at the end of its input.
#include "cardbridge.h"
#include "virtualcard.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <exception>
#include <unistd.h>

namespace {

// Commands are short words; a longer line is not one of them.
constexpr int longestCommandLine = 64;

void run(CardBridge &bridge, const QByteArray &command)
{
    if (command == "remove")
        bridge.remove();
    else if (command == "insert")
        bridge.insert();
    else if (!command.isEmpty())
        QTextStream(stderr) << "quillmark-card-bridge: unknown command " << command << "\n";
}

// Runs the complete lines that arrived on standard input; quits at its end.
void readCommands(CardBridge &bridge, QSocketNotifier &notifier, QByteArray &pending)
{
    char chunk[256];
    const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (count <= 0) {
        notifier.setEnabled(false);
        QCoreApplication::quit();
        return;
    }
    pending.append(chunk, int(count));
    int end;
    while ((end = pending.indexOf('\n')) >= 0) {
        run(bridge, pending.left(end).trimmed());
        pending.remove(0, end + 1);
    }
    if (pending.size() > longestCommandLine)
        pending.clear();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Puts an emulated smart card into a vpcd reader."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port of the vpcd reader."),
                                        QStringLiteral("port"));
    const QCommandLineOption databaseOption(QStringLiteral("database"),
                                            QStringLiteral("NSS database of the card, sql:<directory>."),
                                            QStringLiteral("database"));
    const QCommandLineOption certificateOption(
        QStringLiteral("certificate"), QStringLiteral("Nickname of a certificate on the card (repeatable)."),
        QStringLiteral("nickname"));
    parser.addOptions({portOption, databaseOption, certificateOption});
    parser.process(application);
    bool portValid = false;
    const uint port = parser.value(portOption).toUInt(&portValid);
    if (!portValid || port == 0 || port > 0xFFFF || !parser.isSet(databaseOption)
        || !parser.isSet(certificateOption))
        parser.showHelp(2);

    try {
        VirtualCard card(parser.value(databaseOption), parser.values(certificateOption));
        CardBridge bridge(card, quint16(port));
        QTextStream out(stdout);
        QObject::connect(&bridge, &CardBridge::stateChanged, [&out](const QString &state) {
            out << state << Qt::endl;
        });
        QSocketNotifier commands(STDIN_FILENO, QSocketNotifier::Read);
        QByteArray pending;
        QObject::connect(&commands, &QSocketNotifier::activated,
                         [&]() { readCommands(bridge, commands, pending); });
        bridge.insert();
        return application.exec();
    } catch (const std::exception &error) {
        QTextStream(stderr) << "quillmark-card-bridge: " << error.what() << "\n";
        return 1;
    }
}
