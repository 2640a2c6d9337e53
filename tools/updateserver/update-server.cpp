// update-server [--https] DIRECTORY
// Serves every file below DIRECTORY from 127.0.0.1 on a free port, prints the
// base address on its first line and runs until its standard input closes.
// Each line it reads makes it serve the directory's files as they are now
// (a republished apt repository) and answer "served".
#include "updateserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Local update server for development."));
    parser.addHelpOption();
    const QCommandLineOption https(QStringLiteral("https"),
                                   QStringLiteral("Serve over HTTPS with the development CA."));
    parser.addOption(https);
    parser.addPositionalArgument(QStringLiteral("directory"), QStringLiteral("Files to serve."));
    parser.process(app);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    UpdateServer server(parser.isSet(https) ? UpdateServer::Scheme::Https : UpdateServer::Scheme::Http);
    const QString directory = QDir(parser.positionalArguments().constFirst()).absolutePath();
    server.serveDirectory(directory);
    if (!server.start()) {
        std::fprintf(stderr, "update-server: cannot listen\n");
        return 1;
    }
    std::printf("%s\n", qPrintable(server.baseUrl()));
    std::fflush(stdout);
    std::string line;
    while (std::getline(std::cin, line)) {
        server.serveDirectory(directory);
        std::printf("served\n");
        std::fflush(stdout);
    }
    return 0;
}
