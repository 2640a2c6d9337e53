#include "pkcs11session.h"

#include "appexception.h"
#include "pkcs11library.h"
#include "recoverable.h"

#include <utility>

Pkcs11Session::Pkcs11Session(const Pkcs11Library &library, CK_SLOT_ID slot)
    : m_library(library), m_handle(library.openSession(slot)), m_loggedIn(false), m_open(true)
{
}

Pkcs11Session::~Pkcs11Session()
{
    // Only reached open when an exception is on its way out: that one is
    // what the caller must see, so failures of the clean-up are just logged.
    if (m_open)
        Recoverable::attempt([this]() { close(); });
}

CK_SESSION_HANDLE Pkcs11Session::handle() const
{
    return m_handle;
}

bool Pkcs11Session::login(const Pkcs11SlotInfo &slotInfo, const Pkcs11TokenInfo &tokenInfo,
                          bool throwOnCancel)
{
    m_loggedIn = m_library.login(m_handle, slotInfo, tokenInfo, throwOnCancel);
    return m_loggedIn;
}

void Pkcs11Session::close()
{
    m_open = false;
    if (std::exchange(m_loggedIn, false)) {
        try {
            m_library.logout(m_handle);
        } catch (...) {
            // The session goes all the same; the logout failure is the news.
            Recoverable::attempt([this]() { m_library.closeSession(m_handle); });
            throw;
        }
    }
    m_library.closeSession(m_handle);
}
