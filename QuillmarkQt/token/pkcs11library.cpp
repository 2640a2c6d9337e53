#include "pkcs11library.h"

#include "appexception.h"
#include "functionlog.h"
#include "moduletrust.h"
#include "pinbuffer.h"
#include "pinprompt.h"
#include "pkcs11exception.h"
#include "recoverable.h"

#include <QDebug>

#include <vector>

namespace {

constexpr CK_ULONG findBatchSize = 256;
constexpr int contextLoginAttempts = 10;

QString resultText(const char *functionName, CK_RV result)
{
    return QStringLiteral("PKCS#11 method %1 returned error 0x%2")
        .arg(QLatin1String(functionName))
        .arg(static_cast<qulonglong>(result), 8, 16, QLatin1Char('0'));
}

// What modules answer once the card has left the reader or the reader has
// gone: OpenSC, for one, closes the sessions of a pulled card.
bool meansTokenGone(CK_RV result)
{
    return result == CKR_DEVICE_REMOVED || result == CKR_TOKEN_NOT_PRESENT || result == CKR_SESSION_CLOSED
           || result == CKR_SESSION_HANDLE_INVALID;
}

// The module's own words stay in the cause, for the log.
Pkcs11Exception tokenGone(const char *functionName, CK_RV result, const QString &file, int line,
                          const QString &function)
{
    const Pkcs11Exception cause(resultText(functionName, result), file, line, function);
    return Pkcs11Exception(QObject::tr("TokenRemoved"), cause, file, line, function);
}

Pkcs11Exception failure(const char *functionName, CK_RV result, const QString &file, int line,
                        const QString &function)
{
    if (meansTokenGone(result))
        return tokenGone(functionName, result, file, line, function);
    return Pkcs11Exception(resultText(functionName, result), file, line, function);
}

// The file to load for the module path, links resolved. Whoever names a
// module, nothing untrusted reaches the loader.
QString trustedFile(const QString &path, const ModuleTrust &trust)
{
    const ModuleTrust::Verdict verdict = trust.check(path);
    if (verdict.isTrusted())
        return verdict.file;
    qWarning().noquote() << "Module not loaded:" << verdict.refusal;
    const AppException cause(verdict.refusal, APP_LOCATION, true);
    if (verdict.file.isEmpty())
        throw AppException(QObject::tr("UnableToLoad").arg(QStringLiteral("PKCS#11"), path), cause,
                           APP_LOCATION, true);
    throw AppException(QObject::tr("UntrustedModule").arg(path), cause, APP_LOCATION, true);
}

} // namespace

Pkcs11Library::Pkcs11Library(const QString &path, const ModuleTrust &trust, PinPrompt &pinPrompt)
    : m_path(path), m_pinPrompt(pinPrompt), m_library(trustedFile(path, trust)), m_functionList(nullptr)
{
    LOG_FUNCTION_START();
    if (!m_library.isLoaded()) {
        const AppException cause(m_library.errorString(), APP_LOCATION, true);
        throw AppException(QObject::tr("UnableToLoad").arg(QStringLiteral("PKCS#11"), path),
                           cause, APP_LOCATION, true);
    }
    // A module that cannot be set up is not kept loaded: the holder closes
    // it when the constructor throws.
    auto getFunctionList =
        reinterpret_cast<CK_C_GetFunctionList>(m_library.resolve("C_GetFunctionList"));
    if (!getFunctionList) {
        throw AppException(
            QObject::tr("UnableToFind").arg(QStringLiteral("C_GetFunctionList()"), path),
            APP_LOCATION, true);
    }
    if (getFunctionList(&m_functionList) != CKR_OK || !m_functionList) {
        throw AppException(
            QObject::tr("UnableToCall").arg(QStringLiteral("C_GetFunctionList()"), path),
            APP_LOCATION, true);
    }
    initialize();
}

Pkcs11Library::~Pkcs11Library()
{
    m_functionList->C_Finalize(nullptr);
}

void Pkcs11Library::initialize()
{
    CK_C_INITIALIZE_ARGS arguments{};
    arguments.CreateMutex = nullptr;
    arguments.DestroyMutex = nullptr;
    arguments.LockMutex = nullptr;
    arguments.UnlockMutex = nullptr;
    arguments.flags = CKF_OS_LOCKING_OK;
    arguments.pReserved = nullptr;
    CK_RV result = m_functionList->C_Initialize(&arguments);
    if (result == CKR_CANT_LOCK) {
        // The module can only be used without locking of its own.
        arguments.flags = 0;
        result = m_functionList->C_Initialize(&arguments);
    }
    if (result != CKR_OK) {
        throw AppException(QObject::tr("UnableToInitialize").arg(QStringLiteral("PKCS#11"), m_path),
                           APP_LOCATION, true);
    }
}

void Pkcs11Library::check(CK_RV result, const char *functionName, const QString &file, int line,
                          const QString &function)
{
    if (result != CKR_OK)
        throw failure(functionName, result, file, line, function);
}

QList<unsigned long> Pkcs11Library::getSlots() const
{
    LOG_FUNCTION_START();
    CK_ULONG count = 0;
    check(m_functionList->C_GetSlotList(CK_TRUE, nullptr, &count), "C_GetSlotList", APP_LOCATION);
    std::vector<CK_SLOT_ID> buffer(count);
    check(m_functionList->C_GetSlotList(CK_TRUE, buffer.data(), &count), "C_GetSlotList",
          APP_LOCATION);
    QList<unsigned long> slotIds;
    for (CK_ULONG i = 0; i < count && i < buffer.size(); ++i)
        slotIds.append(buffer[i]);
    return slotIds;
}

Pkcs11SlotInfo Pkcs11Library::getSlotInfo(CK_SLOT_ID slot) const
{
    LOG_FUNCTION_START();
    CK_SLOT_INFO info{};
    check(m_functionList->C_GetSlotInfo(slot, &info), "C_GetSlotInfo", APP_LOCATION);
    return Pkcs11SlotInfo(slot, info);
}

Pkcs11TokenInfo Pkcs11Library::getTokenInfo(CK_SLOT_ID slot) const
{
    LOG_FUNCTION_START();
    CK_TOKEN_INFO info{};
    check(m_functionList->C_GetTokenInfo(slot, &info), "C_GetTokenInfo", APP_LOCATION);
    return Pkcs11TokenInfo(info);
}

CK_SESSION_HANDLE Pkcs11Library::openSession(CK_SLOT_ID slot) const
{
    LOG_FUNCTION_START();
    CK_SESSION_HANDLE session = CK_INVALID_HANDLE;
    check(m_functionList->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &session),
          "C_OpenSession", APP_LOCATION);
    return session;
}

void Pkcs11Library::closeSession(CK_SESSION_HANDLE session) const
{
    LOG_FUNCTION_START();
    check(m_functionList->C_CloseSession(session), "C_CloseSession", APP_LOCATION);
}

void Pkcs11Library::logout(CK_SESSION_HANDLE session) const
{
    LOG_FUNCTION_START();
    check(m_functionList->C_Logout(session), "C_Logout", APP_LOCATION);
}

QByteArray Pkcs11Library::getAttributeValue(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object,
                                            CK_ULONG type) const
{
    LOG_FUNCTION_START();
    CK_ATTRIBUTE attribute{type, nullptr, 0};
    check(m_functionList->C_GetAttributeValue(session, object, &attribute, 1),
          "C_GetAttributeValue", APP_LOCATION);
    if (attribute.ulValueLen == CK_UNAVAILABLE_INFORMATION)
        return QByteArray();
    QByteArray value(static_cast<int>(attribute.ulValueLen), '\0');
    attribute.pValue = value.data();
    check(m_functionList->C_GetAttributeValue(session, object, &attribute, 1),
          "C_GetAttributeValue", APP_LOCATION);
    value.truncate(static_cast<int>(qMin<CK_ULONG>(attribute.ulValueLen, value.size())));
    return value;
}

QList<unsigned long> Pkcs11Library::findObjects(CK_SESSION_HANDLE session,
                                                CK_ATTRIBUTE_PTR attributes,
                                                CK_ULONG count) const
{
    LOG_FUNCTION_START();
    check(m_functionList->C_FindObjectsInit(session, attributes, count), "C_FindObjectsInit",
          APP_LOCATION);
    std::vector<CK_OBJECT_HANDLE> batch(findBatchSize);
    QList<unsigned long> objects;
    CK_ULONG found = 0;
    do {
        found = 0;
        const CK_RV result = m_functionList->C_FindObjects(session, batch.data(), findBatchSize,
                                                           &found);
        if (result != CKR_OK) {
            // The search must not stay active on the session.
            m_functionList->C_FindObjectsFinal(session);
            check(result, "C_FindObjects", APP_LOCATION);
        }
        for (CK_ULONG i = 0; i < found && i < findBatchSize; ++i)
            objects.append(batch[i]);
    } while (found == findBatchSize);
    check(m_functionList->C_FindObjectsFinal(session), "C_FindObjectsFinal", APP_LOCATION);
    return objects;
}

QByteArray Pkcs11Library::signHash(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key,
                                   CK_MECHANISM_PTR mechanism, const QByteArray &data,
                                   bool alwaysAuthenticate, const Pkcs11SlotInfo &slotInfo,
                                   const Pkcs11TokenInfo &tokenInfo) const
{
    LOG_FUNCTION_START();
    // The key is not used once the person or the page gave the signing up.
    if (m_pinPrompt.isWithdrawn())
        throw AppException(QObject::tr("OperationCanceled"), APP_LOCATION, true);
    check(m_functionList->C_SignInit(session, mechanism, key), "C_SignInit", APP_LOCATION);
    if (alwaysAuthenticate)
        contextLogin(session, slotInfo, tokenInfo);
    // The module only reads the data, the standard's prototype is not const.
    auto *input = reinterpret_cast<CK_BYTE_PTR>(const_cast<char *>(data.constData()));
    const auto inputLength = static_cast<CK_ULONG>(data.size());
    CK_ULONG length = 0;
    check(m_functionList->C_Sign(session, input, inputLength, nullptr, &length), "C_Sign",
          APP_LOCATION);
    QByteArray signature(static_cast<int>(length), '\0');
    check(m_functionList->C_Sign(session, input, inputLength,
                                 reinterpret_cast<CK_BYTE_PTR>(signature.data()), &length),
          "C_Sign", APP_LOCATION);
    signature.truncate(static_cast<int>(qMin<CK_ULONG>(length, signature.size())));
    return signature;
}

bool Pkcs11Library::login(CK_SESSION_HANDLE session, const Pkcs11SlotInfo &slotInfo,
                          const Pkcs11TokenInfo &tokenInfo, bool throwOnCancel) const
{
    LOG_FUNCTION_START();
    if (isLoggedIn(session))
        return false;
    const auto cancel = [throwOnCancel]() {
        if (throwOnCancel)
            throw AppException(QObject::tr("OperationCanceled"), APP_LOCATION, true);
        return false;
    };
    for (;;) {
        if (m_pinPrompt.isWithdrawn())
            return false;
        PinBuffer pin(askForPin(slotInfo, tokenInfo));
        if (isCancelled(pin, tokenInfo))
            return cancel();
        const CK_RV result = m_functionList->C_Login(session, CKU_USER, pin.data(), pin.size());
        switch (result) {
        case CKR_OK:
            return true;
        case CKR_USER_ALREADY_LOGGED_IN:
            return false;
        case CKR_FUNCTION_CANCELED:
            return cancel();
        default:
            handleRefusedPin(result, slotInfo.getSlotId());
        }
    }
}

void Pkcs11Library::contextLogin(CK_SESSION_HANDLE session, const Pkcs11SlotInfo &slotInfo,
                                 const Pkcs11TokenInfo &tokenInfo) const
{
    LOG_FUNCTION_START();
    for (int attempt = 0; attempt < contextLoginAttempts; ++attempt) {
        PinBuffer pin(askForPin(slotInfo, tokenInfo));
        if (m_pinPrompt.isWithdrawn())
            return;
        if (isCancelled(pin, tokenInfo))
            throw AppException(QObject::tr("OperationCanceled"), APP_LOCATION, true);
        const CK_RV result =
            m_functionList->C_Login(session, CKU_CONTEXT_SPECIFIC, pin.data(), pin.size());
        switch (result) {
        case CKR_OK:
            return;
        case CKR_FUNCTION_CANCELED:
            throw AppException(QObject::tr("OperationCanceled"), APP_LOCATION, true);
        default:
            handleRefusedPin(result, slotInfo.getSlotId());
        }
    }
    throw AppException(QObject::tr("MaxLoginAttemptsReached"), APP_LOCATION, true);
}

bool Pkcs11Library::isLoggedIn(CK_SESSION_HANDLE session) const
{
    CK_SESSION_INFO info{};
    check(m_functionList->C_GetSessionInfo(session, &info), "C_GetSessionInfo", APP_LOCATION);
    return info.state != CKS_RO_PUBLIC_SESSION && info.state != CKS_RW_PUBLIC_SESSION;
}

QString Pkcs11Library::askForPin(const Pkcs11SlotInfo &slotInfo,
                                 const Pkcs11TokenInfo &tokenInfo) const
{
    if (tokenInfo.hasProtectedAuthenticationPath())
        return QString();
    return m_pinPrompt.askForPin(slotInfo, tokenInfo);
}

bool Pkcs11Library::isCancelled(const PinBuffer &pin, const Pkcs11TokenInfo &tokenInfo)
{
    return !tokenInfo.hasProtectedAuthenticationPath() && pin.isEmpty();
}


void Pkcs11Library::handleRefusedPin(CK_RV result, CK_SLOT_ID slot) const
{
    switch (result) {
    case CKR_PIN_INCORRECT:
    // A PIN of a length the token cannot hold is a wrong PIN, too.
    case CKR_PIN_LEN_RANGE:
        m_pinPrompt.reportPinRefused(QObject::tr("PinIncorrect"));
        return;
    case CKR_GENERAL_ERROR:
        // Some cards answer a wrong PIN with a status that OpenSC can only
        // report as a general error; it says the same when the reader has
        // gone away, and then asking again cannot help.
        if (!isTokenPresent(slot))
            throw tokenGone("C_Login", result, APP_LOCATION);
        m_pinPrompt.reportPinRefused(QObject::tr("PinNotAccepted"));
        return;
    default:
        throwLoginFailure(result);
    }
}

bool Pkcs11Library::isTokenPresent(CK_SLOT_ID slot) const
{
    // The slot list looks at the readers afresh; a slot's own information
    // may come from a cache (OpenSC keeps it for a second and still calls a
    // card present after pcscd has gone).
    try {
        return getSlots().contains(slot);
    } catch (const AppException &exception) {
        Recoverable::log(exception);
        return false;
    }
}

void Pkcs11Library::throwLoginFailure(CK_RV result)
{
    if (result == CKR_PIN_LOCKED)
        throw AppException(QObject::tr("PinBlocked"), APP_LOCATION, true);
    throw failure("C_Login", result, APP_LOCATION);
}
