#include "updatertree.h"

#include "fixturepaths.h"

#include <QDir>
#include <QFile>
#include <QTextStream>

#include <unistd.h>

namespace {
QString treeTemplate()
{
    const QString parent = QStringLiteral(QUILLMARK_BINARY_DIR "/test-tmp");
    QDir().mkpath(parent);
    return parent + QStringLiteral("/updater-XXXXXX");
}
} // namespace

UpdaterTree::UpdaterTree()
    : m_dir(treeTemplate())
{
    QDir root(m_dir.path());
    for (const char *directory : {"bin", "etc", "share/translations", "tmp", "standins", "run"})
        root.mkpath(QLatin1String(directory));
    QFile::setPermissions(runtimeDirectory(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

bool UpdaterTree::isValid() const
{
    return m_dir.isValid();
}

QString UpdaterTree::root() const
{
    return m_dir.path();
}

QString UpdaterTree::binDirectory() const
{
    return root() + QStringLiteral("/bin");
}

QString UpdaterTree::program() const
{
    return binDirectory() + QStringLiteral("/QuillmarkUpdater");
}

QString UpdaterTree::script() const
{
    return binDirectory() + QStringLiteral("/QuillmarkUpdater.sh");
}

QString UpdaterTree::temporaryDirectory() const
{
    return root() + QStringLiteral("/tmp");
}

QString UpdaterTree::runtimeDirectory() const
{
    return root() + QStringLiteral("/run");
}

QString UpdaterTree::standInDirectory() const
{
    return root() + QStringLiteral("/standins");
}

QString UpdaterTree::downloadDirectory() const
{
    return runtimeDirectory() + QStringLiteral("/quillmark-updater");
}

void UpdaterTree::writeConfiguration(const QByteArray &text) const
{
    QFile file(root() + QStringLiteral("/etc/QuillmarkUpdater.conf"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(text);
}

void UpdaterTree::addStandIn(const QString &name, const QByteArray &body) const
{
    QFile file(standInDirectory() + QLatin1Char('/') + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write("#!/bin/sh\n" + body);
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                        | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
}

void UpdaterTree::addInstallerStandIns(int gdebiExitCode) const
{
    const QByteArray record = "for argument in \"$@\"; do printf '%s\\n' \"$argument\"; done >> '"
                              + standInDirectory().toUtf8() + "'/calls-$(basename \"$0\").txt\n";
    addStandIn(QStringLiteral("sudo"), record + "exec \"$@\"\n");
    // The updater removes its download once the installer has ended, so
    // the stand-in keeps a copy of what it was given.
    addStandIn(QStringLiteral("gdebi"), record + "for package; do :; done\ncp -- \"$package\" '"
                                            + receivedPackage().toUtf8() + "'\nexit "
                                            + QByteArray::number(gdebiExitCode) + "\n");
}

QString UpdaterTree::receivedPackage() const
{
    return standInDirectory() + QStringLiteral("/received-package");
}

QStringList UpdaterTree::recordedCalls(const QString &name) const
{
    QFile file(standInDirectory() + QStringLiteral("/calls-") + name + QStringLiteral(".txt"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool UpdaterTree::installProgram() const
{
    const QString stage = QStringLiteral(QUILLMARK_STAGE_BIN);
    // A hard link keeps runs fast; the program finds its tree from the path
    // it was started by, so it must not be a symbolic link.
    if (::link(QFile::encodeName(stage + QStringLiteral("/QuillmarkUpdater")).constData(),
               QFile::encodeName(program()).constData())
            != 0
        && !QFile::copy(stage + QStringLiteral("/QuillmarkUpdater"), program()))
        return false;
    if (!QFile::copy(stage + QStringLiteral("/QuillmarkUpdater.sh"), script()))
        return false;
    for (const char *language : {"en", "sk"}) {
        const QString name = QStringLiteral("QuillmarkUpdater_%1.qm").arg(QLatin1String(language));
        if (!QFile::copy(stage + QStringLiteral("/../share/translations/") + name,
                         root() + QStringLiteral("/share/translations/") + name))
            return false;
    }
    return true;
}

QProcessEnvironment UpdaterTree::environment(const QProcessEnvironment &base) const
{
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("TMPDIR"), temporaryDirectory());
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDirectory());
    environment.insert(QStringLiteral("PATH"), standInDirectory() + QLatin1Char(':')
                                                   + base.value(QStringLiteral("PATH")));
    for (const char *proxy : {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY"})
        environment.remove(QLatin1String(proxy));
    return environment;
}
