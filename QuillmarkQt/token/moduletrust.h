#pragma once

#include "pkcs11moduleregistry.h"

#include <QString>

// Whether a PKCS#11 module may be loaded into the signing process. A module
// path that a web page names (a store, a stored configuration) is only a
// hint: the page could name a library it had the browser download, and
// loading it runs its code as the user. A module is loaded only when
// - the system registered it with p11-kit, or
// - it is a regular file that only root can change, in folders that only
//   root can change (what a package installs), or
// - this user chose the file in the certificate window, and it is still a
//   regular file of the user or of root that nobody else may write.
class ModuleTrust
{
public:
    struct Verdict
    {
        // The module with every link resolved: the file to load. Empty when
        // the path leads to nothing.
        QString file;
        // Why the module must not be loaded; empty when it may.
        QString refusal;

        bool isTrusted() const;
    };

    // userChoices: the settings file that remembers the user's own choices.
    ModuleTrust(const Pkcs11ModuleRegistry &registry, const QString &userChoices);
    // The system's p11-kit registrations and the user's own settings, which
    // no page can write.
    static ModuleTrust system();

    Verdict check(const QString &path) const;
    bool isTrusted(const QString &path) const;
    // The person chose this file in the certificate window: it stays
    // trusted on later runs for as long as a chosen file passes its check.
    void rememberUserChoice(const QString &path) const;

private:
    bool isRegistered(const QString &file) const;
    bool isChosenByUser(const QString &file) const;

    Pkcs11ModuleRegistry m_registry;
    QString m_userChoices;
};
