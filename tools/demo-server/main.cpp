// quillmark-demo-server [--port N] [--pdf FILE] [--page-dir DIR] [--module PATH] [--store-name NAME]
// The development signing server with its demo page on 127.0.0.1. Prints
// "Demo server: <address>" first, then one line per exchange step, and runs
// until SIGINT or SIGTERM.
#include "demoserver.h"
#include "fixturepaths.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <mutex>
#include <pthread.h>

namespace {

std::mutex outputMutex;

void printLine(const QString &line)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Blocks the stop signals in every thread, so that only sigwait sees them.
sigset_t blockStopSignals()
{
    sigset_t stopSet;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
    return stopSet;
}

} // namespace

int main(int argc, char *argv[])
{
    const sigset_t stopSignals = blockStopSignals();
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Development signing server with the Quillmark demo page."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0: any free port)."),
                                        QStringLiteral("port"), QStringLiteral("0"));
    const QCommandLineOption pdfOption(QStringLiteral("pdf"), QStringLiteral("Document to show and sign."),
                                       QStringLiteral("file"), QStringLiteral(QUILLMARK_SAMPLE_PDF));
    const QCommandLineOption pageOption(QStringLiteral("page-dir"), QStringLiteral("Directory of the demo page."),
                                        QStringLiteral("dir"), QStringLiteral(QUILLMARK_DEMO_PAGE_DIR));
    const QCommandLineOption moduleOption(QStringLiteral("module"),
                                          QStringLiteral("PKCS#11 module the page offers."),
                                          QStringLiteral("path"), QStringLiteral(SOFTHSM2_MODULE));
    const QCommandLineOption storeNameOption(QStringLiteral("store-name"),
                                             QStringLiteral("Name the page gives the module's store."),
                                             QStringLiteral("name"), QStringLiteral("SoftHSM2"));
    parser.addOptions({portOption, pdfOption, pageOption, moduleOption, storeNameOption});
    parser.process(application);

    bool portValid = false;
    const int port = parser.value(portOption).toInt(&portValid);
    if (!portValid || port < 0 || port > 65535 || !QFileInfo(parser.value(pdfOption)).isFile()
        || !QFileInfo(parser.value(pageOption)).isDir())
        parser.showHelp(2);

    DemoServer::Options options;
    options.pdfPath = parser.value(pdfOption);
    options.pageDirectory = QDir(parser.value(pageOption)).absolutePath();
    options.storeDefinition = parser.value(storeNameOption) + QLatin1Char('|') + parser.value(moduleOption);
    options.server = SigningIdentity::development(QStringLiteral("server-2014"));
    options.log = printLine;

    DemoServer server(options);
    if (!server.start(port)) {
        std::fprintf(stderr, "quillmark-demo-server: cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    printLine(QStringLiteral("Demo server: ") + server.baseUrl());
    int received = 0;
    sigwait(&stopSignals, &received);
    server.stop();
    return 0;
}
