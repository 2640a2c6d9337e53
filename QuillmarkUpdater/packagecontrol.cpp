#include "packagecontrol.h"

#include <QFile>
#include <QList>
#include <QtDebug>

#include <archive.h>
#include <archive_entry.h>

#include <memory>

namespace {

struct ArchiveReadFree
{
    void operator()(archive *reader) const { archive_read_free(reader); }
};
using ArchiveReader = std::unique_ptr<archive, ArchiveReadFree>;

constexpr size_t readPiece = 16 * 1024;

void refuse(const QString &reason)
{
    qWarning().noquote() << "Package control data refused: " + reason;
}

// Reads the current entry's data to its end, all of it counted against
// *budget; the bytes are kept only when keep is set.
bool readEntry(archive *reader, qint64 *budget, bool keep, QByteArray *kept)
{
    char piece[readPiece];
    for (;;) {
        const la_ssize_t size = archive_read_data(reader, piece, sizeof piece);
        if (size == 0)
            return true;
        if (size < 0) {
            refuse(QString::fromUtf8(archive_error_string(reader)));
            return false;
        }
        *budget -= size;
        if (*budget < 0) {
            refuse(QStringLiteral("beyond its size limit"));
            return false;
        }
        if (keep)
            kept->append(piece, static_cast<int>(size));
    }
}

// The entry named one of names, read whole within limit; every entry before
// it is read through and counted too, so that nothing unpacks without bound.
std::optional<QByteArray> findEntry(archive *reader, const QStringList &names, qint64 limit)
{
    qint64 budget = limit;
    archive_entry *entry = nullptr;
    for (int count = 0; count < PackageControl::entryLimit; ++count) {
        const int status = archive_read_next_header(reader, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK) {
            refuse(QString::fromUtf8(archive_error_string(reader)));
            return std::nullopt;
        }
        const bool wanted = names.contains(QString::fromUtf8(archive_entry_pathname(entry)));
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > budget) {
            refuse(QStringLiteral("an entry announces more than %1 bytes").arg(budget));
            return std::nullopt;
        }
        QByteArray data;
        if (!readEntry(reader, &budget, wanted, &data))
            return std::nullopt;
        if (wanted)
            return data;
    }
    refuse(QStringLiteral("no %1 among the first %2 entries")
               .arg(names.constFirst())
               .arg(PackageControl::entryLimit));
    return std::nullopt;
}

ArchiveReader newReader()
{
    ArchiveReader reader(archive_read_new());
    if (!reader)
        refuse(QStringLiteral("no memory for an archive reader"));
    return reader;
}

std::optional<QByteArray> controlMember(const QString &packagePath)
{
    ArchiveReader reader = newReader();
    // The outer ar archive is never compressed.
    if (!reader || archive_read_support_format_ar(reader.get()) != ARCHIVE_OK
        || archive_read_open_filename(reader.get(), QFile::encodeName(packagePath).constData(),
                                      readPiece)
               != ARCHIVE_OK) {
        refuse(reader ? QString::fromUtf8(archive_error_string(reader.get())) : QString());
        return std::nullopt;
    }
    return findEntry(reader.get(),
                     {QStringLiteral("control.tar.gz"), QStringLiteral("control.tar.xz"),
                      QStringLiteral("control.tar.zst"), QStringLiteral("control.tar")},
                     PackageControl::controlMemberLimit);
}

std::optional<QByteArray> controlFile(const QByteArray &member)
{
    ArchiveReader reader = newReader();
    // Decompressors built into the library only: a filter that would run an
    // external program answers ARCHIVE_WARN and is refused.
    if (!reader || archive_read_support_filter_gzip(reader.get()) != ARCHIVE_OK
        || archive_read_support_filter_xz(reader.get()) != ARCHIVE_OK
        || archive_read_support_filter_zstd(reader.get()) != ARCHIVE_OK
        || archive_read_support_format_tar(reader.get()) != ARCHIVE_OK
        || archive_read_open_memory(reader.get(), member.constData(),
                                    static_cast<size_t>(member.size()))
               != ARCHIVE_OK) {
        refuse(reader ? QString::fromUtf8(archive_error_string(reader.get())) : QString());
        return std::nullopt;
    }
    std::optional<QByteArray> control =
        findEntry(reader.get(), {QStringLiteral("./control"), QStringLiteral("control")},
                  PackageControl::unpackedControlLimit);
    if (control && control->size() > PackageControl::controlFileLimit) {
        refuse(
            QStringLiteral("control file beyond %1 bytes").arg(PackageControl::controlFileLimit));
        return std::nullopt;
    }
    return control;
}

} // namespace

std::optional<QString> PackageControl::version(const QString &packagePath)
{
    const std::optional<QByteArray> member = controlMember(packagePath);
    if (!member)
        return std::nullopt;
    const std::optional<QByteArray> control = controlFile(*member);
    if (!control)
        return std::nullopt;
    return versionField(*control);
}

std::optional<QString> PackageControl::versionField(const QByteArray &control)
{
    for (const QByteArray &line : control.split('\n')) {
        if (line.trimmed().isEmpty())
            break; // end of the first paragraph
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).compare("Version", Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(line.mid(colon + 1).trimmed());
    }
    refuse(QStringLiteral("no Version field"));
    return std::nullopt;
}
