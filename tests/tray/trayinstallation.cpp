#include "trayinstallation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QString stageBin = QStringLiteral(QUILLMARK_STAGE_BIN);

} // namespace

TrayInstallation::TrayInstallation(Translations translations)
    : m_updater(m_root.path() + QStringLiteral("/bin"))
{
    QDir root(m_root.path());
    m_valid = m_root.isValid() && root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("ipc"))
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

QProcessEnvironment TrayInstallation::environment(QProcessEnvironment base) const
{
    base.insert(QStringLiteral("TMPDIR"), ipcDirectory());
    return base;
}

bool TrayInstallation::copyInto(const QString &source, const QString &directory) const
{
    return QFile::copy(source, directory + QLatin1Char('/') + QFileInfo(source).fileName());
}
