#pragma once

#include "updater.h"

#include <QTextStream>

#include <memory>

class QProcess;

// The terminal front end. Interactive, it asks before downloading and runs
// the console package installer through sudo; silent, it asks nothing and
// only the exit code tells the result.
class ConsoleUpdater : public Updater
{
    Q_OBJECT

public:
    explicit ConsoleUpdater(QObject *parent = nullptr);
    ~ConsoleUpdater() override;

    void setSilent(bool on);

    // The installer command line for the package at path, with the path
    // quoted for the shell when it holds anything but plain file-name
    // characters.
    static QString installCommand(const QString &path);
    static QString shellQuoted(const QString &text);
    // "\r<file>... [<received>/<total>] <unit>", control and format
    // characters of the file name shown as "?"
    static QString progressLine(const QString &fileName, qint64 bytesReceived, qint64 bytesTotal);

public slots:
    void println();
    void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) override;
    void authentication(const QNetworkProxy &proxy, QAuthenticator *auth) override;

protected:
    void newerVesion(const QString &version, const QString &url) override;
    void actualVersion() override;
    void errorOccured(const QString &message) override;
    void install() override;

private:
    void downloadNow();
    void processFinished(int exitCode);
    void write(const QString &text);
    QString readLine();
    QString readPassword(const QString &prompt);

    bool m_silent = false;
    QTextStream m_input;
    std::unique_ptr<QProcess> m_installer;
};
