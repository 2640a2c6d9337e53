#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>

#include <memory>

// Owning pointers for the OpenSSL objects the updater uses, released on every
// path out of a function.
template <auto FreeFunction>
struct OpenSslFree
{
    template <typename T>
    void operator()(T *object) const
    {
        FreeFunction(object);
    }
};

using BioHandle = std::unique_ptr<BIO, OpenSslFree<BIO_free_all>>;
using EvpPkeyHandle = std::unique_ptr<EVP_PKEY, OpenSslFree<EVP_PKEY_free>>;
using EvpMdCtxHandle = std::unique_ptr<EVP_MD_CTX, OpenSslFree<EVP_MD_CTX_free>>;
