#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The PKCS#11 modules the system has registered with p11-kit, under the name
// of their configuration file ("opensc-pkcs11"), so that a person can choose
// a module without knowing where its library lies. Read from p11-kit's
// configuration files: learning the names through p11-kit's loader would
// load every registered module into the signing process.
class Pkcs11ModuleRegistry
{
public:
    struct Module
    {
        QString name;
        QString path;
    };

    // Configuration directories in rising precedence (a later file of the
    // same name replaces an earlier one); relative module names resolve
    // against moduleDirectory, as p11-kit resolves them.
    Pkcs11ModuleRegistry(const QStringList &configDirectories, const QString &moduleDirectory);
    // The directories of the p11-kit this program was built against.
    static Pkcs11ModuleRegistry system();

    // The registered modules whose library exists, ordered by name.
    QList<Module> modules() const;

private:
    QString modulePath(const QString &configFile) const;

    QStringList m_configDirectories;
    QString m_moduleDirectory;
};
