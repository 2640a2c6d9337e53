#include "updatesite.h"

#include "versiondocumentexpiry.h"

#include <archive.h>
#include <archive_entry.h>

#include <QList>
#include <QPair>

#include <memory>

namespace {

struct ArchiveWriteFree
{
    void operator()(archive *writer) const { archive_write_free(writer); }
};
struct ArchiveEntryFree
{
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};

// members: name and contents, in order, in the given format (ar or tar),
// gzip-compressed when asked.
QByteArray archiveOf(const QList<QPair<QByteArray, QByteArray>> &members, bool ar, bool gzip)
{
    const std::unique_ptr<archive, ArchiveWriteFree> writer(archive_write_new());
    if (ar)
        archive_write_set_format_ar_svr4(writer.get());
    else
        archive_write_set_format_ustar(writer.get());
    if (gzip)
        archive_write_add_filter_gzip(writer.get());
    archive_write_set_bytes_in_last_block(writer.get(), 1);
    size_t capacity = 1024;
    for (const auto &member : members)
        capacity += static_cast<size_t>(member.second.size()) + 1024;
    QByteArray buffer(static_cast<int>(capacity), '\0');
    size_t used = 0;
    archive_write_open_memory(writer.get(), buffer.data(), capacity, &used);
    for (const auto &member : members) {
        const std::unique_ptr<archive_entry, ArchiveEntryFree> entry(archive_entry_new());
        archive_entry_set_pathname(entry.get(), member.first.constData());
        archive_entry_set_size(entry.get(), member.second.size());
        archive_entry_set_filetype(entry.get(), AE_IFREG);
        archive_entry_set_perm(entry.get(), 0644);
        archive_write_header(writer.get(), entry.get());
        archive_write_data(writer.get(), member.second.constData(),
                           static_cast<size_t>(member.second.size()));
    }
    archive_write_close(writer.get());
    buffer.truncate(static_cast<int>(used));
    return buffer;
}

} // namespace

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

QByteArray UpdateSite::versionDocument(const QString &version, const QString &website,
                                       const QDateTime &expires)
{
    const QByteArray document =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                       "<Quillmark>\n  <version>%1</version>\n  <url>%2</url>\n</Quillmark>\n")
            .arg(version, website)
            .toUtf8();
    return expires.isValid() ? VersionDocumentExpiry::stamped(document, expires) : document;
}

QByteArray UpdateSite::debianPackage(const QString &version, int payloadSize)
{
    const QByteArray control = "Package: quillmark\nVersion: " + version.toUtf8()
                               + "\nArchitecture: amd64\nMaintainer: Varnek <quillmark@varnek.eu>\n"
                                 "Description: Quillmark signing application\n";
    const QByteArray controlTar = archiveOf({{"./control", control}}, false, true);
    return archiveOf({{"debian-binary", "2.0\n"},
                      {"control.tar.gz", controlTar},
                      {"data.tar", QByteArray(payloadSize, 'd')}},
                     true, false);
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
