#pragma once

#include <p11-kit/pkcs11.h>

class Pkcs11Library;
class Pkcs11SlotInfo;
class Pkcs11TokenInfo;

// One open session of a token. A session that is not closed explicitly is
// logged out (when login() logged in) and closed when it goes out of scope,
// so that failures never leave a session or a login behind.
class Pkcs11Session
{
public:
    Pkcs11Session(const Pkcs11Library &library, CK_SLOT_ID slot);
    ~Pkcs11Session();

    Pkcs11Session(const Pkcs11Session &) = delete;
    Pkcs11Session &operator=(const Pkcs11Session &) = delete;

    CK_SESSION_HANDLE handle() const;
    // Pkcs11Library::login, remembering whether the session has to be
    // logged out.
    bool login(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo,
               bool throwOnCancel);
    // Logs out when needed and closes; its failures reach the caller.
    void close();

private:
    const Pkcs11Library &m_library;
    CK_SESSION_HANDLE m_handle;
    bool m_loggedIn;
    bool m_open;
};
