// The store definitions the page sets ("name|module|...|kind"), through the
// component and on into the usable stores.
#include "fuzzsupport.h"

#include "appexception.h"
#include "certstorefactory.h"
#include "quillmark.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    static Quillmark component;
    try {
        component.setSigningCertificateStores(FuzzSupport::text(data, size));
        (void)CertStoreFactory::getUsableStores(component.signingCertificateStores());
    } catch (const AppException &) {
    }
    return 0;
}
