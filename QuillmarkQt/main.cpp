#include "diagnosticlog.h"
#include "nativemessaginghost.h"
#include "quillmarkversion.h"
#include "startuplog.h"

#include <QCommandLineParser>
#include <QDir>

#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <csignal>
#include <memory>

#include <sys/prctl.h>

int main(int argc, char *argv[])
{
    // A signing run holds the PIN and the session with the token in memory:
    // no core file may take them to disk, and no other process of the user
    // may attach to read them.
    prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    DiagnosticLog::install(DiagnosticLog::Program::Quillmark);
    // A browser that closes the channel while an answer is on its way must
    // not kill us: the write fails instead, and the host shuts down normally.
    std::signal(SIGPIPE, SIG_IGN);

    auto app = std::make_unique<NativeMessagingHost>(argc, argv, QuillmarkVersion::component,
                                                     QuillmarkVersion::defaultPlatform);
    app->setQuitOnLastWindowClosed(false);
    QDir::setCurrent(QCoreApplication::applicationDirPath());
    app->setApplicationVersion(QuillmarkVersion::applicationVersion());

    StartupLog::logStart();

    QCommandLineParser parser;
    parser.addVersionOption();
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("arguments"),
                                 QStringLiteral("Arguments passed by the browser."));
    parser.process(*app);

    OPENSSL_init_crypto(OPENSSL_INIT_ADD_ALL_CIPHERS | OPENSSL_INIT_ADD_ALL_DIGESTS
                            | OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_NO_LOAD_CONFIG,
                        nullptr);

    const int status = app->exec();
    app.reset();
    return status;
}
