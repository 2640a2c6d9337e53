#pragma once

#include "releasesigner.h"
#include "updateserver.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// An update server that signs what it publishes with the development release
// key, as the release tooling does: every published path gets its ".sig".
class UpdateSite : public UpdateServer
{
public:
    explicit UpdateSite(Scheme scheme = Scheme::Http);

    void publish(const QString &path, const QByteArray &body);
    QByteArray signatureHex(const QByteArray &body) const;

    // With a valid expires, the document carries the expiry that the release
    // tooling writes.
    static QByteArray versionDocument(const QString &version, const QString &website,
                                      const QDateTime &expires = QDateTime());
    // A Debian package as far as the updater reads one: the ar archive of
    // debian-binary and control.tar.gz (./control stating version) that
    // CPack writes, then a data member of payloadSize filler bytes, which
    // the updater never unpacks. Members are padded to even sizes.
    static QByteArray debianPackage(const QString &version, int payloadSize = 2000);
    // With transferTimeout > 0 the updater gives up on a transfer after that
    // many seconds of too little progress instead of its shipped value.
    static QByteArray configuration(const QString &version, const QString &url,
                                    const QString &downloadUrl, int transferTimeout = 0);

private:
    ReleaseSigner m_signer;
};
