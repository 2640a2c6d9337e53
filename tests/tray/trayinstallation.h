#pragma once

#include "updaterstandin.h"

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A throw-away copy of the installed tree around the tray binary: bin/ with
// QuillmarkTray and a stand-in QuillmarkUpdater.sh, share/translations/ with
// the tray catalogues. The binary is copied, not linked, because the tray
// resolves its own directory from the real path of its executable.
class TrayInstallation
{
public:
    enum class Translations { Installed, Missing };

    explicit TrayInstallation(Translations translations = Translations::Installed);

    bool isValid() const;
    QString program() const;
    QString binDirectory() const;
    const UpdaterStandIn &updater() const;
    // Private temporary directory, where trays once kept their
    // single-instance keys (and where another user can still plant them).
    QString ipcDirectory() const;
    // Private runtime directory (0700) holding the single-instance lock, so
    // that trays of parallel tests and of the desktop never see each other.
    QString runtimeDirectory() const;
    // Adds both private directories to a child's environment.
    QProcessEnvironment environment(QProcessEnvironment base) const;
    // Lets trays of other users run from this installation and share its
    // key directory, as they share /tmp.
    bool shareWithOtherUsers() const;
    // Killed trays leave their shared-memory segment and semaphores behind;
    // removes them once no tray of this installation runs any more.
    void removeInstanceKeys() const;

private:
    bool copyInto(const QString &source, const QString &directory) const;

    QTemporaryDir m_root;
    UpdaterStandIn m_updater;
    bool m_valid = false;
};
