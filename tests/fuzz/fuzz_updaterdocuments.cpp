// The updater's configuration file and the server's version document, both
// read by the same small document reader.
#include "fuzzsupport.h"

#include "configuration.h"
#include "httpresponse.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    Configuration configuration;
    if (configuration.deserialize(FuzzSupport::text(data, size)))
        (void)configuration.version().toString();
    HttpResponse versionDocument;
    if (versionDocument.deserializeXml(FuzzSupport::bytes(data, size)))
        (void)(versionDocument.version() < configuration.version());
    return 0;
}
