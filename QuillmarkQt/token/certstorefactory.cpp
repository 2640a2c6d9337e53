#include "certstorefactory.h"

#include "moduletrust.h"

#include <QDebug>
#include <QObject>

Pkcs11CertStore CertStoreFactory::getInstance(const StoreDefinition &definition)
{
    qDebug() << "Getting instance of certStore" << definition.name() << "with value"
             << definition.value();
    // The module of a kind of store is the one the user chooses.
    const bool named = definition.kind() == StoreDefinition::Kind::Module;
    return Pkcs11CertStore(definition.displayName(), named ? definition.value() : QString(), !named,
                           definition.moduleTrust());
}

QList<Pkcs11CertStore> CertStoreFactory::getUsableStores(const QList<StoreDefinition> &definitions)
{
    qDebug("Getting usable stores");
    QList<Pkcs11CertStore> stores;
    for (const StoreDefinition &definition : definitions) {
        const Pkcs11CertStore store = getInstance(definition);
        if (!store.isLibraryPathSelectable()) {
            const ModuleTrust::Verdict verdict = store.moduleTrust().check(store.getLibraryPath());
            if (!verdict.isTrusted()) {
                qWarning().noquote()
                    << "Store" << store.getName() << "left out:" << verdict.refusal;
                continue;
            }
        }
        if (!definition.isUsableHere())
            continue;
        stores.append(store);
    }
    return stores;
}
