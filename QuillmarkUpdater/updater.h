#pragma once

#include "configuration.h"
#include "downloadmanager.h"
#include "httpresponse.h"

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QObject>

// The updater's engine: fetches and verifies the version document, and on
// request the package, and reports every outcome through the virtual
// operations that the console and graphical front ends implement. The
// front ends decide the exit code and hand it over through finish().
class Updater : public QObject
{
    Q_OBJECT

public:
    enum DownloadKind { VersionInformation = 0, InstallerPackage = 1 };

    explicit Updater(QObject *parent = nullptr);

    void requestPackage();
    DownloadManager &manager();
    int exitCode() const;
    bool hasFinished() const;

signals:
    void checkVersion();
    // Emitted once with the program's exit code.
    void finished(int exitCode);

public slots:
    void checkForNewerVersion();
    void downloadDataFinished();
    void verificationOK();
    void verificationFailed();
    void downloadFailure();
    virtual void downloadProgress(qint64 bytesReceived, qint64 bytesTotal) = 0;
    virtual void authentication(const QNetworkProxy &proxy, QAuthenticator *auth) = 0;

protected:
    virtual void newerVesion(const QString &version, const QString &url) = 0;
    virtual void actualVersion() = 0;
    virtual void errorOccured(const QString &message) = 0;
    virtual void install() = 0;

    // Ends the run with exitCode; later calls keep the first code, and no
    // result of a transfer still in flight reaches the front end afterwards.
    void finish(int exitCode);

    bool proxyCredentialsGiven = false;
    int downloadKind = VersionInformation;
    Configuration configuration;
    HttpResponse response;
    DownloadManager downloadManager;

private:
    void configResponse();
    // The verified package states the offered version, and that version is
    // newer than the installed one.
    bool packageIsTheOffer() const;
    void removeSavedPackage() const;

    int m_exitCode = -1;
};
