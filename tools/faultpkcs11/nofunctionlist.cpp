// A shared library that looks like a PKCS#11 module but lacks its entry
// point, for testing how a broken vendor module is reported.
#include <p11-kit/pkcs11.h>

extern "C" __attribute__((visibility("default"))) CK_RV C_Initialize(CK_VOID_PTR)
{
    return CKR_OK;
}
