#include "softhsmfixture.h"

#include "fixturepaths.h"
#include "pkcs11template.h"

#include <p11-kit/pkcs11.h>

#include <openssl/core_names.h>
#include <openssl/ec.h>
#include <openssl/evp.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <dlfcn.h>

#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const QByteArray securityOfficerPin("12345678");

void check(CK_RV result, const char *function)
{
    if (result != CKR_OK) {
        throw std::runtime_error(std::string("SoftHSM fixture: ") + function + " returned 0x"
                                 + QByteArray::number(static_cast<qulonglong>(result), 16).toStdString());
    }
}

std::vector<CK_UTF8CHAR> paddedLabel(const QString &label)
{
    std::vector<CK_UTF8CHAR> padded(32, ' ');
    const QByteArray bytes = label.toUtf8().left(32);
    std::memcpy(padded.data(), bytes.constData(), static_cast<size_t>(bytes.size()));
    return padded;
}

QString trimmedField(const unsigned char *field, size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char *>(field), static_cast<int>(size)).trimmed();
}

// The module loaded and initialised for one fixture operation; finalised and
// unloaded afterwards so that the code under test starts from a clean module.
class LoadedModule
{
public:
    LoadedModule()
    {
        m_handle = dlopen(QFile::encodeName(SoftHsmFixture::modulePath()).constData(), RTLD_NOW);
        if (!m_handle)
            throw std::runtime_error(std::string("SoftHSM fixture: ") + dlerror());
        auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(m_handle, "C_GetFunctionList"));
        if (!getFunctionList) {
            dlclose(m_handle);
            throw std::runtime_error("SoftHSM fixture: no C_GetFunctionList");
        }
        getFunctionList(&m_functions);
        const CK_RV result = m_functions->C_Initialize(nullptr);
        if (result != CKR_OK) {
            dlclose(m_handle);
            check(result, "C_Initialize");
        }
    }
    ~LoadedModule()
    {
        m_functions->C_Finalize(nullptr);
        dlclose(m_handle);
    }
    LoadedModule(const LoadedModule &) = delete;
    LoadedModule &operator=(const LoadedModule &) = delete;

    CK_FUNCTION_LIST_PTR operator->() const { return m_functions; }

    std::vector<CK_SLOT_ID> allSlots() const
    {
        CK_ULONG count = 0;
        check(m_functions->C_GetSlotList(CK_FALSE, nullptr, &count), "C_GetSlotList");
        std::vector<CK_SLOT_ID> ids(count);
        check(m_functions->C_GetSlotList(CK_FALSE, ids.data(), &count), "C_GetSlotList");
        ids.resize(count);
        return ids;
    }

    CK_TOKEN_INFO tokenInfo(CK_SLOT_ID slot) const
    {
        CK_TOKEN_INFO info{};
        check(m_functions->C_GetTokenInfo(slot, &info), "C_GetTokenInfo");
        return info;
    }

    CK_SLOT_ID slotWhere(const std::function<bool(const CK_TOKEN_INFO &)> &matches) const
    {
        for (CK_SLOT_ID slot : allSlots()) {
            CK_SLOT_INFO slotInfo{};
            check(m_functions->C_GetSlotInfo(slot, &slotInfo), "C_GetSlotInfo");
            if ((slotInfo.flags & CKF_TOKEN_PRESENT) && matches(tokenInfo(slot)))
                return slot;
        }
        throw std::runtime_error("SoftHSM fixture: no matching slot");
    }

private:
    void *m_handle = nullptr;
    CK_FUNCTION_LIST_PTR m_functions = nullptr;
};

// A read-write session logged in as the given user type.
class LoggedInSession
{
public:
    LoggedInSession(const LoadedModule &module, CK_SLOT_ID slot, CK_USER_TYPE user, const QByteArray &pin)
        : m_module(module)
    {
        check(module->C_OpenSession(slot, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr,
                                    &m_session),
              "C_OpenSession");
        QByteArray pinCopy = pin;
        const CK_RV result = module->C_Login(m_session, user,
                                             reinterpret_cast<CK_UTF8CHAR_PTR>(pinCopy.data()),
                                             static_cast<CK_ULONG>(pinCopy.size()));
        if (result != CKR_OK) {
            module->C_CloseSession(m_session);
            check(result, "C_Login");
        }
    }
    ~LoggedInSession()
    {
        m_module->C_Logout(m_session);
        m_module->C_CloseSession(m_session);
    }
    LoggedInSession(const LoggedInSession &) = delete;
    LoggedInSession &operator=(const LoggedInSession &) = delete;

    CK_SESSION_HANDLE handle() const { return m_session; }

private:
    const LoadedModule &m_module;
    CK_SESSION_HANDLE m_session = CK_INVALID_HANDLE;
};

CK_SLOT_ID slotWithLabel(const LoadedModule &module, const QString &label)
{
    return module.slotWhere([&label](const CK_TOKEN_INFO &info) {
        return (info.flags & CKF_TOKEN_INITIALIZED)
               && trimmedField(info.label, sizeof info.label) == label;
    });
}

void createObject(const QString &tokenLabel, const QString &userPin, Pkcs11Template &objectTemplate)
{
    LoadedModule module;
    LoggedInSession session(module, slotWithLabel(module, tokenLabel), CKU_USER, userPin.toUtf8());
    CK_OBJECT_HANDLE object = CK_INVALID_HANDLE;
    check(module->C_CreateObject(session.handle(), objectTemplate.attributes(),
                                 objectTemplate.count(), &object),
          "C_CreateObject");
}

} // namespace

SoftHsmFixture::SoftHsmFixture(const QString &directory) : m_directory(QDir(directory).absolutePath())
{
    const QString tokens = m_directory + QStringLiteral("/tokens");
    if (!QDir().mkpath(tokens))
        throw std::runtime_error("SoftHSM fixture: cannot create the token directory");
    QFile config(configPath());
    if (!config.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw std::runtime_error("SoftHSM fixture: cannot write the configuration");
    QTextStream(&config) << "directories.tokendir = " << tokens << "\n"
                         << "objectstore.backend = file\n"
                         << "log.level = ERROR\n"
                         << "slots.removable = false\n";
    config.close();
    qputenv("SOFTHSM2_CONF", QFile::encodeName(configPath()));
}

QString SoftHsmFixture::modulePath()
{
    for (const char *candidate : {SOFTHSM2_MODULE, "/usr/lib/softhsm/libsofthsm2.so",
                                  "/usr/lib/x86_64-linux-gnu/softhsm/libsofthsm2.so"}) {
        if (QFileInfo::exists(QString::fromUtf8(candidate)))
            return QString::fromUtf8(candidate);
    }
    return QStringLiteral(SOFTHSM2_MODULE);
}

QString SoftHsmFixture::configPath() const
{
    return m_directory + QStringLiteral("/softhsm2.conf");
}

QString SoftHsmFixture::environmentEntry() const
{
    return QStringLiteral("SOFTHSM2_CONF=") + configPath();
}

QString SoftHsmFixture::createToken(const QString &label, const QString &userPin)
{
    LoadedModule module;
    const CK_SLOT_ID slot = module.slotWhere(
        [](const CK_TOKEN_INFO &info) { return !(info.flags & CKF_TOKEN_INITIALIZED); });
    QByteArray soPin = securityOfficerPin;
    std::vector<CK_UTF8CHAR> paddedTokenLabel = paddedLabel(label);
    check(module->C_InitToken(slot, reinterpret_cast<CK_UTF8CHAR_PTR>(soPin.data()),
                              static_cast<CK_ULONG>(soPin.size()), paddedTokenLabel.data()),
          "C_InitToken");
    {
        LoggedInSession session(module, slot, CKU_SO, securityOfficerPin);
        QByteArray pin = userPin.toUtf8();
        check(module->C_InitPIN(session.handle(), reinterpret_cast<CK_UTF8CHAR_PTR>(pin.data()),
                                static_cast<CK_ULONG>(pin.size())),
              "C_InitPIN");
    }
    const CK_TOKEN_INFO info = module.tokenInfo(slot);
    return trimmedField(info.serialNumber, sizeof info.serialNumber);
}

void SoftHsmFixture::importCertificate(const QString &tokenLabel, const QString &userPin,
                                       const QByteArray &certificateDer, const QByteArray &subjectDer,
                                       const ObjectOptions &options)
{
    Pkcs11Template objectTemplate;
    objectTemplate.addUlong(CKA_CLASS, CKO_CERTIFICATE);
    objectTemplate.addUlong(CKA_CERTIFICATE_TYPE, CKC_X_509);
    objectTemplate.addBool(CKA_TOKEN, true);
    objectTemplate.addBool(CKA_PRIVATE, options.privateObject);
    objectTemplate.add(CKA_LABEL, options.label.toUtf8());
    objectTemplate.add(CKA_ID, options.id);
    objectTemplate.add(CKA_SUBJECT, subjectDer);
    objectTemplate.add(CKA_VALUE, certificateDer);
    createObject(tokenLabel, userPin, objectTemplate);
}

void SoftHsmFixture::importPrivateKey(const QString &tokenLabel, const QString &userPin,
                                      const FixtureCredential &credential, const ObjectOptions &options)
{
    const FixtureCredential::RsaComponents rsa = credential.rsaComponents();
    Pkcs11Template objectTemplate;
    objectTemplate.addUlong(CKA_CLASS, CKO_PRIVATE_KEY);
    objectTemplate.addUlong(CKA_KEY_TYPE, CKK_RSA);
    objectTemplate.addBool(CKA_TOKEN, true);
    objectTemplate.addBool(CKA_PRIVATE, true);
    objectTemplate.addBool(CKA_SENSITIVE, true);
    objectTemplate.addBool(CKA_SIGN, true);
    objectTemplate.addBool(CKA_ALWAYS_AUTHENTICATE, options.alwaysAuthenticate);
    objectTemplate.add(CKA_LABEL, options.label.toUtf8());
    objectTemplate.add(CKA_ID, options.id);
    objectTemplate.add(CKA_SUBJECT, credential.subjectDer());
    objectTemplate.add(CKA_MODULUS, rsa.modulus);
    objectTemplate.add(CKA_PUBLIC_EXPONENT, rsa.publicExponent);
    objectTemplate.add(CKA_PRIVATE_EXPONENT, rsa.privateExponent);
    objectTemplate.add(CKA_PRIME_1, rsa.prime1);
    objectTemplate.add(CKA_PRIME_2, rsa.prime2);
    objectTemplate.add(CKA_EXPONENT_1, rsa.exponent1);
    objectTemplate.add(CKA_EXPONENT_2, rsa.exponent2);
    objectTemplate.add(CKA_COEFFICIENT, rsa.coefficient);
    createObject(tokenLabel, userPin, objectTemplate);
}

void SoftHsmFixture::importEcPrivateKey(const QString &tokenLabel, const QString &userPin,
                                        const ObjectOptions &options)
{
    // DER of the object identifier of P-256 (prime256v1).
    static const QByteArray p256 = QByteArray::fromHex("06082a8648ce3d030107");
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY *)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    BIGNUM *scalar = nullptr;
    if (!key || EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &scalar) != 1)
        throw std::runtime_error("SoftHSM fixture: EC key generation failed");
    QByteArray value(BN_num_bytes(scalar), '\0');
    BN_bn2bin(scalar, reinterpret_cast<unsigned char *>(value.data()));
    BN_clear_free(scalar);
    Pkcs11Template objectTemplate;
    objectTemplate.addUlong(CKA_CLASS, CKO_PRIVATE_KEY);
    objectTemplate.addUlong(CKA_KEY_TYPE, CKK_EC);
    objectTemplate.addBool(CKA_TOKEN, true);
    objectTemplate.addBool(CKA_PRIVATE, true);
    objectTemplate.addBool(CKA_SIGN, true);
    objectTemplate.add(CKA_LABEL, options.label.toUtf8());
    objectTemplate.add(CKA_ID, options.id);
    objectTemplate.add(CKA_EC_PARAMS, p256);
    objectTemplate.add(CKA_VALUE, value);
    createObject(tokenLabel, userPin, objectTemplate);
}

void SoftHsmFixture::importCredential(const QString &tokenLabel, const QString &userPin,
                                      const FixtureCredential &credential, const ObjectOptions &options)
{
    importPrivateKey(tokenLabel, userPin, credential, options);
    importCertificate(tokenLabel, userPin, credential.certificateDer(), credential.subjectDer(), options);
}
