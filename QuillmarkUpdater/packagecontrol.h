#pragma once

#include <QString>

#include <optional>

// The version a Debian package states about itself, in its control data:
// the ar archive's control.tar member (gzip, xz or zstd, as dpkg-deb and
// CPack write it, or uncompressed), its ./control file, the "Version" field.
// Read in-process and bounded, from a file whose signature has been checked
// but whose contents are still the server's choice.
class PackageControl
{
public:
    // Compressed control.tar member: CPack's is well under 4 KiB.
    static constexpr qint64 controlMemberLimit = 1024 * 1024;
    // Everything that member unpacks to (control, md5sums, conffiles, ...).
    static constexpr qint64 unpackedControlLimit = 4 * 1024 * 1024;
    // The ./control file itself.
    static constexpr qint64 controlFileLimit = 64 * 1024;
    // Entries looked at in either archive.
    static constexpr int entryLimit = 64;

    // Empty when the file is no package of that form or a bound is passed
    // (the reason is logged).
    static std::optional<QString> version(const QString &packagePath);
    // The "Version" field of a control file's first paragraph.
    static std::optional<QString> versionField(const QByteArray &control);
};
