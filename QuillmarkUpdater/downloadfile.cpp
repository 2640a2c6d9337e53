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

void DownloadFile::discard()
{
    m_digest.reset();
    m_verified = false;
    if (m_file.fileName().isEmpty())
        return;
    m_file.close();
    m_file.remove();
    m_file.setFileName(QString());
}
