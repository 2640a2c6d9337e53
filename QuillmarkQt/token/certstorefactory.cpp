#include "certstorefactory.h"

#include "appexception.h"
#include "moduletrust.h"

#include <QDebug>
#include <QObject>

namespace {

const QString pkcs11Kind = QStringLiteral("PKCS11");
// The operating system store of another platform: carried through, never usable here.
const QString cspKind = QStringLiteral("CSP");

} // namespace

Pkcs11CertStore CertStoreFactory::getInstance(const QString &name, const QString &value)
{
    qDebug() << "Getting instance of certStore" << name << "with value" << value;
    if (value.isEmpty())
        throw AppException(QObject::tr("ArgumentNull").arg(QStringLiteral("value")), APP_LOCATION, true);
    if (!name.isEmpty())
        return Pkcs11CertStore(name, value, false);
    if (value == pkcs11Kind)
        return Pkcs11CertStore(QObject::tr("CertStoreFriendlyNamePkcs11"), QString(), true);
    if (value == cspKind)
        return Pkcs11CertStore(QObject::tr("CertStoreFriendlyNameCsp"), QString(), true);
    throw AppException(QObject::tr("ArgumentNull").arg(QStringLiteral("name")), APP_LOCATION, true);
}

QList<Pkcs11CertStore> CertStoreFactory::getUsableStores(const QList<QPair<QString, QString>> &definitions)
{
    qDebug("Getting usable stores");
    const ModuleTrust trust = ModuleTrust::system();
    QList<Pkcs11CertStore> stores;
    for (const QPair<QString, QString> &definition : definitions) {
        const Pkcs11CertStore store = getInstance(definition.first, definition.second);
        if (!store.isLibraryPathSelectable()) {
            const ModuleTrust::Verdict verdict = trust.check(definition.second);
            if (!verdict.isTrusted()) {
                qWarning().noquote()
                    << "Store" << store.getName() << "left out:" << verdict.refusal;
                continue;
            }
        }
        if (definition.second == cspKind)
            continue;
        stores.append(store);
    }
    return stores;
}
