#pragma once

#include "pkcs11certstore.h"
#include "storedefinition.h"

#include <QList>

// Turns the store definitions of the web page into stores.
namespace CertStoreFactory {

// A named store has the page's module; a kind of store one the user chooses.
Pkcs11CertStore getInstance(const StoreDefinition &definition);
// The stores of the definitions that can be used on this machine, in
// their order: a named store only when its ModuleTrust trusts its module.
QList<Pkcs11CertStore> getUsableStores(const QList<StoreDefinition> &definitions);

} // namespace CertStoreFactory
