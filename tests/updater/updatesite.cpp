#include "updatesite.h"

UpdateSite::UpdateSite(Scheme scheme)
    : UpdateServer(scheme)
{
}

QByteArray UpdateSite::signatureHex(const QByteArray &body) const
{
    return m_signer.signatureHex(body);
}

void UpdateSite::publish(const QString &path, const QByteArray &body)
{
    serve(path, body);
    serve(path + QStringLiteral(".sig"), signatureHex(body));
}

QByteArray UpdateSite::versionDocument(const QString &version, const QString &website)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<Quillmark>\n  <version>%1</version>\n  <url>%2</url>\n</Quillmark>\n")
        .arg(version, website)
        .toUtf8();
}

QByteArray UpdateSite::configuration(const QString &version, const QString &url,
                                     const QString &downloadUrl, int transferTimeout)
{
    const QString timeout =
        transferTimeout > 0
            ? QStringLiteral("  <transferTimeout>%1</transferTimeout>\n").arg(transferTimeout)
            : QString();
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Quillmark>\n"
                          "  <version>%1</version>\n  <url>%2</url>\n"
                          "  <downloadUrl>%3</downloadUrl>\n%4</Quillmark>\n")
        .arg(version, url, downloadUrl, timeout)
        .toUtf8();
}
