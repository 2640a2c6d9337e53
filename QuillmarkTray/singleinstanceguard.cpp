#include "singleinstanceguard.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool isOwnClosedDirectory(const QString &path)
{
    struct stat status;
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISDIR(status.st_mode)
           && status.st_uid == ::geteuid() && (status.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

void runUnguarded(const QString &path, const QString &reason)
{
    qWarning().noquote() << "No single-instance lock at " + path + ": " + reason;
}

} // namespace

SingleInstanceGuard::SingleInstanceGuard(const QString &lockFileName)
    : m_path(lockDirectory() + QLatin1Char('/') + lockFileName)
{
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    release();
}

QString SingleInstanceGuard::lockDirectory()
{
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    if (QDir::isAbsolutePath(runtime))
        return runtime;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    QDir().mkpath(cache);
    return cache;
}

QString SingleInstanceGuard::lockPath() const
{
    return m_path;
}

bool SingleInstanceGuard::tryToRun()
{
    if (m_descriptor >= 0)
        return true;
    if (!isOwnClosedDirectory(QFileInfo(m_path).path())) {
        runUnguarded(m_path, QStringLiteral("the directory is not this user's alone"));
        return true;
    }
    // Not inherited by the updater runs the tray starts: the lock ends with
    // this process.
    const int descriptor = ::open(QFile::encodeName(m_path).constData(),
                                  O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        runUnguarded(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return true;
    }
    if (::flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(descriptor);
        if (error == EWOULDBLOCK)
            return false;
        runUnguarded(m_path, QString::fromLocal8Bit(std::strerror(error)));
        return true;
    }
    m_descriptor = descriptor;
    return true;
}

void SingleInstanceGuard::release()
{
    if (m_descriptor < 0)
        return;
    ::close(m_descriptor);
    m_descriptor = -1;
}
