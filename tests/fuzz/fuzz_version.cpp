// Release numbers from the version document: parsing never fails, ordering
// is a strict weak order, and formatting is stable.
#include "fuzzsupport.h"

#include "version.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    const QString text = FuzzSupport::text(data, size);
    const int middle = text.size() / 2;
    const Version left(text.left(middle));
    const Version right(text.mid(middle));
    if (left < right && right < left)
        std::abort();
    if (left < left)
        std::abort();
    for (int count = -1; count <= 4; ++count)
        (void)left.toString(count);
    const Version reparsed(left.toString());
    if (reparsed < left || left < reparsed)
        std::abort();
    return 0;
}
