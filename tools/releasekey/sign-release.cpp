// sign-release [--key private-key.pem] [--valid-days N] FILE...
// Writes FILE.sig beside every FILE: the hexadecimal RSA/SHA-256 signature
// the updater verifies. A version document (root element "Quillmark") first
// gets its expiry, N days from now (30 by default). Without --key the
// development key is used, which only development builds of the updater
// accept.
#include "releasesigner.h"
#include "versiondocumentexpiry.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>

#include <cstdio>

namespace {
// Leaves every other file as it is.
bool stampVersionDocument(const QString &path, const QDateTime &expires)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite))
        return false;
    const QByteArray document = file.readAll();
    if (!VersionDocumentExpiry::isVersionDocument(document))
        return true;
    const QByteArray stamped = VersionDocumentExpiry::stamped(document, expires);
    return file.resize(0) && file.write(stamped) == stamped.size();
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Writes FILE.sig for every FILE."));
    parser.addHelpOption();
    const QCommandLineOption keyOption(QStringLiteral("key"),
                                       QStringLiteral("PEM private key (default: development key)."),
                                       QStringLiteral("path"), ReleaseSigner::developmentKeyPath());
    parser.addOption(keyOption);
    const QCommandLineOption validDaysOption(
        QStringLiteral("valid-days"), QStringLiteral("Days until a version document expires."),
        QStringLiteral("N"), QString::number(VersionDocumentExpiry::defaultValidDays));
    parser.addOption(validDaysOption);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Files to sign."),
                                 QStringLiteral("FILE..."));
    parser.process(app);
    if (parser.positionalArguments().isEmpty())
        parser.showHelp(2);

    const ReleaseSigner signer(parser.value(keyOption));
    if (!signer.isValid()) {
        std::fprintf(stderr, "sign-release: %s\n", qPrintable(signer.errorString()));
        return 1;
    }
    bool daysGiven = false;
    const int validDays = parser.value(validDaysOption).toInt(&daysGiven);
    if (!daysGiven || validDays < 1) {
        std::fprintf(stderr, "sign-release: --valid-days wants a positive number\n");
        return 2;
    }
    const QDateTime expires = QDateTime::currentDateTimeUtc().addDays(validDays);
    int status = 0;
    for (const QString &file : parser.positionalArguments()) {
        if (stampVersionDocument(file, expires) && signer.signFile(file)) {
            std::printf("%s.sig\n", qPrintable(file));
        } else {
            std::fprintf(stderr, "sign-release: cannot sign %s\n", qPrintable(file));
            status = 1;
        }
    }
    return status;
}
