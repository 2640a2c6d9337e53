// sign-release [--key private-key.pem] FILE...
// Writes FILE.sig beside every FILE: the hexadecimal RSA/SHA-256 signature
// the updater verifies. Without --key the development key is used, which
// only development builds of the updater accept.
#include "releasesigner.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

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
    int status = 0;
    for (const QString &file : parser.positionalArguments()) {
        if (signer.signFile(file)) {
            std::printf("%s.sig\n", qPrintable(file));
        } else {
            std::fprintf(stderr, "sign-release: cannot sign %s\n", qPrintable(file));
            status = 1;
        }
    }
    return status;
}
