#pragma once

#include "dgst.h"
#include "downloadfile.h"

#include <QByteArray>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

class QNetworkReply;

// Performs one HTTP(S) request at a time: a data request (the version
// document, or the package, which streams to the private download file) or
// the request for the detached signature of the data, which is then
// verified with the release key. Every response is bounded in size and in
// the time it may go without progress; compressed bodies are refused.
class DownloadManager : public QObject
{
    Q_OBJECT

public:
    enum HTTPRequest { Data = 0, Signature = 1, Package = 2 };

    // More hops than any sane mirror set-up needs; beyond it the chain is a
    // loop or an attack and the transfer fails.
    static constexpr int maximumRedirects = 10;
    // Largest bodies accepted, per response. The version document is a few
    // hundred bytes and a signature 512 hexadecimal digits; a package is a
    // few MiB.
    static constexpr qint64 versionDocumentLimit = 64 * 1024;
    static constexpr qint64 signatureLimit = 4 * 1024;
    static constexpr qint64 packageLimit = 256 * 1024 * 1024;
    // A transfer that receives less than this on average over one timeout
    // period is given up: silence, a stall or a trickle.
    static constexpr qint64 minimumBytesPerSecond = 512;

    explicit DownloadManager(QObject *parent = nullptr);
    explicit DownloadManager(const dgst &verifier, QObject *parent = nullptr);

    QNetworkAccessManager *networkManager();

    // Seconds of too little progress after which a transfer fails.
    void setTransferTimeout(int seconds);
    // Empties the private download directory and opens the file that a
    // Package request streams into.
    bool prepareDownloadFile();
    void sendHttpRequest(const QUrl &url, HTTPRequest kind);
    // Stops the transfer in flight without reporting anything for it.
    void abort();
    // The progress check rests while a person is asked for proxy
    // credentials, and starts afresh afterwards.
    void pauseProgressCheck();
    void resumeProgressCheck();

    // <download directory>/<file name of dataLocation>: the verified
    // package takes its final name.
    bool saveFile();
    bool saveToDisk(const QString &path);
    // The saved package still holds the verified bytes, read again: checked
    // last before the installer gets its path, which the installer opens
    // anew.
    bool savedPackageUnchanged() const;

    // $XDG_RUNTIME_DIR/quillmark-updater, or the user's cache folder's
    // quillmark-updater without a runtime directory.
    static QString downloadDirectory();

    QByteArray downloadedData() const;
    QString dataLocation() const;
    QString fileName() const;

signals:
    void downloadDataFinished();
    void downloadProgress(qint64 downloaded, qint64 totalBytes);
    void dataVerified();
    void verificationFailure();
    void downloadFailure();

public slots:
    void downloadFinished(QNetworkReply *reply);
    void signatureRead(QNetworkReply *reply);

private:
    void issueRequest(const QUrl &url, HTTPRequest kind);
    void detach(QNetworkReply *reply);
    void checkHeaders();
    void readBody();
    void keepBody(const QByteArray &bytes);
    void checkProgress();
    // Ends the transfer in flight as failed, for the reason logged.
    void refuse(const QString &reason);
    qint64 bodyLimit() const;
    // True when the transfer was refused or the reply was a redirect (which
    // is then followed or refused); the failure is reported.
    bool handledRefusal();
    bool handledRedirect(QNetworkReply *reply, HTTPRequest kind);
    bool failed(QNetworkReply *reply);
    void reportFailure();
    static bool isSecureRedirect(const QUrl &from, const QUrl &to);
    static bool isRedirect(const QNetworkReply *reply);

    QNetworkAccessManager m_networkManager;
    dgst m_verifier;
    DownloadFile m_downloadFile;
    QByteArray m_downloadedData;
    QByteArray m_signatureText;
    QString m_dataLocation;
    QString m_fileName;
    QMetaObject::Connection m_finishedConnection;
    QPointer<QNetworkReply> m_reply;
    HTTPRequest m_kind = Data;
    HTTPRequest m_dataKind = Data;
    int m_redirectsFollowed = 0;
    qint64 m_bodySize = 0;
    qint64 m_bytesThisPeriod = 0;
    int m_transferTimeout;
    QTimer m_progressTimer;
    QString m_refusal;
    bool m_inFlight = false;
};
