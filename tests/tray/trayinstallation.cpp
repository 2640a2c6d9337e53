#include "trayinstallation.h"

#include "fixturepaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/ipc.h>
#include <sys/stat.h>
#include <sys/sem.h>
#include <sys/shm.h>

namespace {

const QString stageBin = QStringLiteral(QUILLMARK_STAGE_BIN);

} // namespace

TrayInstallation::TrayInstallation(Translations translations)
    : m_updater(m_root.path() + QStringLiteral("/bin"))
{
    QDir root(m_root.path());
    m_valid = m_root.isValid() && root.mkpath(QStringLiteral("bin"))
              && root.mkpath(QStringLiteral("ipc")) && root.mkpath(QStringLiteral("run"))
              && QFile::setPermissions(runtimeDirectory(),
                                       QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
              && copyInto(stageBin + QStringLiteral("/QuillmarkTray"), binDirectory())
              && m_updater.install();
    if (m_valid && translations == Translations::Installed) {
        const QString target = m_root.path() + QStringLiteral("/share/translations");
        const QString source = stageBin + QStringLiteral("/../share/translations/");
        m_valid = root.mkpath(target)
                  && copyInto(source + QStringLiteral("QuillmarkTray_en.qm"), target)
                  && copyInto(source + QStringLiteral("QuillmarkTray_sk.qm"), target);
    }
}

bool TrayInstallation::isValid() const
{
    return m_valid;
}

QString TrayInstallation::program() const
{
    return binDirectory() + QStringLiteral("/QuillmarkTray");
}

QString TrayInstallation::binDirectory() const
{
    return m_root.path() + QStringLiteral("/bin");
}

const UpdaterStandIn &TrayInstallation::updater() const
{
    return m_updater;
}

QString TrayInstallation::ipcDirectory() const
{
    return m_root.path() + QStringLiteral("/ipc");
}

QString TrayInstallation::runtimeDirectory() const
{
    return m_root.path() + QStringLiteral("/run");
}

QProcessEnvironment TrayInstallation::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("TMPDIR"), ipcDirectory());
    base.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDirectory());
    return base;
}

bool TrayInstallation::shareWithOtherUsers() const
{
    const QFile::Permissions readable = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                        | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther
                                        | QFile::ExeOther;
    return QFile::setPermissions(m_root.path(), readable)
           && ::chmod(QFile::encodeName(ipcDirectory()).constData(), 01777) == 0;
}

bool TrayInstallation::copyInto(const QString &source, const QString &directory) const
{
    return QFile::copy(source, directory + QLatin1Char('/') + QFileInfo(source).fileName());
}

void TrayInstallation::removeInstanceKeys() const
{
    // Qt keys its System V objects by ftok() of files in the temporary
    // directory, which here is the private one.
    const QStringList keyFiles{QStringLiteral("qipc_*")};
    for (const QFileInfo &file : QDir(ipcDirectory()).entryInfoList(keyFiles, QDir::Files)) {
        const key_t key = ::ftok(QFile::encodeName(file.absoluteFilePath()).constData(), 'Q');
        if (key == -1)
            continue;
        const int memory = ::shmget(key, 0, 0);
        if (memory != -1)
            ::shmctl(memory, IPC_RMID, nullptr);
        const int semaphore = ::semget(key, 0, 0);
        if (semaphore != -1)
            ::semctl(semaphore, 0, IPC_RMID);
    }
}
