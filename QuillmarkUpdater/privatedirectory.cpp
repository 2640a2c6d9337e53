#include "privatedirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
void refuse(const QString &path, const char *reason)
{
    qWarning().noquote() << "Refusing download directory " + path + ": " + QLatin1String(reason);
}
} // namespace

bool PrivateDirectory::prepareEmpty(const QString &path)
{
    const QString parent = QFileInfo(path).absolutePath();
    if (!ensureTrusted(parent))
        return false;
    if (QFileInfo(path).isSymLink() || QFileInfo::exists(path)) {
        if (!isTrusted(path))
            return false;
        if (!QDir(path).removeRecursively()) {
            qWarning().noquote() << "Could not remove earlier downloads in " + path;
            return false;
        }
    }
    return ensureTrusted(path);
}

bool PrivateDirectory::ensureTrusted(const QString &path)
{
    const QByteArray nativePath = QFile::encodeName(path);
    // mkdir refuses to follow a link or to reuse what already exists, so
    // whatever is found afterwards is checked rather than assumed.
    if (::mkdir(nativePath.constData(), 0700) != 0 && errno != EEXIST) {
        qWarning().noquote() << "Could not create directory " + path + ": " + std::strerror(errno);
        return false;
    }
    return isTrusted(path);
}

bool PrivateDirectory::isTrusted(const QString &path)
{
    struct stat status;
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        qWarning().noquote() << "Could not inspect directory " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        refuse(path, "not a directory of its own");
        return false;
    }
    if (status.st_uid != ::geteuid()) {
        refuse(path, "owned by another user");
        return false;
    }
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        refuse(path, "writable by others");
        return false;
    }
    return true;
}
