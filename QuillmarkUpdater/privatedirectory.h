#pragma once

#include <QString>

// The directory in which a downloaded package waits for the installer, which
// runs as root. Nobody but the current user may be able to replace its
// contents between verification and installation, so the directory and its
// parent must be real directories owned by this user and closed to others.
class PrivateDirectory
{
public:
    // Makes path an empty directory with mode 0700, creating its parent with
    // mode 0700 when missing. Refuses (false) when either is a symbolic link,
    // is owned by someone else or can be written by others.
    static bool prepareEmpty(const QString &path);

private:
    static bool ensureTrusted(const QString &path);
    static bool isTrusted(const QString &path);
};
