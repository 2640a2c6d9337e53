// Lays out a SoftHSM2 token for trying the signing application by hand: a
// development certification authority, a qualified signing certificate with
// its key on a token, and the settings needed to reach it, printed as
// NAME=value lines (suitable for eval in a shell).
#include "softhsmfixture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

#include <exception>

namespace {

void writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        throw std::runtime_error("cannot write " + path.toStdString());
}

QString shellQuoted(const QString &value)
{
    QString quoted = value;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Creates a SoftHSM2 demo token with a development signing certificate."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("directory"), QStringLiteral("New or empty directory for the token."));
    const QCommandLineOption pinOption(QStringLiteral("pin"), QStringLiteral("User PIN of the token."),
                                       QStringLiteral("pin"), QStringLiteral("1234"));
    const QCommandLineOption labelOption(QStringLiteral("label"), QStringLiteral("Token label."),
                                         QStringLiteral("label"), QStringLiteral("Quillmark Demo"));
    parser.addOption(pinOption);
    parser.addOption(labelOption);
    parser.process(application);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        const QString directory = QDir(parser.positionalArguments().constFirst()).absolutePath();
        if (QDir(directory).exists() && !QDir(directory).isEmpty()) {
            err << "quillmark-demo-token: " << directory << " is not empty\n";
            return 1;
        }
        const QString pin = parser.value(pinOption);
        const QString label = parser.value(labelOption);
        SoftHsmFixture fixture(directory);
        const QString serial = fixture.createToken(label, pin);
        const FixtureCredential authority =
            FixtureCredential::createAuthority(QStringLiteral("Quillmark Development CA"));
        const FixtureCredential signer = authority.issue(QStringLiteral("Quillmark Demo Signer"), true);
        SoftHsmFixture::ObjectOptions options;
        options.id = QByteArray::fromHex("01");
        options.label = QStringLiteral("Quillmark Demo Signer");
        fixture.importCredential(label, pin, signer, options);

        const QString authorityPath = directory + QStringLiteral("/development-ca.pem");
        const QString signerPath = directory + QStringLiteral("/signer.pem");
        writeFile(authorityPath, authority.certificatePem());
        writeFile(signerPath, signer.certificatePem());

        out << "SOFTHSM2_CONF=" << shellQuoted(fixture.configPath()) << "\n"
            << "PKCS11_MODULE=" << shellQuoted(SoftHsmFixture::modulePath()) << "\n"
            << "TOKEN_LABEL=" << shellQuoted(label) << "\n"
            << "TOKEN_SERIAL=" << shellQuoted(serial) << "\n"
            << "TOKEN_PIN=" << shellQuoted(pin) << "\n"
            << "SIGNER_CERTIFICATE=" << shellQuoted(signerPath) << "\n"
            << "DEVELOPMENT_CA=" << shellQuoted(authorityPath) << "\n";
    } catch (const std::exception &error) {
        err << "quillmark-demo-token: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
