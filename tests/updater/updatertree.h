#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// A throw-away installation of the updater laid out as installed
// (bin/, etc/, share/translations/), with its own temporary and runtime
// directories (downloads go to the latter) and a directory of stand-in
// programs put first on PATH.
class UpdaterTree
{
public:
    UpdaterTree();

    bool isValid() const;
    QString root() const;
    QString binDirectory() const;
    QString program() const;
    QString script() const;
    QString temporaryDirectory() const;
    QString runtimeDirectory() const;
    QString standInDirectory() const;
    QString downloadDirectory() const;

    void writeConfiguration(const QByteArray &text) const;
    // A shell script called name on the stand-in PATH.
    void addStandIn(const QString &name, const QByteArray &body) const;
    // sudo and gdebi that append their arguments, one per line, to
    // calls-<name>.txt; gdebi ends with gdebiExitCode.
    void addInstallerStandIns(int gdebiExitCode = 0) const;
    // The copy of the package that the gdebi stand-in was given.
    QString receivedPackage() const;
    QStringList recordedCalls(const QString &name) const;

    // Copies of the real program and its translations (for runs of the
    // binary); in-process tests only need the directories.
    bool installProgram() const;

    QProcessEnvironment environment(const QProcessEnvironment &base) const;

private:
    QTemporaryDir m_dir;
};
