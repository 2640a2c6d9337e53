#pragma once

#include "pkcs11certstore.h"

#include <QList>
#include <QPair>
#include <QString>

// Turns the store definitions of the web page into stores.
namespace CertStoreFactory {

// A named store is a module path; an unnamed one a store kind ("PKCS11"
// or "CSP") whose module the user chooses.
Pkcs11CertStore getInstance(const QString &name, const QString &value);
// The stores of the definitions that can be used on this machine, in
// their order: a named store only when ModuleTrust trusts its module.
QList<Pkcs11CertStore> getUsableStores(const QList<QPair<QString, QString>> &definitions);

} // namespace CertStoreFactory
