#pragma once

#include <openssl/bio.h>
#include <openssl/cms.h>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <memory>

// Owning pointers for the OpenSSL objects the programs handle, so that every
// object is released on every path, also when an exception passes.
template <auto FreeFunction>
struct OpenSslDeleter
{
    template <typename T>
    void operator()(T *object) const
    {
        FreeFunction(object);
    }
};

using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using X509StorePtr = std::unique_ptr<X509_STORE, OpenSslDeleter<X509_STORE_free>>;
using CmsPtr = std::unique_ptr<CMS_ContentInfo, OpenSslDeleter<CMS_ContentInfo_free>>;
using CertificatePoliciesPtr =
    std::unique_ptr<CERTIFICATEPOLICIES, OpenSslDeleter<CERTIFICATEPOLICIES_free>>;
using EvpPkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using EvpMdCtxPtr = std::unique_ptr<EVP_MD_CTX, OpenSslDeleter<EVP_MD_CTX_free>>;

// A stack whose elements are borrowed: only the stack itself is freed.
struct X509StackShallowDeleter
{
    void operator()(STACK_OF(X509) *stack) const { sk_X509_free(stack); }
};
using X509StackPtr = std::unique_ptr<STACK_OF(X509), X509StackShallowDeleter>;

// A stack that owns its certificates.
struct X509StackDeepDeleter
{
    void operator()(STACK_OF(X509) *stack) const { sk_X509_pop_free(stack, X509_free); }
};
using X509OwningStackPtr = std::unique_ptr<STACK_OF(X509), X509StackDeepDeleter>;
