#pragma once

#include "dgst.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QString>

#include <memory>

class DigestVerifier;

// The package on its way to disk: written into the private download
// directory as it arrives while its digest grows, so that it never lies
// whole in memory. Only a verified file is moved to its final name; every
// other ending removes it.
class DownloadFile
{
public:
    explicit DownloadFile(const dgst &verifier);
    ~DownloadFile();

    // Empties the private download directory and opens the file in it.
    bool open(const QString &directory);
    bool append(const QByteArray &bytes);
    // Closes the complete file and checks signature over all of it.
    bool verify(const QByteArray &signature);
    // Renames the verified file to path (in the same directory).
    bool moveTo(const QString &path);
    // True when the file at path still holds exactly the verified bytes
    // (read again, at most maximumSize of them).
    bool holdsVerifiedBytes(const QString &path, qint64 maximumSize) const;
    void discard();

private:
    const dgst &m_verifier;
    QFile m_file;
    std::unique_ptr<DigestVerifier> m_digest;
    QCryptographicHash m_contentHash{QCryptographicHash::Sha256};
    QByteArray m_verifiedHash;
    bool m_verified = false;
};
