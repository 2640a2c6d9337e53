#pragma once

#include "pkcs11certcontainer.h"

#include <QList>
#include <QString>

#include <memory>

class ModuleTrust;
class PinPrompt;

// A place the user may pick a signing certificate from: one PKCS#11 module,
// named by the web page or chosen by the user, and loaded only when the
// store's ModuleTrust trusts it.
class Pkcs11CertStore
{
public:
    Pkcs11CertStore(const QString &name, const QString &libraryPath, bool libraryPathSelectable,
                    std::shared_ptr<const ModuleTrust> moduleTrust);

    QString getName() const;
    QString getLibraryPath() const;
    bool isLibraryPathSelectable() const;
    // Only a store whose module the user chooses takes a new path.
    void setLibraryPath(const QString &libraryPath);
    const ModuleTrust &moduleTrust() const;

    // Every token of the module with its certificates. May ask for the PIN
    // of each token through the prompt, so it belongs on a worker thread.
    // Failures of one token leave only that token out.
    QList<Pkcs11CertContainer> getContainers(PinPrompt &pinPrompt) const;

private:
    QString m_name;
    QString m_libraryPath;
    bool m_libraryPathSelectable;
    std::shared_ptr<const ModuleTrust> m_moduleTrust;
};
