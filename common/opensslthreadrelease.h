#pragma once

#include <openssl/crypto.h>

// Releases what OpenSSL keeps for the current thread (its error queue above
// all) when work on a pool thread ends. OpenSSL frees that state when the
// thread exits, but Qt reports a pool thread finished before the thread has
// run its exit handlers; a program that ends right then runs OpenSSL's own
// exit cleanup first, and the thread's state is left behind.
class OpenSslThreadRelease
{
public:
    OpenSslThreadRelease() = default;
    ~OpenSslThreadRelease() { OPENSSL_thread_stop(); }

    OpenSslThreadRelease(const OpenSslThreadRelease &) = delete;
    OpenSslThreadRelease &operator=(const OpenSslThreadRelease &) = delete;
};
