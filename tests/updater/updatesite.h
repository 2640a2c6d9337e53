#pragma once

#include "releasesigner.h"
#include "updateserver.h"

#include <QByteArray>
#include <QString>

// An update server that signs what it publishes with the development release
// key, as the release tooling does: every published path gets its ".sig".
class UpdateSite : public UpdateServer
{
public:
    explicit UpdateSite(Scheme scheme = Scheme::Http);

    void publish(const QString &path, const QByteArray &body);
    QByteArray signatureHex(const QByteArray &body) const;

    static QByteArray versionDocument(const QString &version, const QString &website);
    static QByteArray configuration(const QString &version, const QString &url,
                                    const QString &downloadUrl);

private:
    ReleaseSigner m_signer;
};
