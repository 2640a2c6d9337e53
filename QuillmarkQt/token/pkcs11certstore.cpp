#include "pkcs11certstore.h"

#include "functionlog.h"
#include "moduletrust.h"
#include "pkcs11library.h"
#include "pkcs11session.h"
#include "pkcs11template.h"
#include "recoverable.h"

#include <utility>

namespace {

QList<X509Certificate2Ultra> readCertificates(const Pkcs11Library &library,
                                              CK_SESSION_HANDLE session)
{
    Pkcs11Template search = Pkcs11Template::x509Certificates();
    QList<X509Certificate2Ultra> certificates;
    for (unsigned long handle : library.findObjects(session, search.attributes(), search.count())) {
        certificates.append(X509Certificate2Ultra(
            library.getAttributeValue(session, handle, CKA_VALUE), QSsl::Der));
    }
    return certificates;
}

} // namespace

Pkcs11CertStore::Pkcs11CertStore(const QString &name, const QString &libraryPath,
                                 bool libraryPathSelectable,
                                 std::shared_ptr<const ModuleTrust> moduleTrust)
    : m_name(name), m_libraryPath(libraryPath), m_libraryPathSelectable(libraryPathSelectable),
      m_moduleTrust(std::move(moduleTrust))
{
}

QString Pkcs11CertStore::getName() const
{
    return m_name;
}

QString Pkcs11CertStore::getLibraryPath() const
{
    return m_libraryPath;
}

bool Pkcs11CertStore::isLibraryPathSelectable() const
{
    return m_libraryPathSelectable;
}

void Pkcs11CertStore::setLibraryPath(const QString &libraryPath)
{
    if (m_libraryPathSelectable)
        m_libraryPath = libraryPath;
}

const ModuleTrust &Pkcs11CertStore::moduleTrust() const
{
    return *m_moduleTrust;
}

QList<Pkcs11CertContainer> Pkcs11CertStore::getContainers(PinPrompt &pinPrompt) const
{
    LOG_FUNCTION_START();
    const Pkcs11Library library(m_libraryPath, *m_moduleTrust, pinPrompt);
    QList<Pkcs11CertContainer> containers;
    for (unsigned long slot : library.getSlots()) {
        Recoverable::attempt([&]() {
            const Pkcs11SlotInfo slotInfo = library.getSlotInfo(slot);
            const Pkcs11TokenInfo tokenInfo = library.getTokenInfo(slot);
            Pkcs11Session session(library, slot);
            const bool loggedIn = session.login(slotInfo, tokenInfo, false);
            containers.append(Pkcs11CertContainer(slotInfo, tokenInfo, loggedIn,
                                                  readCertificates(library, session.handle())));
            session.close();
        });
    }
    return containers;
}
