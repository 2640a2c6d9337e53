// A PKCS#11 module for tests only: it forwards every call to a real module
// (SoftHSM2 unless QUILLMARK_FAULT_TARGET names another) and injects the
// faults that a real token cannot be made to produce on demand. The faults
// are chosen by QUILLMARK_FAULTS, a comma-separated list:
//   cantlock              C_Initialize refuses CKF_OS_LOCKING_OK with CKR_CANT_LOCK
//   notoken               no slot holds a token
//   fail=NAME             C_GetSlotList or C_Login (as NAME) answers CKR_DEVICE_ERROR
//   deviceremoved[=LABEL] C_OpenSession answers CKR_DEVICE_REMOVED (for one token or all)
//   objects=N             every search finds N synthetic objects
//   pinlocked             C_Login answers CKR_PIN_LOCKED
//   loginfails=HEX        the first C_Login answers that code; later ones go through
//   loginremoves          with loginfails: the token leaves the slot list after it, as
//                         when the reader goes away
//   protectedpath=PIN     the token collects the PIN itself; C_Login expects a NULL PIN
//   pinpadcancel          with protectedpath: the user cancels on the PIN pad
//   wrongkey              C_SignInit signs with another private key of the token
//   removedafterlogin     once a login succeeded, C_FindObjectsInit and C_SignInit answer
//                         CKR_DEVICE_REMOVED: the token pulled out after the PIN
// When QUILLMARK_FAULT_LOG names a file, the calls that tests inspect are
// appended to it, one line each. PIN values are never written.
#include "fixturepaths.h"

#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *const defaultTarget = SOFTHSM2_MODULE;

void *targetHandle = nullptr;
CK_FUNCTION_LIST_PTR target = nullptr;
CK_FUNCTION_LIST proxy;
std::map<std::string, std::string> faults;
CK_ULONG syntheticObjectsLeft = 0;
bool loggedIn = false;
int loginCalls = 0;

std::map<std::string, std::string> readFaults()
{
    std::map<std::string, std::string> result;
    const char *text = std::getenv("QUILLMARK_FAULTS");
    std::stringstream list(text ? text : "");
    std::string item;
    while (std::getline(list, item, ',')) {
        const auto equals = item.find('=');
        if (equals == std::string::npos)
            result[item] = std::string();
        else
            result[item.substr(0, equals)] = item.substr(equals + 1);
    }
    return result;
}

bool hasFault(const char *name)
{
    return faults.count(name) != 0;
}

bool failing(const char *function)
{
    return hasFault("fail") && faults["fail"] == function;
}

void record(const std::string &line)
{
    const char *path = std::getenv("QUILLMARK_FAULT_LOG");
    if (!path)
        return;
    if (FILE *file = std::fopen(path, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::string hex(const unsigned char *data, CK_ULONG length)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (CK_ULONG i = 0; i < length; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0f];
    }
    return text;
}

std::string tokenLabel(CK_SLOT_ID slot)
{
    CK_TOKEN_INFO info{};
    if (target->C_GetTokenInfo(slot, &info) != CKR_OK)
        return std::string();
    std::string label(reinterpret_cast<const char *>(info.label), sizeof info.label);
    label.erase(label.find_last_not_of(' ') + 1);
    return label;
}

CK_RV proxyInitialize(CK_VOID_PTR argument)
{
    faults = readFaults();
    loggedIn = false;
    loginCalls = 0;
    const auto *arguments = static_cast<CK_C_INITIALIZE_ARGS *>(argument);
    const CK_FLAGS flags = arguments ? arguments->flags : 0;
    CK_RV result;
    if (hasFault("cantlock") && (flags & CKF_OS_LOCKING_OK)) {
        result = CKR_CANT_LOCK;
    } else {
        result = target->C_Initialize(argument);
    }
    record("C_Initialize flags=" + std::to_string(flags) + " result=" + std::to_string(result));
    return result;
}

CK_RV proxyGetSlotList(CK_BBOOL tokenPresent, CK_SLOT_ID_PTR slots, CK_ULONG_PTR count)
{
    if (failing("C_GetSlotList"))
        return CKR_DEVICE_ERROR;
    if ((hasFault("notoken") || (hasFault("loginremoves") && loginCalls > 0)) && tokenPresent) {
        *count = 0;
        return CKR_OK;
    }
    return target->C_GetSlotList(tokenPresent, slots, count);
}

CK_RV proxyGetTokenInfo(CK_SLOT_ID slot, CK_TOKEN_INFO_PTR info)
{
    const CK_RV result = target->C_GetTokenInfo(slot, info);
    if (result == CKR_OK && hasFault("protectedpath"))
        info->flags |= CKF_PROTECTED_AUTHENTICATION_PATH;
    return result;
}

CK_RV proxyOpenSession(CK_SLOT_ID slot, CK_FLAGS flags, CK_VOID_PTR application, CK_NOTIFY notify,
                       CK_SESSION_HANDLE_PTR session)
{
    if (hasFault("deviceremoved")) {
        const std::string &label = faults["deviceremoved"];
        if (label.empty() || label == tokenLabel(slot))
            return CKR_DEVICE_REMOVED;
    }
    return target->C_OpenSession(slot, flags, application, notify, session);
}

CK_RV proxyCloseSession(CK_SESSION_HANDLE session)
{
    const CK_RV result = target->C_CloseSession(session);
    record("C_CloseSession result=" + std::to_string(result));
    return result;
}

CK_RV proxyLogout(CK_SESSION_HANDLE session)
{
    const CK_RV result = target->C_Logout(session);
    record("C_Logout result=" + std::to_string(result));
    return result;
}

bool removedAfterLogin()
{
    return loggedIn && hasFault("removedafterlogin");
}

CK_RV proxyFindObjectsInit(CK_SESSION_HANDLE session, CK_ATTRIBUTE_PTR attributes, CK_ULONG count)
{
    if (removedAfterLogin())
        return CKR_DEVICE_REMOVED;
    if (hasFault("objects")) {
        syntheticObjectsLeft = std::strtoul(faults["objects"].c_str(), nullptr, 10);
        return CKR_OK;
    }
    return target->C_FindObjectsInit(session, attributes, count);
}

CK_RV proxyFindObjects(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE_PTR objects, CK_ULONG maximum,
                       CK_ULONG_PTR found)
{
    CK_RV result = CKR_OK;
    if (hasFault("objects")) {
        *found = 0;
        for (; *found < maximum && syntheticObjectsLeft > 0; ++*found, --syntheticObjectsLeft)
            objects[*found] = 1000 + syntheticObjectsLeft;
    } else {
        result = target->C_FindObjects(session, objects, maximum, found);
    }
    record("C_FindObjects maximum=" + std::to_string(maximum) + " found=" + std::to_string(*found));
    return result;
}

CK_RV proxyFindObjectsFinal(CK_SESSION_HANDLE session)
{
    return hasFault("objects") ? CKR_OK : target->C_FindObjectsFinal(session);
}

CK_RV proxyLogin(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR_PTR pin, CK_ULONG length)
{
    record("C_Login user=" + std::to_string(user) + " pin=" + (pin ? "set" : "null")
           + " length=" + std::to_string(length));
    if (hasFault("pinlocked"))
        return CKR_PIN_LOCKED;
    if (hasFault("loginfails") && ++loginCalls == 1)
        return std::stoul(faults["loginfails"], nullptr, 16);
    if (failing("C_Login"))
        return CKR_DEVICE_ERROR;
    if (!hasFault("protectedpath")) {
        const CK_RV result = target->C_Login(session, user, pin, length);
        loggedIn = loggedIn || result == CKR_OK;
        return result;
    }
    if (pin || length)
        return CKR_ARGUMENTS_BAD;
    if (hasFault("pinpadcancel"))
        return CKR_FUNCTION_CANCELED;
    std::string padPin = faults["protectedpath"];
    return target->C_Login(session, user, reinterpret_cast<CK_UTF8CHAR_PTR>(&padPin[0]), padPin.size());
}

CK_OBJECT_HANDLE anotherPrivateKey(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE key)
{
    CK_OBJECT_CLASS keyClass = CKO_PRIVATE_KEY;
    CK_ATTRIBUTE search{CKA_CLASS, &keyClass, sizeof keyClass};
    std::vector<CK_OBJECT_HANDLE> keys(64);
    CK_ULONG found = 0;
    if (target->C_FindObjectsInit(session, &search, 1) != CKR_OK)
        return key;
    target->C_FindObjects(session, keys.data(), keys.size(), &found);
    target->C_FindObjectsFinal(session);
    for (CK_ULONG i = 0; i < found; ++i) {
        if (keys[i] != key)
            return keys[i];
    }
    return key;
}

CK_RV proxySignInit(CK_SESSION_HANDLE session, CK_MECHANISM_PTR mechanism, CK_OBJECT_HANDLE key)
{
    if (removedAfterLogin())
        return CKR_DEVICE_REMOVED;
    if (hasFault("wrongkey"))
        key = anotherPrivateKey(session, key);
    return target->C_SignInit(session, mechanism, key);
}

CK_RV proxySign(CK_SESSION_HANDLE session, CK_BYTE_PTR data, CK_ULONG length, CK_BYTE_PTR signature,
                CK_ULONG_PTR signatureLength)
{
    record("C_Sign length=" + std::to_string(length) + " data=" + hex(data, length)
           + " output=" + (signature ? "buffer" : "null"));
    return target->C_Sign(session, data, length, signature, signatureLength);
}

bool loadTarget()
{
    if (target)
        return true;
    const char *path = std::getenv("QUILLMARK_FAULT_TARGET");
    targetHandle = dlopen(path ? path : defaultTarget, RTLD_NOW | RTLD_LOCAL);
    if (!targetHandle)
        return false;
    auto getFunctionList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(targetHandle, "C_GetFunctionList"));
    if (!getFunctionList || getFunctionList(&target) != CKR_OK) {
        dlclose(targetHandle);
        targetHandle = nullptr;
        target = nullptr;
        return false;
    }
    proxy = *target;
    proxy.C_Initialize = proxyInitialize;
    proxy.C_GetSlotList = proxyGetSlotList;
    proxy.C_GetTokenInfo = proxyGetTokenInfo;
    proxy.C_OpenSession = proxyOpenSession;
    proxy.C_CloseSession = proxyCloseSession;
    proxy.C_Logout = proxyLogout;
    proxy.C_FindObjectsInit = proxyFindObjectsInit;
    proxy.C_FindObjects = proxyFindObjects;
    proxy.C_FindObjectsFinal = proxyFindObjectsFinal;
    proxy.C_Login = proxyLogin;
    proxy.C_SignInit = proxySignInit;
    proxy.C_Sign = proxySign;
    return true;
}

__attribute__((destructor)) void unloadTarget()
{
    if (targetHandle)
        dlclose(targetHandle);
}

} // namespace

extern "C" __attribute__((visibility("default"))) CK_RV C_GetFunctionList(CK_FUNCTION_LIST_PTR_PTR list)
{
    if (!list)
        return CKR_ARGUMENTS_BAD;
    if (!loadTarget())
        return CKR_GENERAL_ERROR;
    *list = &proxy;
    return CKR_OK;
}
