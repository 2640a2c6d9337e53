#include "downloadfile.h"

#include "digestverifier.h"
#include "privatedirectory.h"

#include <QtDebug>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {
// The file's name until it is verified; only then does it take the name the
// package came under.
const QString partialName = QStringLiteral(".download");
} // namespace

DownloadFile::DownloadFile(const dgst &verifier)
    : m_verifier(verifier)
{
}

DownloadFile::~DownloadFile()
{
    discard();
}

bool DownloadFile::open(const QString &directory)
{
    discard();
    if (!PrivateDirectory::prepareEmpty(directory))
        return false;
    m_file.setFileName(directory + QLatin1Char('/') + partialName);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        qWarning().noquote() << "Could not open " + m_file.fileName() + " for writing: "
                                    + m_file.errorString();
        return false;
    }
    m_contentHash.reset();
    m_digest = m_verifier.startVerification();
    if (!m_digest) {
        discard();
        return false;
    }
    return true;
}

bool DownloadFile::append(const QByteArray &bytes)
{
    if (m_file.write(bytes) != bytes.size()) {
        qWarning().noquote() << "Could not write " + m_file.fileName() + ": " + m_file.errorString();
        return false;
    }
    m_contentHash.addData(bytes);
    return m_digest->update(bytes.constData(), bytes.size());
}

bool DownloadFile::verify(const QByteArray &signature)
{
    if (!m_file.isOpen() || !m_digest)
        return false;
    if (!m_file.flush()) {
        qWarning().noquote() << "Could not write " + m_file.fileName() + ": " + m_file.errorString();
        return false;
    }
    m_file.close();
    m_verified = m_digest->finish(signature);
    m_digest.reset();
    if (m_verified)
        m_verifiedHash = m_contentHash.result();
    return m_verified;
}

bool DownloadFile::moveTo(const QString &path)
{
    if (!m_verified)
        return false;
    // rename(2) rather than QFile::rename, which would copy what it cannot
    // rename and refuses an existing target.
    if (std::rename(QFile::encodeName(m_file.fileName()).constData(),
                    QFile::encodeName(path).constData())
        != 0) {
        qWarning().noquote() << "Could not open " + path + " for writing: " + std::strerror(errno);
        return false;
    }
    m_file.setFileName(QString());
    m_verified = false;
    return true;
}

bool DownloadFile::holdsVerifiedBytes(const QString &path, qint64 maximumSize) const
{
    if (m_verifiedHash.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maximumSize) {
        qWarning().noquote() << "Could not read " + path + " again";
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file) || hash.result() != m_verifiedHash) {
        qWarning().noquote() << "The package at " + path + " is no longer the verified one";
        return false;
    }
    return true;
}

void DownloadFile::discard()
{
    m_verifiedHash.clear();
    m_digest.reset();
    m_verified = false;
    if (m_file.fileName().isEmpty())
        return;
    m_file.close();
    m_file.remove();
    m_file.setFileName(QString());
}
