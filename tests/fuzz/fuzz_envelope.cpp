// The signed envelope of a server answer. An input that starts with '<' is
// the envelope text itself; any other input is taken as the DER CMS
// SignedData and wrapped into an envelope, so the search reaches the CMS
// parser without first having to learn Base64.
#include "fuzzsupport.h"

#include "appexception.h"
#include "responsecryptoprocessor.h"

namespace {

QByteArray envelopeOf(const QByteArray &input)
{
    if (input.startsWith('<'))
        return input;
    return "<Response><Data>" + input.toBase64() + "</Data></Response>";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzSupport::initialise();
    try {
        const ResponseCryptoProcessor processor(envelopeOf(FuzzSupport::bytes(data, size)));
        (void)processor.getContent().size();
    } catch (const AppException &) {
    }
    return 0;
}
