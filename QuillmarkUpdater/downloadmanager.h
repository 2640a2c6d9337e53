#pragma once

#include "dgst.h"

#include <QByteArray>
#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkReply;

// Performs one HTTP(S) request at a time: a data request (version document or
// package) or the request for the detached signature of the data, which is
// then verified with the release key. Saves a verified package to disk.
class DownloadManager : public QObject
{
    Q_OBJECT

public:
    enum HTTPRequest { Data = 0, Signature = 1 };

    // More hops than any sane mirror set-up needs; beyond it the chain is a
    // loop or an attack and the transfer fails.
    static constexpr int maximumRedirects = 10;

    explicit DownloadManager(QObject *parent = nullptr);
    explicit DownloadManager(const dgst &verifier, QObject *parent = nullptr);

    QNetworkAccessManager *networkManager();

    void sendHttpRequest(const QUrl &url, HTTPRequest kind);
    // Stops the transfer in flight without reporting anything for it.
    void abort();

    // temp/varnek/quillmark/<file name of dataLocation>, in a directory that
    // is emptied first.
    bool saveFile();
    bool saveToDisk(const QString &path);

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
    // True when the reply was a redirect; it is then followed or refused.
    bool handledRedirect(QNetworkReply *reply, HTTPRequest kind);
    bool failed(QNetworkReply *reply);
    static bool isSecureRedirect(const QUrl &from, const QUrl &to);

    QNetworkAccessManager m_networkManager;
    dgst m_verifier;
    QByteArray m_downloadedData;
    QString m_dataLocation;
    QString m_fileName;
    QMetaObject::Connection m_finishedConnection;
    QPointer<QNetworkReply> m_reply;
    int m_redirectsFollowed = 0;
};
