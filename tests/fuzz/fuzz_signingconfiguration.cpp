// The signing configuration text that the page stores for us: reading must
// never fail hard, and whatever was read must write out and read back alike.
#include "fuzzsupport.h"

#include "configuration.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const Configuration read = Configuration::deserialize(FuzzSupport::text(data, size));
    (void)read.isValid();
    if (Configuration::deserialize(read.serialize()) != read)
        std::abort();
    return 0;
}
