#pragma once

#include "pkcs11slotinfo.h"
#include "pkcs11tokeninfo.h"
#include "sharedobject.h"

#include <p11-kit/pkcs11.h>

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class ModuleTrust;
class PinBuffer;
class PinPrompt;

// One PKCS#11 module, loaded and initialised for the lifetime of the object;
// a module that ModuleTrust refuses is never loaded ("UntrustedModule").
// Each method wraps one standard call and throws Pkcs11Exception when the
// module answers anything but CKR_OK. Logins ask for the PIN through the
// prompt, which must outlive the object. Used by one thread at a time.
class Pkcs11Library : public QObject
{
    Q_OBJECT

public:
    Pkcs11Library(const QString &path, const ModuleTrust &trust, PinPrompt &pinPrompt);
    ~Pkcs11Library() override;

    QList<unsigned long> getSlots() const;
    Pkcs11SlotInfo getSlotInfo(CK_SLOT_ID slot) const;
    Pkcs11TokenInfo getTokenInfo(CK_SLOT_ID slot) const;
    CK_SESSION_HANDLE openSession(CK_SLOT_ID slot) const;
    void closeSession(CK_SESSION_HANDLE session) const;
    void logout(CK_SESSION_HANDLE session) const;
    QByteArray getAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                                 CK_ULONG type) const;
    QList<unsigned long> findObjects(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes,
                                     CK_ULONG count) const;
    QByteArray signHash(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key,
                        CK_MECHANISM_PTR mechanism, const QByteArray &data,
                        bool alwaysAuthenticate, const Pkcs11SlotInfo &slotInfo,
                        const Pkcs11TokenInfo &tokenInfo) const;

    // User login of a session, asking for the PIN until it is right. True
    // only when this call logged in, so that the caller must log out.
    bool login(CK_SESSION_HANDLE session, const Pkcs11SlotInfo &slotInfo,
               const Pkcs11TokenInfo &tokenInfo, bool throwOnCancel) const;
    // Context-specific login between C_SignInit and C_Sign for keys that
    // require the PIN for every use.
    void contextLogin(CK_SESSION_HANDLE session, const Pkcs11SlotInfo &slotInfo,
                      const Pkcs11TokenInfo &tokenInfo) const;

private:
    void initialize();
    bool isLoggedIn(CK_SESSION_HANDLE session) const;
    // The PIN typed by the user, or a null string for a token that
    // collects the PIN itself.
    QString askForPin(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo) const;
    static bool isCancelled(const PinBuffer &pin, const Pkcs11TokenInfo &tokenInfo);
    // After a C_Login that neither succeeded nor was cancelled: tells the
    // person why the PIN was refused, so that it can be asked again, or
    // throws when asking again cannot help.
    void handleRefusedPin(CK_RV result, CK_SLOT_ID slot) const;
    bool isTokenPresent(CK_SLOT_ID slot) const;
    [[noreturn]] static void throwLoginFailure(CK_RV result);
    static void check(CK_RV result, const char *functionName, const QString &file, int line,
                      const QString &function);

    QString m_path;
    PinPrompt &m_pinPrompt;
    SharedObject m_library;
    CK_FUNCTION_LIST_PTR m_functionList;
};
